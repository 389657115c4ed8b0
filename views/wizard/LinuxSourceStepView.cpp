// SPDX-License-Identifier: MIT
#include "LinuxSourceStepView.h"

#include "CreateVMWizardViewModel.h"
#include "LabGroupBox.h"
#include "LabPalette.h"
#include "SelectableCard.h"
#include "SizeText.h"
#include "TextStyle.h"
#include "ViewCommand.h"
#include "WizardWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSignalBlocker>
#include <QVBoxLayout>

using LinuxSourceMode = CreateVMWizardViewModel::LinuxSourceMode;

namespace {

/// A small capsule badge; `accent` paints it in the accent colour.
QLabel *badge(const QString &text, bool accent, const QPalette &colours)
{
    QLabel *label = TextStyle::label(text, TextRole::caption2);
    label->setWordWrap(false);
    QFont bold = label->font();
    bold.setWeight(QFont::Bold);
    label->setFont(bold);
    const QColor fill
        = accent ? LabPalette::withOpacity(LabPalette::accent(colours), 0.15) : LabPalette::cardBackground().resolved(colours);
    const QColor ink = accent ? LabPalette::accent(colours) : TextStyle::color(TextTone::secondary, colours);
    label->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; border-radius: 7px; padding: 1px 7px; }")
                             .arg(fill.name(QColor::HexArgb), ink.name(QColor::HexArgb)));
    return label;
}

} // namespace

LinuxSourceStepView::LinuxSourceStepView(CreateVMWizardViewModel &wizard, QWidget *parent)
    : QWidget(parent)
    , m_wizard(wizard)
{
    setObjectName(QStringLiteral("wizard.linuxSourceStep"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);

    m_catalog = new QRadioButton(tr("Popular Distributions"));
    m_catalog->setObjectName(QStringLiteral("linux.catalog"));
    m_localISO = new QRadioButton(tr("Use Local ISO / Image"));
    m_localISO->setObjectName(QStringLiteral("linux.localISO"));
    auto *modes = new QButtonGroup(this);
    modes->addButton(m_catalog);
    modes->addButton(m_localISO);
    auto *picker = new QHBoxLayout;
    picker->addWidget(TextStyle::label(tr("Install Source")));
    picker->addWidget(m_catalog);
    picker->addWidget(m_localISO);
    picker->addStretch(1);
    column->addLayout(picker);
    connect(m_catalog, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_wizard.setLinuxSourceMode(LinuxSourceMode::catalog);
    });
    connect(m_localISO, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_wizard.setLinuxSourceMode(LinuxSourceMode::localISO);
    });

    column->addWidget(makeCatalogGroup());
    column->addWidget(makeLocalGroup());
    column->addWidget(makeBootGroup());
    refresh();
}

QWidget *LinuxSourceStepView::makeCatalogGroup()
{
    m_catalogGroup = new LabGroupBox(tr("Linux Distributions"));
    QVBoxLayout *content = m_catalogGroup->contentLayout();
    content->setSpacing(12);
    content->addWidget(TextStyle::label(
        tr("Choose from popular ARM64 Linux distributions. The ISO will be downloaded when the VM is created."), TextRole::body, true));
    auto *chips = new QHBoxLayout;
    chips->setSpacing(8);
    chips->addWidget(makeChip(QString(), tr("All"), QStringLiteral("linux.filter.all"), std::nullopt));
    chips->addWidget(makeChip(
        QStringLiteral("desktopcomputer"), tr("Desktop (GUI)"), QStringLiteral("linux.filter.desktop"), LinuxDistroVariant::desktop));
    chips->addWidget(
        makeChip(QStringLiteral("terminal"), tr("Server (CLI)"), QStringLiteral("linux.filter.server"), LinuxDistroVariant::server));
    chips->addStretch(1);
    content->addLayout(chips);
    for (const LinuxDistribution &distribution : LinuxDistribution::catalog()) {
        SelectableCard *row = makeDistributionRow(distribution);
        m_rows.insert(distribution.id, row);
        content->addWidget(row);
    }
    m_noMatch = TextStyle::label(tr("No distributions match the selected filter."), TextRole::body, true);
    m_noMatch->setObjectName(QStringLiteral("linux.noMatch"));
    m_noMatch->setAlignment(Qt::AlignCenter);
    content->addWidget(m_noMatch);
    return m_catalogGroup;
}

QPushButton *LinuxSourceStepView::makeChip(
    const QString &symbol, const QString &title, const QString &objectName, std::optional<LinuxDistroVariant> filter)
{
    QPushButton *chip = WizardWidgets::button(title, symbol, objectName);
    chip->setCheckable(true);
    chip->setFlat(true);
    chip->setCursor(Qt::PointingHandCursor);
    QFont small = TextStyle::font(TextRole::caption);
    small.setWeight(QFont::Medium);
    chip->setFont(small);
    connect(chip, &QPushButton::clicked, this, [this, filter] { m_wizard.setSelectedLinuxVariantFilter(filter); });
    m_chips.append({chip, filter});
    return chip;
}

void LinuxSourceStepView::styleChips()
{
    const QPalette &colours = palette();
    const QColor accent = LabPalette::accent(colours);
    for (const auto &[chip, filter] : std::as_const(m_chips)) {
        const bool selected = filter == m_wizard.selectedLinuxVariantFilter();
        {
            const QSignalBlocker blocker(chip);
            chip->setChecked(selected);
        }
        const QString style = selected
            ? QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 8px; padding: 2px 10px; }")
                  .arg(LabPalette::withOpacity(accent, 0.2).name(QColor::HexArgb), accent.name(QColor::HexArgb),
                      LabPalette::withOpacity(accent, 0.5).name(QColor::HexArgb))
            : QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 8px; padding: 2px 10px; }")
                  .arg(LabPalette::cardBackground().resolved(colours).name(QColor::HexArgb),
                      colours.color(QPalette::WindowText).name(QColor::HexArgb));
        if (chip->styleSheet() != style)
            chip->setStyleSheet(style);
    }
}

SelectableCard *LinuxSourceStepView::makeDistributionRow(const LinuxDistribution &distribution)
{
    auto *row = new SelectableCard(12);
    row->setObjectName(QStringLiteral("linux.distribution:") + distribution.id.toString(QUuid::WithoutBraces));
    row->setAccessibleName(distribution.name + QLatin1Char(' ') + distribution.version);
    QLabel *mark = WizardWidgets::selectionMark();
    mark->setObjectName(QStringLiteral("linux.mark"));
    row->contentLayout()->addWidget(mark, 0, Qt::AlignVCenter);

    auto *lines = new QVBoxLayout;
    lines->setSpacing(4);
    auto *title = new QHBoxLayout;
    title->setSpacing(8);
    QLabel *name = TextStyle::label(distribution.name, TextRole::headline);
    name->setWordWrap(false);
    title->addWidget(name);
    QLabel *version = TextStyle::label(distribution.version, TextRole::body, true);
    version->setWordWrap(false);
    title->addWidget(version);
    const bool desktop = distribution.variant == LinuxDistroVariant::desktop;
    title->addWidget(badge(desktop ? QStringLiteral("GUI") : QStringLiteral("CLI"), desktop, palette()));
    title->addWidget(badge(distribution.architecture, false, palette()));
    title->addStretch(1);
    lines->addLayout(title);
    lines->addWidget(TextStyle::label(distribution.detailSummary(), TextRole::caption, true));
    row->contentLayout()->addLayout(lines, 1);

    if (distribution.estimatedSizeBytes) {
        QLabel *size = TextStyle::label(QStringLiteral("~") + SizeText::bytes(*distribution.estimatedSizeBytes), TextRole::body);
        size->setObjectName(QStringLiteral("linux.size"));
        size->setWordWrap(false);
        TextStyle::applyTone(*size, TextTone::secondary);
        row->contentLayout()->addWidget(size, 0, Qt::AlignVCenter);
    }
    connect(row, &SelectableCard::clicked, this, [this, distribution] { m_wizard.setSelectedLinuxDistribution(distribution); });
    return row;
}

QWidget *LinuxSourceStepView::makeLocalGroup()
{
    m_localGroup = new LabGroupBox(tr("Local Source"));
    QVBoxLayout *content = m_localGroup->contentLayout();
    content->setSpacing(12);
    m_localPrompt = WizardWidgets::markupLabel(tr("Choose a local Linux ISO or disk image (`.iso`, `.img`)."));
    TextStyle::apply(*m_localPrompt, TextRole::body, true);
    m_localPrompt->setObjectName(QStringLiteral("linux.localPrompt"));
    content->addWidget(m_localPrompt);

    m_localChosen = new QWidget;
    auto *chosen = new QHBoxLayout(m_localChosen);
    chosen->setContentsMargins(0, 0, 0, 0);
    chosen->addWidget(WizardWidgets::symbolLabel(QStringLiteral("opticaldisc"), LabPalette::accent(palette()), 28), 0, Qt::AlignVCenter);
    auto *lines = new QVBoxLayout;
    m_localName = TextStyle::label(QString(), TextRole::headline);
    m_localName->setObjectName(QStringLiteral("linux.localName"));
    m_localFolder = TextStyle::label(QString(), TextRole::caption, true);
    m_localFolder->setObjectName(QStringLiteral("linux.localFolder"));
    m_localFolder->setWordWrap(false);
    lines->addWidget(m_localName);
    lines->addWidget(m_localFolder);
    chosen->addLayout(lines, 1);
    content->addWidget(m_localChosen);

    QPushButton *choose = WizardWidgets::button(tr("Choose Local ISO"), QString(), QStringLiteral("linux.chooseLocal"));
    content->addWidget(choose, 0, Qt::AlignLeft);
    connect(choose, &QPushButton::clicked, this,
        [this] { ViewCommand::start(*this, m_wizard.chooseLocalLinuxISO(), m_wizard.failureReport()); });
    return m_localGroup;
}

QWidget *LinuxSourceStepView::makeBootGroup()
{
    auto *group = new LabGroupBox(tr("Boot Configuration"));
    QVBoxLayout *content = group->contentLayout();
    content->setSpacing(12);
    auto *commandRow = new QHBoxLayout;
    commandRow->addWidget(TextStyle::label(tr("Kernel Command Line")));
    m_commandLine = new QLineEdit;
    m_commandLine->setObjectName(QStringLiteral("linux.commandLine"));
    m_commandLine->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    commandRow->addWidget(m_commandLine, 1);
    content->addLayout(commandRow);
    m_rosetta = new QCheckBox(tr("Enable Rosetta translation (run x86_64 binaries)"));
    m_rosetta->setObjectName(QStringLiteral("linux.rosetta"));
    m_rosetta->setEnabled(CreateVMWizardViewModel::isRosettaAvailable());
    content->addWidget(m_rosetta);
    QLabel *rosettaNote
        = TextStyle::label(tr("Not available on this computer: Rosetta translation exists only on Mac hosts. To run x86_64 Linux "
                              "binaries inside the ARM64 guest, install qemu-user-static in the guest instead."),
            TextRole::body, true);
    rosettaNote->setObjectName(QStringLiteral("linux.rosettaNote"));
    content->addWidget(rosettaNote);
    connect(m_commandLine, &QLineEdit::textEdited, this, [this](const QString &text) {
        VMLinuxBootConfiguration config = m_wizard.linuxBootConfig();
        config.commandLine = text;
        m_wizard.setLinuxBootConfig(config);
    });
    connect(m_rosetta, &QCheckBox::toggled, this, [this](bool on) { m_wizard.setLinuxUseRosetta(on); });
    return group;
}

void LinuxSourceStepView::refresh()
{
    const bool catalog = m_wizard.linuxSourceMode() == LinuxSourceMode::catalog;
    WizardWidgets::checkQuietly(catalog ? *m_catalog : *m_localISO, {m_catalog, m_localISO});
    WizardWidgets::setShown(*m_catalogGroup, catalog);
    WizardWidgets::setShown(*m_localGroup, !catalog);

    styleChips();
    QSet<QUuid> visible;
    for (const LinuxDistribution &distribution : m_wizard.filteredLinuxDistributions())
        visible.insert(distribution.id);
    const std::optional<LinuxDistribution> &selected = m_wizard.selectedLinuxDistribution();
    for (auto row = m_rows.cbegin(); row != m_rows.cend(); ++row) {
        WizardWidgets::setShown(**row, visible.contains(row.key()));
        const bool isSelected = selected && selected->id == row.key();
        (*row)->setSelected(isSelected);
        if (auto *mark = (*row)->findChild<QLabel *>(QStringLiteral("linux.mark")))
            WizardWidgets::setSelectionMark(*mark, isSelected);
    }
    WizardWidgets::setShown(*m_noMatch, visible.isEmpty());

    const std::optional<QString> &local = m_wizard.localLinuxISOURL();
    WizardWidgets::setShown(*m_localPrompt, !local);
    WizardWidgets::setShown(*m_localChosen, local.has_value());
    if (local) {
        const QFileInfo file(*local);
        m_localName->setText(file.fileName());
        m_localFolder->setText(file.absolutePath());
    }

    if (m_commandLine->text() != m_wizard.linuxBootConfig().commandLine) {
        const QSignalBlocker blocker(m_commandLine);
        m_commandLine->setText(m_wizard.linuxBootConfig().commandLine);
    }
    if (m_rosetta->isChecked() != m_wizard.linuxUseRosetta()) {
        const QSignalBlocker blocker(m_rosetta);
        m_rosetta->setChecked(m_wizard.linuxUseRosetta());
    }
}
