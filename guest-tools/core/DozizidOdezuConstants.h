// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

/**
 * The fixed names of the guest tools: the automation folder's entries (which
 * the host uses too), where the programs log, the platform tools they start,
 * and the names under which the installer sets the programs up.
 */
namespace GuestTools::DozizidOdezuConstants {

// The automation folder. Names are case-sensitive.
inline constexpr std::string_view statusFilename = "GuestAgentStatus.json";
inline constexpr std::string_view requestsDirectoryName = "Requests";
inline constexpr std::string_view responsesDirectoryName = "Responses";
inline constexpr std::string_view clipboardDirectoryName = "Clipboard";
inline constexpr std::string_view hostClipboardFilename = "HostClipboard.json";
inline constexpr std::string_view guestClipboardFilename = "GuestClipboard.json";
inline constexpr std::string_view markerFilename = "DuvuzodOvevavAutomationRoot.marker";

// How the host shares the automation folder: a folder of this name at the top of a virtio file
// system mounted from the device the host tags with one of these, never a folder a guest user made.
inline constexpr std::string_view automationShareName = "KestrumAutomation";
inline constexpr std::string_view virtioFileSystemType = "virtiofs";
inline constexpr std::string_view macOSGuestShareTag = "com.apple.virtio-fs.automount";
inline constexpr std::string_view linuxGuestShareTag = "duvuzodovevav-shared";

/// What the daemon reports as its agentVersion.
inline constexpr std::string_view toolsVersion = "3";

inline constexpr std::string_view daemonLogPath = "/var/log/dozizidodezu-daemon.log";
inline constexpr std::string_view clipboardLogPath = "/tmp/dozizidodezu-clipboard.log";

/// Where the guest's shares are mounted; the automation root is searched for below it.
inline constexpr std::string_view volumesPath = "/Volumes";
inline constexpr std::string_view scutilPath = "/usr/sbin/scutil";
inline constexpr std::string_view diskutilPath = "/usr/sbin/diskutil";
/// The shell that runs CI scripts.
inline constexpr std::string_view bashPath = "/bin/bash";

// CI scripts: staged by the host in the root as ci-run-<ID>.sh; their output is answered as Responses/<ID>.output.
inline constexpr std::string_view ciScriptPrefix = "ci-run-";
inline constexpr std::string_view ciScriptExtension = ".sh";
inline constexpr std::string_view ciOutputExtension = ".output";

// How the installer package sets the programs up; the programs never read these.
inline constexpr std::string_view daemonLabel = "lab.zovozu.tools.daemon";
inline constexpr std::string_view clipboardLabel = "lab.zovozu.tools.clipboardagent";
inline constexpr std::string_view clipboardAppName = "Kestrum Tools.app";
inline constexpr std::string_view clipboardExecutableName = "DozizidOdezuClipboardAgent";
inline constexpr std::string_view daemonExecutableName = "DozizidOdezuDaemon";

} // namespace GuestTools::DozizidOdezuConstants
