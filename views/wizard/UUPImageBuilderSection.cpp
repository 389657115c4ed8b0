// SPDX-License-Identifier: MIT
#include "UUPImageBuilderSection.h"

#include "CreateVMWizardViewModel.h"
#include "HostInstallAdvice.h"
#include "LabPalette.h"
#include "Layouts.h"
#include "TextStyle.h"
#include "ViewCommand.h"
#include "WizardWidgets.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const QColor green(52, 168, 83);
const QColor red(220, 53, 69);
} // namespace

const QStringList &UUPImageBuilderSection::toolNames()
{
    static const QStringList names {
        QStringLiteral("aria2c"), QStringLiteral("cabextract"), QStringLiteral("wimlib-imagex"), QStringLiteral("mkisofs")};
    return names;
}

const QStringList &UUPImageBuilderSection::toolSearchFolders()
{
    static const QStringList folders {QStringLiteral("/opt/homebrew/bin"), QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/bin"),
        QStringLiteral("/bin"), QStringLiteral("/usr/sbin")};
    return folders;
}

QString UUPImageBuilderSection::installCommand()
{
    // Debian's packages of the four programs; genisoimage provides mkisofs.
    return HostInstallAdvice::packageInstallCommand.toString() + QStringLiteral(" aria2 cabextract wimtools genisoimage");
}

QList<UUPImageBuilderSection::RequiredTool> UUPImageBuilderSection::requiredTools(const std::function<bool(const QString &)> &isProgram)
{
    QList<RequiredTool> tools;
    for (const QString &name : toolNames()) {
        const bool found = std::any_of(toolSearchFolders().begin(), toolSearchFolders().end(),
            [&](const QString &folder) { return isProgram(folder + QLatin1Char('/') + name); });
        tools.append({name, found});
    }
    return tools;
}

UUPImageBuilderSection::UUPImageBuilderSection(CreateVMWizardViewModel &wizard, WizardDesktop desktop, QWidget *parent)
    : QWidget(parent)
    , m_wizard(wizard)
    , m_desktop(std::move(desktop))
    , m_tools(new QWidget)
    , m_toolRows(new QVBoxLayout(m_tools))
{
    setObjectName(QStringLiteral("windows.uupBuilder"));
    const QColor orange = LabPalette::orange().resolved(palette());
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);

    auto *header = new QHBoxLayout;
    header->addWidget(WizardWidgets::symbolLabel(QStringLiteral("exclamationmark.triangle"), orange, 16));
    QLabel *title = TextStyle::label(tr("Expert Mode — UUP Image Builder"), TextRole::callout);
    QFont semibold = title->font();
    semibold.setWeight(QFont::DemiBold);
    title->setFont(semibold);
    QPalette orangeText = title->palette();
    orangeText.setColor(QPalette::WindowText, orange);
    title->setPalette(orangeText);
    header->addWidget(title, 1);
    column->addLayout(header);
    column->addWidget(
        TextStyle::label(tr("Build a Windows 11 ARM64 ISO directly from Microsoft's update servers using UUP dump. This downloads ~5 GB "
                            "of components and takes 15-30 minutes."),
            TextRole::callout, true));
    column->addWidget(
        TextStyle::label(tr("ARM64 support via UUP dump may be limited. Not all builds are supported by the UUP dump maintainers. For most "
                            "users, the official Microsoft ISO (Tier 1) is recommended."),
            TextRole::caption, true));

    m_toolRows->setContentsMargins(0, 0, 0, 0);
    m_toolRows->setSpacing(6);
    column->addWidget(m_tools);

    auto *commandRow = new QHBoxLayout;
    commandRow->addWidget(TextStyle::label(tr("Install all tools:"), TextRole::caption, true));
    QPushButton *copy
        = WizardWidgets::button(tr("Copy Install Command"), QStringLiteral("doc.on.clipboard"), QStringLiteral("uup.copyCommand"));
    commandRow->addWidget(copy);
    commandRow->addStretch(1);
    column->addLayout(commandRow);

    QLabel *command = TextStyle::label(installCommand(), TextRole::caption);
    command->setObjectName(QStringLiteral("uup.command"));
    command->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    command->setTextInteractionFlags(Qt::TextSelectableByMouse);
    command->setStyleSheet(QStringLiteral("QLabel { background: %1; border-radius: 6px; padding: 8px; }")
                               .arg(LabPalette::cardBackground().resolved(palette()).name(QColor::HexArgb)));
    column->addWidget(command);

    column->addWidget(WizardWidgets::divider());
    QPushButton *select
        = WizardWidgets::button(tr("Select Pre-built ISO Instead"), QStringLiteral("folder"), QStringLiteral("uup.selectImage"));
    column->addWidget(select, 0, Qt::AlignLeft);

    connect(copy, &QPushButton::clicked, this, [this] {
        if (m_desktop.copyText)
            m_desktop.copyText(installCommand());
    });
    connect(select, &QPushButton::clicked, this,
        [this] { ViewCommand::start(*this, m_wizard.chooseWindowsImage(), m_wizard.failureReport()); });
    showTools();
}

void UUPImageBuilderSection::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showTools();
}

void UUPImageBuilderSection::showTools()
{
    Layouts::clear(*m_toolRows);
    QLabel *heading = TextStyle::label(tr("Required Tools"), TextRole::caption, true);
    QFont medium = heading->font();
    medium.setWeight(QFont::Medium);
    heading->setFont(medium);
    m_toolRows->addWidget(heading);
    std::function<bool(const QString &)> isProgram = m_desktop.isProgram;
    if (!isProgram)
        isProgram = [](const QString &) { return false; };
    for (const RequiredTool &tool : requiredTools(isProgram)) {
        auto *row = new QWidget;
        row->setObjectName(QStringLiteral("uup.tool:") + tool.name);
        row->setProperty("installed", tool.isInstalled);
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(8);
        const QColor colour = tool.isInstalled ? green : red;
        layout->addWidget(WizardWidgets::symbolLabel(
            tool.isInstalled ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.circle"), colour, 14));
        QLabel *name = TextStyle::label(tool.name, TextRole::caption);
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPointSizeF(name->font().pointSizeF());
        name->setFont(mono);
        name->setWordWrap(false);
        layout->addWidget(name);
        QLabel *state = TextStyle::label(tool.isInstalled ? tr("installed") : tr("missing"), TextRole::caption);
        state->setObjectName(QStringLiteral("uup.toolState"));
        QPalette tinted = state->palette();
        tinted.setColor(QPalette::WindowText, colour);
        state->setPalette(tinted);
        layout->addWidget(state);
        layout->addStretch(1);
        m_toolRows->addWidget(row);
    }
}
