// SPDX-License-Identifier: MIT
#include "TestFiles.h"
#include "VMLinuxGuestToolsService.h"

#include "ClipboardText.h"
#include "FileViewer.h"
#include "HostSecurityScopedAccess.h"
#include "JSONCoding.h"
#include "LinuxGuestSandbox.h"
#include "LoggingService.h"
#include "QtPrinters.h"
#include "TemporaryHome.h"
#include "VMGuestAutomationHeartbeat.h"
#include "VMGuestAutomationService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

namespace {

using TestFiles::read;
using TestFiles::write;

class NoViewer final : public FileViewer
{
public:
    void revealItem(const QString &, FailureHandler) override { }
};

mode_t permissions(const QString &path)
{
    struct stat status {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

VMBundle bundleAt(const QString &folder) { return LinuxGuestSandbox::linuxBundleAt(folder, QStringLiteral("Fedora Workstation")); }

class VMLinuxGuestToolsServiceTest : public ::testing::Test
{
protected:
    QString automation(const QString &name = {}) const
    {
        return m_bundle.bundleURL + QStringLiteral("/Automation") + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    VMLinuxGuestToolsService m_service { m_logging };
    VMBundle m_bundle = bundleAt(m_home.path() + QStringLiteral("/Fedora.vm"));
};

TEST_F(VMLinuxGuestToolsServiceTest, StagingWritesTheSixFilesTheFoldersAndTheMarker)
{
    m_service.stageLinuxGuestTools(m_bundle);

    for (const char *folder : { "Requests", "Responses", "Clipboard" })
        EXPECT_TRUE(QFileInfo(automation(QString::fromLatin1(folder))).isDir()) << folder;
    EXPECT_EQ(read(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker"))), QByteArray());
    for (const char *script : { "install-linux-tools.sh", "duvuzodovevav-linux-agent.sh", "duvuzodovevav-linux-clipboard.sh" })
        EXPECT_EQ(permissions(automation(QString::fromLatin1(script))) & 0111, mode_t(0111)) << script;
    for (const char *text : { "duvuzodovevav-agent.service", "duvuzodovevav-clipboard.desktop", "README-Linux.txt" })
        EXPECT_EQ(permissions(automation(QString::fromLatin1(text))) & 0111, mode_t(0)) << text;

    EXPECT_EQ(read(automation(QStringLiteral("duvuzodovevav-agent.service"))),
        "[Unit]\nDescription=Zovozu VM Lab Linux Guest Agent\nAfter=network.target local-fs.target\n\n"
        "[Service]\nType=simple\nExecStart=/usr/local/libexec/duvuzodovevav/duvuzodovevav-linux-agent.sh\nRestart=always\n"
        "RestartSec=5\nStandardOutput=journal\nStandardError=journal\n\n[Install]\nWantedBy=multi-user.target");
    EXPECT_EQ(read(automation(QStringLiteral("duvuzodovevav-clipboard.desktop"))),
        "[Desktop Entry]\nType=Application\nName=Zovozu VM Lab Clipboard Sync\n"
        "Comment=Starts clipboard synchronization for Zovozu VM Lab Linux guests\n"
        "Exec=/usr/local/libexec/duvuzodovevav/duvuzodovevav-linux-clipboard.sh\nTerminal=false\nNoDisplay=true\n"
        "X-GNOME-Autostart-enabled=true");
    const QByteArray readme = read(automation(QStringLiteral("README-Linux.txt")));
    EXPECT_TRUE(readme.startsWith("Kestrum Tools for Linux\n=======================\n\nVM: Fedora Workstation\n"));
    EXPECT_FALSE(readme.endsWith('\n'));
    EXPECT_EQ(read(automation(QStringLiteral("duvuzodovevav-linux-agent.sh"))), VMLinuxGuestToolsService::agentScript().toUtf8());
    EXPECT_TRUE(read(m_bundle.bundleURL + QStringLiteral("/Logs/duvuzodovevav.log"))
                    .contains("[LinuxTools] Staged Linux guest tools for Fedora Workstation"));
}

TEST_F(VMLinuxGuestToolsServiceTest, StagingAgainRewritesTheSameFilesAndKeepsAnExistingMarker)
{
    m_service.stageLinuxGuestTools(m_bundle);
    write(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker")), "kept");
    write(automation(QStringLiteral("duvuzodovevav-linux-agent.sh")), "tampered");
    const QByteArray installer = read(automation(QStringLiteral("install-linux-tools.sh")));

    m_service.stageLinuxGuestTools(m_bundle);

    EXPECT_EQ(read(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker"))), "kept");
    EXPECT_EQ(read(automation(QStringLiteral("duvuzodovevav-linux-agent.sh"))), VMLinuxGuestToolsService::agentScript().toUtf8());
    EXPECT_EQ(read(automation(QStringLiteral("install-linux-tools.sh"))), installer);

    QFile::remove(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker")));
    m_service.stageLinuxGuestTools(m_bundle);
    EXPECT_TRUE(QFileInfo(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker"))).isFile());
}

/*
 * A guest restored from its saved state may hold any staged file open; a
 * start that put a new file in its place would take that file from it. So a
 * file that holds its text stays the very same file, and only one whose
 * text differs (or a link in its place) is replaced.
 */
TEST_F(VMLinuxGuestToolsServiceTest, StagingAgainKeepsEachFileThatHoldsItsTextAndReplacesTheOthers)
{
    m_service.stageLinuxGuestTools(m_bundle);
    const QString unit = automation(QStringLiteral("duvuzodovevav-agent.service"));
    const QString readme = automation(QStringLiteral("README-Linux.txt"));
    const QString agent = automation(QStringLiteral("duvuzodovevav-linux-agent.sh"));
    const QString installer = automation(QStringLiteral("install-linux-tools.sh"));
    const QByteArray unitText = read(unit);
    const auto inode = [](const QString &path) {
        struct stat status {
        };
        return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : ino_t(0);
    };
    const ino_t readmeInode = inode(readme);
    const ino_t installerInode = inode(installer);

    write(unit, unitText.left(unitText.size() - 1));
    write(agent, VMLinuxGuestToolsService::agentScript().toUtf8() + "\n# and more");
    ::chmod(QFile::encodeName(installer).constData(), 0600);
    write(m_home.path() + QStringLiteral("/elsewhere.desktop"), read(automation(QStringLiteral("duvuzodovevav-clipboard.desktop"))));
    const QString desktop = automation(QStringLiteral("duvuzodovevav-clipboard.desktop"));
    ASSERT_TRUE(QFile::remove(desktop));
    ASSERT_TRUE(QFile::link(m_home.path() + QStringLiteral("/elsewhere.desktop"), desktop));
    const ino_t shortenedInode = inode(unit);

    m_service.stageLinuxGuestTools(m_bundle);

    EXPECT_EQ(inode(readme), readmeInode) << "an unchanged file stays the same file";
    EXPECT_EQ(inode(installer), installerInode) << "an unchanged script stays the same file";
    EXPECT_EQ(permissions(installer) & 0111, mode_t(0111)) << "and is made executable again";
    EXPECT_NE(inode(unit), shortenedInode);
    EXPECT_EQ(read(unit), unitText);
    EXPECT_EQ(read(agent), VMLinuxGuestToolsService::agentScript().toUtf8()) << "a longer file is no match";
    EXPECT_FALSE(QFileInfo(desktop).isSymLink()) << "a link is replaced, not kept for its target's text";
}

TEST_F(VMLinuxGuestToolsServiceTest, EveryStagedScriptIsValidBash)
{
    m_service.stageLinuxGuestTools(m_bundle);
    for (const char *script : { "install-linux-tools.sh", "duvuzodovevav-linux-agent.sh", "duvuzodovevav-linux-clipboard.sh" }) {
        QProcess bash;
        bash.setProcessChannelMode(QProcess::MergedChannels);
        bash.start(QStringLiteral("/bin/bash"), { QStringLiteral("-n"), automation(QString::fromLatin1(script)) });
        ASSERT_TRUE(bash.waitForFinished(10'000)) << script;
        EXPECT_EQ(bash.exitCode(), 0) << script << ": " << bash.readAll().toStdString();
    }
}

// ---- The staged scripts, run for one pass as a guest would run them ----------------------------

/// A Linux guest's view of a staged bundle, made inside a sandbox; the host's own service reads what the guest wrote.
class LinuxGuestScriptsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!LinuxGuestSandbox::namespacesAvailable())
            std::fprintf(stderr, "No user namespaces here: the scripts run with their places rewritten into the sandbox.\n");
        if (!m_sandbox.hasJSONReader())
            GTEST_SKIP() << "neither python3 nor jq is installed";
        m_tools.stageLinuxGuestTools(m_bundle);
        m_sandbox.addTool(QStringLiteral("hostname"), "printf '%s\\n' 'guest \"quoted\" \\ box'");
    }

    QString automation(const QString &name = {}) const
    {
        return m_bundle.bundleURL + QStringLiteral("/Automation") + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    QString calls() const { return QString::fromUtf8(m_sandbox.read(QStringLiteral("calls.log"))); }

    TemporaryHome m_home;
    LoggingService m_logging;
    HostSecurityScopedAccess m_access;
    NoViewer m_viewer;
    LinuxGuestSandbox m_sandbox;
    VMBundle m_bundle = bundleAt(m_sandbox.hostPath(QStringLiteral("Guest.vm")));
    VMLinuxGuestToolsService m_tools { m_logging };
    VMGuestAutomationService m_automation { m_logging, m_access, m_viewer, ApplicationResources(std::nullopt) };
};

TEST_F(LinuxGuestScriptsTest, TheAgentMountsTheShareWritesItsStatusAndAnswersEveryRequest)
{
    const struct {
        const char *name;
        bool growpart;
        bool fileSystemGrows;
        bool success;
        QString message;
    } cases[] = {
        { "grows", true, true, true, QStringLiteral("Linux filesystem expanded successfully.") },
        { "tools succeed but nothing grows", true, false, false,
            QStringLiteral("Could not expand filesystem automatically. Try: sudo growpart /dev/vda 1 && sudo resize2fs /dev/vda1") },
        { "no growpart", false, false, false,
            QStringLiteral("Could not expand filesystem automatically because growpart is not installed; install it (package "
                           "cloud-guest-utils or cloud-utils-growpart) and try again.") },
    };
    m_sandbox.addTool(QStringLiteral("mount"),
        "echo \"mount $*\" >>\"$SANDBOX/calls.log\"\n"
        "ln -s \"$SANDBOX/Guest.vm/Automation\" \"${@: -1}/KestrumAutomation\"");
    m_sandbox.addTool(QStringLiteral("df"),
        "size=1000000\n[ -e \"$SANDBOX/grown\" ] && size=2000000\n"
        "echo 'Filesystem 1024-blocks Used Available Capacity Mounted on'\n"
        "echo \"/dev/vda2 $size 400000 600000 40% /\"");
    m_sandbox.addTool(QStringLiteral("resize2fs"),
        "echo \"resize2fs $*\" >>\"$SANDBOX/calls.log\"\n"
        "[ -e \"$SANDBOX/resize-grows\" ] && touch \"$SANDBOX/grown\"\nexit 0");

    for (const auto &scenario : cases) {
        SCOPED_TRACE(scenario.name);
        QFile::remove(m_sandbox.hostPath(QStringLiteral("grown")));
        QFile::remove(m_sandbox.hostPath(QStringLiteral("calls.log")));
        QFile::remove(m_sandbox.hostPath(QStringLiteral("duvuzodovevav/KestrumAutomation")));
        QFile::remove(m_sandbox.hostPath(QStringLiteral("resize-grows")));
        if (scenario.fileSystemGrows)
            write(m_sandbox.hostPath(QStringLiteral("resize-grows")), "");
        QFile::remove(m_sandbox.hostPath(QStringLiteral("bin/growpart")));
        if (scenario.growpart)
            m_sandbox.addTool(QStringLiteral("growpart"), "echo \"growpart $*\" >>\"$SANDBOX/calls.log\"");

        const VMGuestAutomationQueueResult queued = m_automation.enqueueRequest(m_bundle);
        const QString expandID = queued.request.id.toString(QUuid::WithoutBraces).toUpper();
        const QUuid unknownID = QUuid::createUuid();
        const QString unknownName = unknownID.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".json");
        write(automation(QStringLiteral("Requests/")) + unknownName, "{\"command\": \"say \\\"hi\\\" \\\\ now\"}");

        const LinuxGuestSandbox::Result result = m_sandbox.run(QStringLiteral("Guest.vm/Automation/duvuzodovevav-linux-agent.sh"));
        ASSERT_TRUE(result.finished) << result.output.toStdString();

        EXPECT_TRUE(calls().contains(
            QStringLiteral("mount -t virtiofs duvuzodovevav-shared ") + m_sandbox.guestPath(QStringLiteral("duvuzodovevav"))))
            << calls().toStdString();
        const auto heartbeat
            = sharedJSONDecoder().decode<VMGuestAutomationHeartbeat>(read(automation(QStringLiteral("GuestAgentStatus.json"))));
        EXPECT_EQ(heartbeat.agentVersion, QStringLiteral("3"));
        EXPECT_EQ(heartbeat.guestComputerName, QStringLiteral("guest \"quoted\" \\ box"));
        EXPECT_LE(qAbs(heartbeat.lastSeenAt.secsTo(QDateTime::currentDateTimeUtc())), 60);
        const VMGuestAutomationStatusSnapshot status = m_automation.agentStatus(m_bundle);
        EXPECT_EQ(status.availability, VMGuestAutomationAvailability::installed);
        EXPECT_EQ(status.pendingRequestCount, 0);

        const auto expanded = sharedJSONDecoder().decode<VMGuestAutomationResponse>(
            read(automation(QStringLiteral("Responses/")) + expandID + QStringLiteral(".json")));
        EXPECT_EQ(expanded.requestID, queued.request.id);
        EXPECT_EQ(expanded.success, scenario.success);
        EXPECT_EQ(expanded.message, scenario.message);
        const auto unknown
            = sharedJSONDecoder().decode<VMGuestAutomationResponse>(read(automation(QStringLiteral("Responses/")) + unknownName));
        EXPECT_EQ(unknown.requestID, unknownID);
        EXPECT_FALSE(unknown.success);
        EXPECT_EQ(unknown.message, QStringLiteral("Unknown command: say \"hi\" \\ now"));

        if (scenario.growpart) {
            EXPECT_TRUE(calls().contains(QStringLiteral("growpart /dev/vda 2"))) << calls().toStdString();
        }
        EXPECT_TRUE(calls().contains(QStringLiteral("resize2fs /dev/vda2"))) << calls().toStdString();
        const QString log = QString::fromUtf8(m_sandbox.read(QStringLiteral("varlog/duvuzodovevav-linux-agent.log")));
        EXPECT_TRUE(log.contains(QStringLiteral("Starting Kestrum Tools Linux agent v3")));
        EXPECT_TRUE(log.contains(
            (scenario.success ? QStringLiteral("Completed disk expansion request ") : QStringLiteral("Failed disk expansion request "))
            + expandID))
            << log.toStdString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ Starting")).match(log).hasMatch());
    }
}

TEST_F(LinuxGuestScriptsTest, TheClipboardScriptAppliesTheHostsTextAndPublishesTheGuestsWithAnUpperCaseUUID)
{
    QDir().mkpath(m_sandbox.hostPath(QStringLiteral("duvuzodovevav")));
    QFile::link(
        m_sandbox.guestPath(QStringLiteral("Guest.vm/Automation")), m_sandbox.hostPath(QStringLiteral("duvuzodovevav/KestrumAutomation")));
    m_sandbox.addTool(QStringLiteral("xclip"),
        "if [ \"${3:-}\" = -o ]; then cat \"$SANDBOX/guest-clipboard.txt\"; "
        "else cat >\"$SANDBOX/applied-clipboard.txt\"; fi");
    const QString guestText = QStringLiteral("guest \"text\" ✓");
    write(m_sandbox.hostPath(QStringLiteral("guest-clipboard.txt")), guestText.toUtf8());

    for (const bool withoutUUIDSource : { false, true }) {
        SCOPED_TRACE(withoutUUIDSource ? "fallback id" : "kernel id");
        QFile::remove(automation(QStringLiteral("Clipboard/GuestClipboard.json")));
        const QString hostText = withoutUUIDSource ? QStringLiteral("second host text") : QStringLiteral("héllo from the host");
        m_automation.writeHostClipboard(hostText, m_bundle);

        const LinuxGuestSandbox::Result result
            = m_sandbox.run(QStringLiteral("Guest.vm/Automation/duvuzodovevav-linux-clipboard.sh"), withoutUUIDSource);
        ASSERT_TRUE(result.finished) << result.output.toStdString();

        EXPECT_EQ(QString::fromUtf8(m_sandbox.read(QStringLiteral("applied-clipboard.txt"))), hostText);
        const std::optional<VMClipboardMessage> published = m_automation.readGuestClipboard(m_bundle);
        ASSERT_TRUE(published);
        EXPECT_EQ(published->source, VMClipboardMessageSource::guest);
        EXPECT_EQ(ClipboardText::text(*published), guestText);
        const Json raw = sharedJSONDecoder().parse(read(automation(QStringLiteral("Clipboard/GuestClipboard.json"))));
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"))
                        .match(QString::fromStdString(raw.at("id").get<std::string>()))
                        .hasMatch())
            << raw.dump();
    }
}

TEST_F(LinuxGuestScriptsTest, WithTheAgentRunningTheGuestsClipboardReachesTheHostThroughTheAgent)
{
    // The desktop user cannot write into the share; the root agent copies what the user leaves in its spool.
    QDir().mkpath(m_sandbox.hostPath(QStringLiteral("duvuzodovevav")));
    QFile::link(
        m_sandbox.guestPath(QStringLiteral("Guest.vm/Automation")), m_sandbox.hostPath(QStringLiteral("duvuzodovevav/KestrumAutomation")));
    m_sandbox.addTool(QStringLiteral("xclip"), "[ \"${3:-}\" = -o ] && cat \"$SANDBOX/guest-clipboard.txt\"");
    write(m_sandbox.hostPath(QStringLiteral("guest-clipboard.txt")), "copied in the guest");
    const QString agent = QStringLiteral("Guest.vm/Automation/duvuzodovevav-linux-agent.sh");

    ASSERT_TRUE(m_sandbox.run(agent).finished);
    EXPECT_TRUE(QFileInfo(m_sandbox.hostPath(QStringLiteral("run/duvuzodovevav-clipboard"))).isDir());
    ASSERT_TRUE(m_sandbox.run(QStringLiteral("Guest.vm/Automation/duvuzodovevav-linux-clipboard.sh")).finished);
    EXPECT_FALSE(m_automation.readGuestClipboard(m_bundle));

    ASSERT_TRUE(m_sandbox.run(agent).finished);
    const std::optional<VMClipboardMessage> relayed = m_automation.readGuestClipboard(m_bundle);
    ASSERT_TRUE(relayed);
    EXPECT_EQ(relayed->source, VMClipboardMessageSource::guest);
    EXPECT_EQ(ClipboardText::text(*relayed), QStringLiteral("copied in the guest"));
}

TEST_F(LinuxGuestScriptsTest, TheInstallerWithoutSystemdInstallsTheScriptsAndTheAutostartEntryAndSaysHowToStart)
{
    QDir().mkpath(m_sandbox.hostPath(QStringLiteral("home")));
    m_sandbox.addTool(QStringLiteral("sudo"), "[ \"$1\" = -u ] && shift 2\nexec \"$@\"");
    m_sandbox.addTool(QStringLiteral("getent"), "[ \"$2\" = tester ] && echo \"tester:x:1000:1000:Tester:$SANDBOX/home:/bin/bash\"");
    m_sandbox.addTool(QStringLiteral("chown"), "echo \"chown $*\" >>\"$SANDBOX/calls.log\"");

    const LinuxGuestSandbox::Result result = m_sandbox.run(
        QStringLiteral("Guest.vm/Automation/install-linux-tools.sh"), false, { { QStringLiteral("SUDO_USER"), QStringLiteral("tester") } });
    ASSERT_TRUE(result.finished);

    const QString installed = m_sandbox.installFolder();
    const QString output = QString::fromUtf8(result.output);
    EXPECT_TRUE(output.startsWith(QStringLiteral("==========================================\n Kestrum Tools for Linux — Installer\n"
                                                 "==========================================\n\nDetected init system: unknown\n")))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("Auto-start not configured (no systemd detected).\nStart manually:\n  sudo ") + installed
        + QStringLiteral("/duvuzodovevav-linux-agent.sh &\n")))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("Clipboard sync will start automatically for user: tester\n")));
    EXPECT_TRUE(output.endsWith(
        QStringLiteral("\nKestrum Tools for Linux installed successfully.\nDisk automation is active now. Clipboard sync starts "
                       "automatically when the desktop user logs in.\n")))
        << output.toStdString();

    const QString installedHere = m_sandbox.hostPath(QStringLiteral("usrlocal/libexec/duvuzodovevav"));
    EXPECT_EQ(read(installedHere + QStringLiteral("/duvuzodovevav-linux-agent.sh")), VMLinuxGuestToolsService::agentScript().toUtf8());
    EXPECT_EQ(permissions(installedHere + QStringLiteral("/duvuzodovevav-linux-clipboard.sh")) & 0111, mode_t(0111));
    const QString entry = m_sandbox.hostPath(QStringLiteral("home/.config/autostart/duvuzodovevav-clipboard.desktop"));
    EXPECT_EQ(read(entry), read(automation(QStringLiteral("duvuzodovevav-clipboard.desktop"))));
    EXPECT_TRUE(calls().startsWith(QStringLiteral("chown tester "))) << calls().toStdString();
}

} // namespace
