// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <QString>
#include <QStringView>

class LoggingService;

/**
 * Stages the Linux guest tools into a bundle's automation folder, which a
 * Linux guest sees through its virtio file-system share: an installer, a
 * root agent that writes the heartbeat and answers disk-growth requests, a
 * clipboard script, a systemd unit, a desktop autostart entry and a README.
 * Every staging rewrites each of the six files whose text differs, so a
 * newer application refreshes them at the next launch or start, and leaves
 * a file that holds its text as it is: a guest restored from its saved
 * state may hold it open, and a new file in its place would take that
 * away. Holds no state; GUI thread;
 * logs under "LinuxTools".
 *
 * @code
 * if (bundle.metadata.guestOSType == VMGuestOSType::linux)
 *     linuxTools.stageLinuxGuestTools(bundle);
 * @endcode
 */
class VMLinuxGuestToolsService
{
public:
    static constexpr QStringView installerFileName = u"install-linux-tools.sh";
    static constexpr QStringView agentFileName = u"duvuzodovevav-linux-agent.sh";
    static constexpr QStringView clipboardFileName = u"duvuzodovevav-linux-clipboard.sh";
    static constexpr QStringView unitFileName = u"duvuzodovevav-agent.service";
    static constexpr QStringView desktopEntryFileName = u"duvuzodovevav-clipboard.desktop";
    static constexpr QStringView readmeFileName = u"README-Linux.txt";
    /// Where the guest mounts the automation share, as the README and the scripts have it.
    static constexpr QStringView mountPoint = u"/mnt/duvuzodovevav";

    explicit VMLinuxGuestToolsService(const LoggingService &logging);

    /**
     * Makes the automation folder with its Requests, Responses and Clipboard
     * folders, writes each of the six files atomically unless it holds its
     * text already (the three scripts made executable) and writes an empty marker when there is none. The first
     * file-system failure is thrown as PlatformError; files already written
     * stay.
     */
    void stageLinuxGuestTools(const VMBundle &bundle) const;

    static QString agentScript();
    static QString clipboardScript();
    static QString readmeText(const VMBundle &bundle);

private:
    const LoggingService &m_logging;
};
