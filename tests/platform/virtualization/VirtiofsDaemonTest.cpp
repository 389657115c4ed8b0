// SPDX-License-Identifier: MIT
#include "VirtiofsDaemon.h"

#include "HostProfile.h"
#include "QemuRuntimeDirectory.h"
#include "QtPrinters.h"
#include "TaskRunner.h"
#include "VirtualizationError.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;

namespace {

VirtiofsDaemon::Launch launchFor(DirectoryShare share)
{
    return {QStringLiteral("/usr/bin/unshare"), QStringLiteral("/usr/lib/qemu/virtiofsd"), QStringLiteral("/run/z/a"),
            QStringLiteral("/run/z/a/fs0.sock"), QStringLiteral("/run/z/a/fs0"), std::move(share), QStringLiteral("/vm/Logs/virtiofsd.log")};
}

TEST(VirtiofsDaemonArgumentsTest, PassesEveryPathAsAParameterNeverInTheScript)
{
    MultipleDirectoryShare share;
    share.insert(QStringLiteral("Projects"), {QStringLiteral("/home/me/Pro'jects"), false});
    share.insert(QStringLiteral("Music; rm -rf"), {QStringLiteral("/home/me/Music"), true});
    const QStringList arguments = VirtiofsDaemon::arguments(launchFor(share));

    ASSERT_GE(arguments.size(), 5);
    EXPECT_EQ(arguments.mid(0, 3), QStringList({QStringLiteral("-Urm"), QStringLiteral("sh"), QStringLiteral("-c")}));
    EXPECT_FALSE(arguments[3].contains(QStringLiteral("/home/me")));
    EXPECT_EQ(arguments.mid(4), QStringList({QStringLiteral("sh"), QStringLiteral("/run/z/a"), QStringLiteral("/run/z/a/fs0"),
                                             QStringLiteral("/run/z/a/fs0.sock"), QStringLiteral("/usr/lib/qemu/virtiofsd"), QStringLiteral("no"),
                                             QStringLiteral("multiple"), QString(), QStringLiteral("Projects"), QStringLiteral("/home/me/Pro'jects"),
                                             QStringLiteral("rw"), QStringLiteral("Music; rm -rf"), QStringLiteral("/home/me/Music"),
                                             QStringLiteral("ro")}));

    VirtiofsDaemon::Launch lasting = launchFor(share);
    lasting.treeFolder = QStringLiteral("/vm/.SharedFolderTree");
    lasting.verifyHandles = true;
    EXPECT_EQ(VirtiofsDaemon::arguments(lasting).mid(9, 4),
              QStringList({QStringLiteral("yes"), QStringLiteral("multiple"), QStringLiteral("/vm/.SharedFolderTree"), QStringLiteral("Projects")}));

    const QStringList single = VirtiofsDaemon::arguments(launchFor(SingleDirectoryShare{{QStringLiteral("/home/me/Music"), true}}));
    EXPECT_EQ(single.mid(9), QStringList({QStringLiteral("no"), QStringLiteral("single"), QString(), QStringLiteral("/home/me/Music"), QStringLiteral("ro")}));
}

/*
 * Handles are checked only where they can be: on a tree that lasts, and on
 * file systems that give them. A share of a folder without them (procfs
 * here; FUSE mounts and some disk formats alike) is served unchecked rather
 * than made unreachable for the restored guest.
 */
TEST(VirtiofsDaemonHandlesTest, AreCheckedOnlyOnALastingTreeWhoseFoldersAllGiveHandles)
{
    QTemporaryDir directory;
    const QString folder = directory.path();
    const auto multiple = [](const QStringList &paths) {
        MultipleDirectoryShare share;
        for (const QString &path : paths)
            share.insert(QFileInfo(path).fileName() + QString::number(share.entries().size()), {path, false});
        return share;
    };
    const struct {
        const char *name;
        DirectoryShare share;
        QString tree;
        bool checked;
    } cases[] = {
        {"a single folder", SingleDirectoryShare{{folder, false}}, QString(), true},
        {"a single folder without handles", SingleDirectoryShare{{QStringLiteral("/proc"), false}}, QString(), false},
        {"folders on a lasting tree", multiple({folder, folder}), folder, true},
        {"folders on a fresh tree", multiple({folder}), QString(), false},
        {"one folder without handles", multiple({folder, QStringLiteral("/proc")}), folder, false},
        {"a tree without handles", multiple({folder}), QStringLiteral("/proc"), false},
        {"a folder that is gone", multiple({folder + QStringLiteral("/gone")}), folder, false},
    };
    for (const auto &[name, share, tree, checked] : cases) {
        VirtiofsDaemon::Launch launch = launchFor(share);
        launch.treeFolder = tree;
        EXPECT_EQ(VirtiofsDaemon::canVerifyHandles(launch), checked) << name;
    }
}

TEST(VirtiofsDaemonCapabilitiesTest, OnlyADaemonThatListsPrecopyMigrationMigrates)
{
    const struct {
        const char *answer;
        bool migrates;
    } cases[] = {
        {R"({"type":"fs","features":["migrate-precopy","separate-options"]})", true},
        {R"({"type":"fs"})", false}, // QEMU 7.2's C daemon
        {R"({"type":"fs","features":["separate-options"]})", false},
        {R"({"type":"fs","features":"migrate-precopy"})", false},
        {"migrate-precopy", false},
        {"", false},
    };
    for (const auto &[answer, migrates] : cases)
        EXPECT_EQ(VirtiofsDaemon::listsPrecopyMigration(QByteArray(answer)), migrates) << answer;
}

TEST(VirtiofsDaemonLastWordsTest, AreWhatTheDaemonSaidAsItEndedNeverANoteItWroteAlongTheWay)
{
    const QString limit = QStringLiteral("[2026-12-11T16:33:52Z WARN  virtiofsd::limits] Failure when trying to set the limit to 1000000, the hard "
                                         "limit (20000) of open file descriptors is used instead.");
    const QString waiting = QStringLiteral("[2026-12-11T16:33:52Z INFO  virtiofsd] Waiting for vhost-user socket connection...");
    const QString error = QStringLiteral("[2026-12-11T16:40:01Z ERROR virtiofsd] Error entering sandbox: mount failed");
    const QString panic = QStringLiteral("thread 'main' panicked at src/main.rs:10:5: index out of bounds");
    const struct {
        const char *what;
        QString log;
        QString words;
    } cases[] = {
        {"killed after its start notes", limit + QLatin1Char('\n') + waiting + QLatin1Char('\n'), QString()},
        {"killed after a debug note", QStringLiteral("[2026-12-11T16:40:01Z DEBUG virtiofsd::passthrough] lookup\n"), QString()},
        {"an error as it ends", limit + QLatin1Char('\n') + error + QLatin1Char('\n'), error},
        {"a panic", waiting + QLatin1Char('\n') + panic + QLatin1Char('\n'), panic},
        {"a note after its error", error + QLatin1Char('\n') + waiting, error},
        {"nothing", QString(), QString()},
    };
    for (const auto &testCase : cases)
        EXPECT_EQ(VirtiofsDaemon::lastWords(testCase.log), testCase.words) << testCase.what;
}

/// A real daemon; needs virtiofsd and a kernel that lets ordinary users make user namespaces.
class VirtiofsDaemonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (m_profile.virtiofsdProgram.isEmpty() || m_profile.unshareProgram.isEmpty())
            GTEST_SKIP() << "virtiofsd (built by scripts/dev.sh) or unshare (util-linux) is not installed";
        if (QProcess::execute(m_profile.unshareProgram, {QStringLiteral("-Urm"), QStringLiteral("true")}) != 0)
            GTEST_SKIP() << "this host does not permit `unshare -Urm`, so shared folders cannot be served here";
        m_runtime.emplace(m_directory.path() + QStringLiteral("/run"));
        QDir().mkdir(m_runtime->fileSystemRootPath(0));
    }

    VirtiofsDaemon::Launch launch(DirectoryShare share) const
    {
        return {m_profile.unshareProgram, m_profile.virtiofsdProgram, m_runtime->path(), m_runtime->fileSystemSocketPath(0),
                m_runtime->fileSystemRootPath(0), std::move(share), m_directory.path() + QStringLiteral("/virtiofsd.log")};
    }

    QString folder(const QString &name) const
    {
        const QString path = m_directory.path() + QLatin1Char('/') + name;
        QDir().mkpath(path);
        return path;
    }

    HostProfile m_profile = HostProfile::detect();
    QTemporaryDir m_directory;
    std::optional<QemuRuntimeDirectory> m_runtime;
};

TEST_F(VirtiofsDaemonTest, ServesSeveralFoldersOnItsSocketUntilItIsDropped)
{
    MultipleDirectoryShare share;
    share.insert(QStringLiteral("Projects"), {folder(QStringLiteral("Projects")), false});
    share.insert(QStringLiteral("Read Only"), {folder(QStringLiteral("Music")), true});
    auto daemon = std::make_unique<VirtiofsDaemon>();

    TaskRunner::run(daemon->start(launch(share)));
    EXPECT_TRUE(QFileInfo(m_runtime->fileSystemSocketPath(0)).exists());
    EXPECT_TRUE(daemon->process().isRunning());
    const qint64 pid = daemon->process().processId();

    daemon.reset();
    EXPECT_EQ(::kill(pid_t(pid), 0), -1);
}

TEST_F(VirtiofsDaemonTest, ServesAMultipleShareFromItsLastingTreeFolderAndChecksRestoredFilesAgainstIt)
{
    MultipleDirectoryShare share;
    share.insert(QStringLiteral("KestrumAutomation"), {folder(QStringLiteral("Automation")), false});
    share.insert(QStringLiteral("Read Only"), {folder(QStringLiteral("Music")), true});
    VirtiofsDaemon::Launch lasting = launch(share);
    lasting.treeFolder = m_directory.path() + QStringLiteral("/Guest.vm/.SharedFolderTree");
    QDir().mkpath(m_directory.path() + QStringLiteral("/Guest.vm"));
    VirtiofsDaemon daemon;

    TaskRunner::run(daemon.start(lasting));

    EXPECT_EQ(QDir(lasting.treeFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              QStringList({QStringLiteral("KestrumAutomation"), QStringLiteral("Read Only")}));
    EXPECT_TRUE(QDir(lasting.treeFolder + QStringLiteral("/KestrumAutomation")).isEmpty()) << "the share is bound in the daemon's namespace only";
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(daemon.process().processId()));
    ASSERT_TRUE(commandLine.open(QIODevice::ReadOnly));
    const QList<QByteArray> arguments = commandLine.readAll().split('\0');
    EXPECT_TRUE(arguments.contains("--migration-verify-handles")) << commandLine.fileName().toStdString();

    VirtiofsDaemon::Launch other = launch(share);
    other.socketPath = m_runtime->fileSystemSocketPath(1);
    other.rootPath = m_runtime->fileSystemRootPath(1);
    QDir().mkdir(other.rootPath);
    VirtiofsDaemon fresh;
    TaskRunner::run(fresh.start(other));
    QFile freshCommandLine(QStringLiteral("/proc/%1/cmdline").arg(fresh.process().processId()));
    ASSERT_TRUE(freshCommandLine.open(QIODevice::ReadOnly));
    EXPECT_FALSE(freshCommandLine.readAll().split('\0').contains("--migration-verify-handles")) << "a fresh tree has nothing to check against";
}

TEST_F(VirtiofsDaemonTest, TheInstalledDaemonMigratesAndAProgramThatDoesNotAnswerDoesNot)
{
    EXPECT_TRUE(TaskRunner::run(VirtiofsDaemon::migratesState(m_profile.virtiofsdProgram)));
    EXPECT_FALSE(TaskRunner::run(VirtiofsDaemon::migratesState(QStringLiteral("/bin/false"))));
    EXPECT_FALSE(TaskRunner::run(VirtiofsDaemon::migratesState(m_directory.path() + QStringLiteral("/missing"))));
}

TEST_F(VirtiofsDaemonTest, AFolderThatCannotBeMountedFailsWithWhatTheDaemonSaid)
{
    VirtiofsDaemon daemon;
    try {
        TaskRunner::run(daemon.start(launch(SingleDirectoryShare{{m_directory.path() + QStringLiteral("/gone"), false}})));
        ADD_FAILURE() << "a missing folder was served";
    } catch (const VirtualizationError &error) {
        EXPECT_TRUE(error.localizedDescription().startsWith(QStringLiteral("The shared-folder server did not start: "))) << error.what();
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("gone"))) << error.what();
    }
}

} // namespace
