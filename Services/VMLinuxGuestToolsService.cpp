// SPDX-License-Identifier: MIT
#include "VMLinuxGuestToolsService.h"

#include "ConfinedFolder.h"
#include "LinuxGuestToolsTexts.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "VMFirstBootService.h"
#include "VMGuestAutomationService.h"

namespace {

bool holds(const ConfinedFolder &folder, const QString &name, const QByteArray &content)
{
    try {
        return folder.readFile(name, content.size()) == content;
    } catch (const PlatformError &) {
        return false;
    }
}

} // namespace

VMLinuxGuestToolsService::VMLinuxGuestToolsService(const LoggingService &logging)
    : m_logging(logging)
{
}

void VMLinuxGuestToolsService::stageLinuxGuestTools(const VMBundle &bundle) const
{
    const ConfinedFolder automation = VMGuestAutomationService::createAutomationFolders(bundle);

    struct StagedFile {
        QStringView name;
        QString text;
        bool executable;
    };
    const StagedFile files[] = {
        { installerFileName, LinuxGuestToolsTexts::installerScript(), true },
        { agentFileName, agentScript(), true },
        { clipboardFileName, clipboardScript(), true },
        { unitFileName, LinuxGuestToolsTexts::systemdUnit(), false },
        { desktopEntryFileName, LinuxGuestToolsTexts::desktopEntry(), false },
        { readmeFileName, readmeText(bundle), false },
    };
    for (const StagedFile &file : files) {
        const QString name = file.name.toString();
        // A file that already holds the text stays the same file: a guest restored from a saved state may have it open.
        const QByteArray content = file.text.toUtf8();
        if (!holds(automation, name, content))
            automation.writeFileAtomically(name, content);
        if (file.executable)
            VMFirstBootService::makeExecutable(automation.pathOf(name));
    }

    const QString marker = VMGuestAutomationService::markerFileName.toString();
    if (!automation.contains(marker))
        automation.writeFileAtomically(marker, {});

    m_logging.log(QStringLiteral("Staged Linux guest tools for ") + bundle.metadata.name, QStringLiteral("LinuxTools"), bundle.bundleURL);
}

QString VMLinuxGuestToolsService::agentScript() { return LinuxGuestToolsTexts::agentScript(); }

QString VMLinuxGuestToolsService::clipboardScript() { return LinuxGuestToolsTexts::clipboardScript(); }

QString VMLinuxGuestToolsService::readmeText(const VMBundle &bundle) { return LinuxGuestToolsTexts::readme(bundle.metadata.name); }
