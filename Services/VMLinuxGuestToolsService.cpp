// SPDX-License-Identifier: MIT
#include "VMLinuxGuestToolsService.h"

#include "ConfinedFolder.h"
#include "LinuxGuestToolsTexts.h"
#include "LoggingService.h"
#include "VMFirstBootService.h"
#include "VMGuestAutomationService.h"

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
        automation.writeFileAtomically(name, file.text.toUtf8());
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
