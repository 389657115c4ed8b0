// SPDX-License-Identifier: MIT
#include "MacOSSourceStepView.h"

#include "CreateVMWizardViewModel.h"
#include "InstallSourceOptionRow.h"
#include "LabGroupBox.h"
#include "LabPalette.h"
#include "TextStyle.h"
#include "ViewCommand.h"
#include "WizardWidgets.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using SourceMode = CreateVMWizardViewModel::SourceMode;

MacOSSourceStepView::MacOSSourceStepView(CreateVMWizardViewModel &wizard, QWidget *parent)
    : QWidget(parent)
    , m_wizard(wizard)
    , m_automatic(new QRadioButton(tr("Recent Stable macOS Versions")))
    , m_local(new QRadioButton(tr("Use Local Restore Image")))
    , m_automaticGroup(new LabGroupBox(tr("Automatic Source")))
    , m_automaticStatus(TextStyle::label(QString(), TextRole::body, true))
    , m_rowsBox(new QWidget)
    , m_rowsLayout(new QVBoxLayout(m_rowsBox))
    , m_localGroup(new LabGroupBox(tr("Local Source")))
    , m_localPrompt(WizardWidgets::markupLabel(tr("Choose a local macOS restore image (`.ipsw`).")))
    , m_localName(TextStyle::label(QString(), TextRole::headline))
    , m_localBuild(TextStyle::label(QString(), TextRole::body, true))
    , m_localPath(TextStyle::label(QString(), TextRole::caption, true))
{
    setObjectName(QStringLiteral("wizard.macOSSourceStep"));
    m_automatic->setObjectName(QStringLiteral("macOS.automatic"));
    m_local->setObjectName(QStringLiteral("macOS.local"));
    m_automaticStatus->setObjectName(QStringLiteral("macOS.status"));
    m_localPrompt->setObjectName(QStringLiteral("macOS.localPrompt"));
    m_localName->setObjectName(QStringLiteral("macOS.localName"));
    m_localBuild->setObjectName(QStringLiteral("macOS.localBuild"));
    m_localPath->setObjectName(QStringLiteral("macOS.localPath"));
    m_localPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TextStyle::apply(*m_localPrompt, TextRole::body, true);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);
    column->addLayout(makeUnavailableNote());
    column->addLayout(makeSourcePicker());
    column->addWidget(makeAutomaticGroup());
    column->addWidget(makeLocalGroup());
    refresh();
}

QLayout *MacOSSourceStepView::makeUnavailableNote()
{
    // This host's virtualization cannot boot macOS: say so before anyone starts a long download.
    auto *unavailableRow = new QHBoxLayout;
    unavailableRow->addWidget(
        WizardWidgets::symbolLabel(QStringLiteral("exclamationmark.triangle"), LabPalette::orange().resolved(palette()), 18), 0,
        Qt::AlignTop);
    QLabel *unavailable = TextStyle::label(CreateVMWizardViewModel::macOSUnavailableText(), TextRole::callout);
    unavailable->setObjectName(QStringLiteral("macOS.unavailable"));
    unavailableRow->addWidget(unavailable, 1);
    return unavailableRow;
}

QLayout *MacOSSourceStepView::makeSourcePicker()
{
    auto *modes = new QButtonGroup(this);
    modes->addButton(m_automatic);
    modes->addButton(m_local);
    auto *picker = new QHBoxLayout;
    picker->addWidget(TextStyle::label(tr("Install Source")));
    picker->addWidget(m_automatic);
    picker->addWidget(m_local);
    picker->addStretch(1);
    connect(m_automatic, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_wizard.setSourceMode(SourceMode::automatic);
    });
    connect(m_local, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_wizard.setSourceMode(SourceMode::local);
    });
    return picker;
}

QWidget *MacOSSourceStepView::makeAutomaticGroup()
{
    QVBoxLayout *automatic = m_automaticGroup->contentLayout();
    automatic->setSpacing(10);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(12);
    automatic->addWidget(m_automaticStatus);
    automatic->addWidget(m_rowsBox);
    QPushButton *refreshButton = WizardWidgets::button(tr("Refresh Available macOS Versions"), QString(), QStringLiteral("macOS.refresh"));
    automatic->addWidget(refreshButton, 0, Qt::AlignLeft);
    connect(refreshButton, &QPushButton::clicked, this,
        [this] { ViewCommand::start(*this, m_wizard.loadAutomaticRestoreImages(), m_wizard.failureReport()); });
    return m_automaticGroup;
}

QWidget *MacOSSourceStepView::makeLocalGroup()
{
    QVBoxLayout *local = m_localGroup->contentLayout();
    local->setSpacing(10);
    local->addWidget(m_localName);
    local->addWidget(m_localBuild);
    local->addWidget(m_localPath);
    local->addWidget(m_localPrompt);
    QPushButton *chooseButton = WizardWidgets::button(tr("Choose Local Restore Image"), QString(), QStringLiteral("macOS.chooseLocal"));
    local->addWidget(chooseButton, 0, Qt::AlignLeft);
    connect(chooseButton, &QPushButton::clicked, this,
        [this] { ViewCommand::start(*this, m_wizard.chooseLocalRestoreImage(), m_wizard.failureReport()); });
    return m_localGroup;
}

void MacOSSourceStepView::refresh()
{
    const bool automatic = m_wizard.sourceMode() == SourceMode::automatic;
    WizardWidgets::checkQuietly(automatic ? *m_automatic : *m_local, {m_automatic, m_local});
    WizardWidgets::setShown(*m_automaticGroup, automatic);
    WizardWidgets::setShown(*m_localGroup, !automatic);

    const QList<RestoreImageInfo> &options = m_wizard.automaticRestoreImageOptions();
    if (m_wizard.isLoadingAutomaticRestoreImages())
        m_automaticStatus->setText(tr("Loading recent stable macOS releases…"));
    else if (!options.isEmpty())
        m_automaticStatus->setText(tr("Choose from the most recent major macOS releases supported by this host."));
    else
        m_automaticStatus->setText(tr("No automatic restore images are available right now."));
    if (options != m_shownOptions)
        rebuildRows();
    WizardWidgets::setShown(*m_rowsBox, !m_wizard.isLoadingAutomaticRestoreImages() && !options.isEmpty());
    for (InstallSourceOptionRow *row : std::as_const(m_rows))
        row->setOptionSelected(m_wizard.isSelectedAutomaticRestoreImage(row->option()));

    const std::optional<RestoreImageInfo> &info = m_wizard.localRestoreImageInfo();
    WizardWidgets::setShown(*m_localPrompt, !info);
    WizardWidgets::setShown(*m_localName, info.has_value());
    WizardWidgets::setShown(*m_localBuild, info.has_value());
    WizardWidgets::setShown(*m_localPath, info.has_value());
    if (info) {
        m_localName->setText(info->displayName);
        m_localBuild->setText(tr("Build ") + info->build);
        m_localPath->setText(m_wizard.localRestoreImageURL().value_or(QString()));
    }
}

void MacOSSourceStepView::rebuildRows()
{
    qDeleteAll(m_rows);
    m_rows.clear();
    m_shownOptions = m_wizard.automaticRestoreImageOptions();
    for (qsizetype index = 0; index < m_shownOptions.size(); ++index) {
        const RestoreImageInfo &option = m_shownOptions[index];
        auto *row = new InstallSourceOptionRow(option, index == 0);
        row->setObjectName(QStringLiteral("macOS.option:") + option.build);
        connect(row, &InstallSourceOptionRow::clicked, this,
            [this, build = option.build] { m_wizard.setSelectedAutomaticRestoreImageBuild(build); });
        m_rowsLayout->addWidget(row);
        m_rows << row;
    }
}
