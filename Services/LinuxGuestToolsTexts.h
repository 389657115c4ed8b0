// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * The texts staged into a Linux guest's automation folder: the installer,
 * the root agent and the clipboard scripts, the systemd unit, the desktop
 * autostart entry and the README. The scripts speak the automation folder's
 * file protocol from inside the guest with nothing but bash and common
 * tools. Every text is UTF-8 and ends without a final line break.
 */
namespace LinuxGuestToolsTexts {

/// Run once by the user inside the guest: installs the scripts and arranges for them to start.
QString installerScript();
/// Runs as root: mounts the share when needed, writes the heartbeat and answers disk-growth requests.
QString agentScript();
/// Runs in the desktop user's session: exchanges plain-text clipboard content with the host.
QString clipboardScript();
QString systemdUnit();
QString desktopEntry();
/// The instructions, naming the VM.
QString readme(const QString &vmName);

} // namespace LinuxGuestToolsTexts
