// SPDX-License-Identifier: MIT
#include "TestFiles.h"
#include "RecordingFakes.h"
#include "TestBundle.h"
#include "VMGuestAutomationService.h"

#include "ClipboardText.h"
#include "ExtendedAttributes.h"
#include "FileViewer.h"
#include "ItemAttributes.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "QtPrinters.h"
#include "SecurityScopedAccess.h"
#include "TemporaryHome.h"
#include "VMGuestAutomationHeartbeat.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

using TestFiles::read;
using TestFiles::write;

const QDateTime aMonthAgo = QDateTime(QDate(2026, 1, 10), QTime(8, 30, 15), Qt::UTC);

/**
 * One bundle, "Build Agent", in a temporary home, with the application's
 * resources in <home>/resources and a source tree in <home>/source.
 */
class VMGuestAutomationServiceTest : public ::testing::Test
{
protected:
    VMGuestAutomationServiceTest()
    {
        m_bundle = TestBundle(m_home.path() + QStringLiteral("/Build Agent.vm")).disk(128'000'000'000ULL);
        QDir().mkpath(m_bundle.bundleURL);
    }

    QString at(const QString &relative) const { return m_home.path() + QLatin1Char('/') + relative; }
    QString automation(const QString &relative = {}) const
    {
        return m_bundle.bundleURL + QStringLiteral("/Automation") + (relative.isEmpty() ? QString() : QLatin1Char('/') + relative);
    }
    QString resources(const QString &relative) const { return at(QStringLiteral("resources/") + relative); }

    static void link(const QString &target, const QString &path)
    {
        QDir().mkpath(QFileInfo(path).path());
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0) << path.toStdString();
    }
    static void setModified(const QString &path, time_t seconds) { ItemAttributes::setModificationTime(path, { seconds, 0 }); }
    static ItemAttributes::Status status(const QString &path) { return ItemAttributes::status(path); }
    template <typename Record> static QByteArray encoded(const Record &record) { return sharedJSONEncoder().encode(record); }
    static VMGuestAutomationRequest request()
    {
        return VMGuestAutomationRequest { QUuid::createUuid(), VMGuestAutomationCommand::expandSystemAPFSContainer, aMonthAgo, 1 };
    }
    static VMGuestAutomationResponse response(const QString &message)
    {
        return VMGuestAutomationResponse { QUuid::createUuid(), true, aMonthAgo, message };
    }

    QString bundleLog() const { return QString::fromUtf8(read(m_bundle.bundleURL + QStringLiteral("/Logs/duvuzodovevav.log"))); }

    TemporaryHome m_home;
    LoggingService m_logging;
    RecordingAccess m_access;
    RecordingFileViewer m_viewer;
    VMBundle m_bundle;
    VMGuestAutomationService m_service { m_logging, m_access, m_viewer,
        ApplicationResources(at(QStringLiteral("resources")), at(QStringLiteral("source"))) };
};

// ---- The folder -------------------------------------------------------------------------------

TEST_F(VMGuestAutomationServiceTest, AMissingFolderGetsTheWholeTreeMarkerReadmeAndPackageInOneCall)
{
    write(resources(QStringLiteral("DozizidOdezu.pkg")), "package bytes");
    setModified(resources(QStringLiteral("DozizidOdezu.pkg")), 1'700'000'000);

    m_service.ensureAutomationRoot(m_bundle);

    for (const char *folder : { "Requests", "Responses", "Clipboard" })
        EXPECT_TRUE(QFileInfo(automation(QString::fromLatin1(folder))).isDir()) << folder;
    EXPECT_TRUE(QFileInfo(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker"))).isFile());
    EXPECT_EQ(read(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker"))), QByteArray());
    EXPECT_EQ(read(automation(QStringLiteral("README.txt"))),
        "Kestrum Tools for Zovozu VM Lab\n"
        "\n"
        "VM: Build Agent\n"
        "\n"
        "This shared folder is reserved for the optional Kestrum Tools installer.\n"
        "Install Kestrum Tools inside the macOS VM once to enable automatic background tasks such as claiming newly added disk "
        "space on the next boot and syncing plain-text clipboard content with the host.\n"
        "\n"
        "Inside the guest:\n"
        "1. Open the shared folder named \"KestrumAutomation\".\n"
        "2. Open \"DozizidOdezu.pkg\" and complete the guest installer.\n"
        "3. Approve the administrator prompt inside the guest.\n"
        "\n"
        "After installation, Kestrum Tools will start automatically at guest boot/login so supported tasks and plain-text "
        "clipboard sync keep working in the background.");
    EXPECT_EQ(read(automation(QStringLiteral("DozizidOdezu.pkg"))), "package bytes");
    EXPECT_EQ(status(automation(QStringLiteral("DozizidOdezu.pkg"))).modificationTime.tv_sec, 1'700'000'000);
}

TEST_F(VMGuestAutomationServiceTest, TheReadmeTellsWhatToDoInsideTheVMsOwnGuestSystem)
{
    const struct {
        VMGuestOSType guest;
        QByteArray instructions;
    } cases[] = {
        {VMGuestOSType::linux,
         "This shared folder holds the optional Kestrum Tools for Linux.\n"
         "Install them inside the Linux VM once to enable automatic background tasks such as growing the root file system after its "
         "disk was enlarged and syncing plain-text clipboard content with the host.\n"
         "\n"
         "Inside the guest, in a terminal:\n"
         "1. Mount the shared folder tagged \"duvuzodovevav-shared\" unless the guest mounted it already:\n"
         "   sudo mkdir -p /mnt/duvuzodovevav && sudo mount -t virtiofs duvuzodovevav-shared /mnt/duvuzodovevav\n"
         "2. Run the installer:\n"
         "   sudo bash /mnt/duvuzodovevav/KestrumAutomation/install-linux-tools.sh\n"
         "\n"
         "After installation, the background agent starts at guest boot through systemd, and clipboard sync when the desktop user "
         "logs in. \"README-Linux.txt\" in this folder tells more: the clipboard tools it needs, starting without systemd, and where "
         "the logs are."},
        {VMGuestOSType::windows,
         "Kestrum Tools are not available for Windows guests, so there is nothing to install inside this VM: disk growth inside the "
         "guest and clipboard sync with the host are not automatic for it.\n"
         "This folder stays with the VM's bundle and is not shared into the Windows guest."},
    };
    // A bundle prepared by an older version carries the macOS text; the next preparation replaces it.
    m_service.ensureAutomationRoot(m_bundle);
    for (const auto &testCase : cases) {
        SCOPED_TRACE(displayName(testCase.guest).toStdString());
        m_bundle.metadata.guestOSType = testCase.guest;
        m_service.ensureAutomationRoot(m_bundle);
        const QByteArray readme = read(automation(QStringLiteral("README.txt")));
        EXPECT_EQ(readme, "Kestrum Tools for Zovozu VM Lab\n\nVM: Build Agent\n\n" + testCase.instructions);
        for (const char *foreign : {"macOS", "Mac", ".pkg"})
            EXPECT_FALSE(readme.contains(foreign)) << foreign;
    }
}

TEST_F(VMGuestAutomationServiceTest, AnUnchangedReadmeAndAMarkerWithTextAreLeftAlone)
{
    m_service.ensureAutomationRoot(m_bundle);
    write(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker")), "written by someone");
    setModified(automation(QStringLiteral("README.txt")), 1'600'000'000);

    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_EQ(status(automation(QStringLiteral("README.txt"))).modificationTime.tv_sec, 1'600'000'000);
    EXPECT_EQ(read(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker"))), "written by someone");

    m_bundle.metadata.name = QStringLiteral("Release Agent");
    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_TRUE(read(automation(QStringLiteral("README.txt"))).contains("\nVM: Release Agent\n"));

    // A README the guest swapped for a link is replaced, and the link's target is not written through.
    write(at(QStringLiteral("host.txt")), "host file");
    ASSERT_TRUE(QFile::remove(automation(QStringLiteral("README.txt"))));
    link(at(QStringLiteral("host.txt")), automation(QStringLiteral("README.txt")));
    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_FALSE(QFileInfo(automation(QStringLiteral("README.txt"))).isSymLink());
    EXPECT_EQ(read(at(QStringLiteral("host.txt"))), "host file");
}

TEST_F(VMGuestAutomationServiceTest, TheStagedPackageIsReplacedOnlyWhenItsSizeOrDateDiffers)
{
    const QString source = resources(QStringLiteral("GuestTools/DozizidOdezu.pkg"));
    const QString staged = automation(QStringLiteral("DozizidOdezu.pkg"));
    write(source, "version 1");
    setModified(source, 1'700'000'000);
    m_service.ensureAutomationRoot(m_bundle);
    ASSERT_EQ(read(staged), "version 1");

    // Equal size and date: the copy counts as current, whatever is in it.
    write(staged, "edited  1");
    setModified(staged, 1'700'000'000);
    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_EQ(read(staged), "edited  1");

    // Same size, other date.
    setModified(staged, 1'700'000'001);
    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_EQ(read(staged), "version 1");

    // Same date, other size.
    write(source, "version 1.1");
    setModified(source, 1'700'000'000);
    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_EQ(read(staged), "version 1.1");

    // A package at the top of the resources wins over the one in GuestTools.
    write(resources(QStringLiteral("DozizidOdezu.pkg")), "top level");
    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_EQ(read(staged), "top level");
}

TEST_F(VMGuestAutomationServiceTest, WithoutAPackageAnywhereAStagedOneIsDeletedAndADeveloperBuildIsUsedWhenPresent)
{
    write(automation(QStringLiteral("DozizidOdezu.pkg/Contents/old")), "an old folder package");
    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_FALSE(QFileInfo::exists(automation(QStringLiteral("DozizidOdezu.pkg"))));

    write(at(QStringLiteral("source/guest-tools/.build-artifacts/DozizidOdezu.pkg")), "developer build");
    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_EQ(read(automation(QStringLiteral("DozizidOdezu.pkg"))), "developer build");
}

TEST_F(VMGuestAutomationServiceTest, FilesOfTheOlderToolsAreDeletedAndNothingElse)
{
    const QStringList legacy { QStringLiteral("Install Kestrum Tools.command"), QStringLiteral("duvuzodovevav-guest-agent.sh"),
        QStringLiteral("lab.zovozu.guestagent.plist"), QStringLiteral("duvuzodovevav-clipboard-agent.sh"),
        QStringLiteral("lab.zovozu.clipboardagent.plist") };
    for (const QString &name : legacy)
        write(automation(name), "old");
    write(automation(QStringLiteral("notes.txt")), "the user's");
    write(at(QStringLiteral("outside/keep")), "outside");
    QFile::remove(automation(legacy.first()));
    link(at(QStringLiteral("outside")), automation(legacy.first()));

    m_service.ensureAutomationRoot(m_bundle);

    for (const QString &name : legacy)
        EXPECT_FALSE(QFileInfo(automation(name)).exists() || QFileInfo(automation(name)).isSymLink()) << name.toStdString();
    EXPECT_EQ(read(automation(QStringLiteral("notes.txt"))), "the user's");
    EXPECT_EQ(read(at(QStringLiteral("outside/keep"))), "outside");
}

TEST_F(VMGuestAutomationServiceTest, TheQuarantineMarkIsStrippedFromWhatTheHostKeepsThereButNotFromWhatTheGuestWrote)
{
    const auto mark = [](const QString &path) {
        return ::lsetxattr(QFile::encodeName(path).constData(), ExtendedAttributes::quarantineAttribute, "0081", 4, 0) == 0;
    };
    const auto isMarked = [](const QString &path) {
        return ::lgetxattr(QFile::encodeName(path).constData(), ExtendedAttributes::quarantineAttribute, nullptr, 0) >= 0;
    };
    write(resources(QStringLiteral("DozizidOdezu.pkg")), "package");
    m_service.ensureAutomationRoot(m_bundle);
    m_service.writeHostClipboard(QStringLiteral("copied"), m_bundle);
    const QStringList host{automation(), automation(QStringLiteral("Requests")), automation(QStringLiteral("Responses")),
                           automation(QStringLiteral("Clipboard")), automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker")),
                           automation(QStringLiteral("README.txt")), automation(QStringLiteral("DozizidOdezu.pkg")),
                           automation(QStringLiteral("Clipboard/HostClipboard.json"))};
    const QStringList guest{automation(QStringLiteral("Responses/sub/deep.json")), automation(QStringLiteral("Responses/sub")),
                            automation(QStringLiteral("notes.txt")), automation(QStringLiteral(".hidden"))};
    for (const QString &path : {guest[0], guest[2], guest[3]})
        write(path, "{}");
    if (!mark(guest[0]))
        GTEST_SKIP() << "the temporary folder's file system keeps no user attributes";
    for (const QString &path : host + guest)
        ASSERT_TRUE(mark(path)) << path.toStdString();

    m_service.ensureAutomationRoot(m_bundle);

    for (const QString &path : host)
        EXPECT_FALSE(isMarked(path)) << path.toStdString();
    // The guest's items are not visited at all, so what the guest wrote costs the host nothing.
    for (const QString &path : guest)
        EXPECT_TRUE(isMarked(path)) << path.toStdString();
}

TEST_F(VMGuestAutomationServiceTest, RevealShowsThePackageOrElseTheFolder)
{
    m_service.revealToolsPackage(m_bundle, {});
    write(resources(QStringLiteral("DozizidOdezu.pkg")), "package");
    m_service.revealToolsPackage(m_bundle, {});

    EXPECT_EQ(m_viewer.revealed, (QStringList { automation(), automation(QStringLiteral("DozizidOdezu.pkg")) }));
    EXPECT_EQ(m_access.started, m_access.stopped);
}

// ---- Requests and status ----------------------------------------------------------------------

TEST_F(VMGuestAutomationServiceTest, QueueingReplacesEveryDecodablePendingRequestAndKeepsTheRest)
{
    write(automation(QStringLiteral("Requests/first.json")), encoded(request()));
    write(automation(QStringLiteral("Requests/second.json")), encoded(request()));
    write(automation(QStringLiteral("Requests/broken.json")), "{\"command\": \"expandsystemapfscontainer\"}");
    write(automation(QStringLiteral("Requests/notes.txt")), encoded(request()));

    const VMGuestAutomationQueueResult queued = m_service.enqueueRequest(m_bundle);

    const QString id = queued.request.id.toString(QUuid::WithoutBraces).toUpper();
    QStringList left = QDir(automation(QStringLiteral("Requests"))).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left, (QStringList { id + QStringLiteral(".json"), QStringLiteral("broken.json"), QStringLiteral("notes.txt") }));
    EXPECT_EQ(
        sharedJSONDecoder().decode<VMGuestAutomationRequest>(read(automation(QStringLiteral("Requests/") + id + QStringLiteral(".json")))),
        queued.request);
    EXPECT_EQ(queued.request.command, VMGuestAutomationCommand::expandSystemAPFSContainer);
    EXPECT_EQ(queued.request.requestedDiskSizeBytes, 128'000'000'000ULL);
    EXPECT_LE(qAbs(queued.request.createdAt.secsTo(QDateTime::currentDateTimeUtc())), 5);
    EXPECT_EQ(queued.availability, VMGuestAutomationAvailability::notInstalled);
    EXPECT_EQ(m_service.agentStatus(m_bundle).pendingRequestCount, 2);
    EXPECT_TRUE(bundleLog().contains(
        QStringLiteral("[GuestAutomation] Queued guest automation request ") + id + QStringLiteral(" for Build Agent")));
    EXPECT_FALSE(m_access.started.isEmpty());
    EXPECT_EQ(m_access.started, m_access.stopped);
}

TEST_F(VMGuestAutomationServiceTest, ARequestsLinkToElsewhereIsReplacedAndItsTargetLeftAlone)
{
    const QByteArray pending = encoded(request());
    write(at(QStringLiteral("elsewhere/pending.json")), pending);
    QDir().mkpath(automation());
    link(at(QStringLiteral("elsewhere")), automation(QStringLiteral("Requests")));

    const VMGuestAutomationQueueResult queued = m_service.enqueueRequest(m_bundle);

    EXPECT_FALSE(QFileInfo(automation(QStringLiteral("Requests"))).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(
        automation(QStringLiteral("Requests/")) + queued.request.id.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".json")));
    EXPECT_EQ(QDir(at(QStringLiteral("elsewhere"))).entryList(QDir::Files), QStringList { QStringLiteral("pending.json") });
    EXPECT_EQ(read(at(QStringLiteral("elsewhere/pending.json"))), pending);
}

TEST_F(VMGuestAutomationServiceTest, AnOldHeartbeatStillMeansInstalled)
{
    write(automation(QStringLiteral("GuestAgentStatus.json")),
        encoded(VMGuestAutomationHeartbeat { QStringLiteral("3"), aMonthAgo, QStringLiteral("build-agent") }));

    const VMGuestAutomationStatusSnapshot snapshot = m_service.agentStatus(m_bundle);

    EXPECT_EQ(snapshot.availability, VMGuestAutomationAvailability::installed);
    EXPECT_EQ(snapshot.reportedVersion, QStringLiteral("3"));
    EXPECT_EQ(snapshot.lastSeenAt, aMonthAgo);
    EXPECT_EQ(snapshot.pendingRequestCount, 0);
    EXPECT_EQ(snapshot.latestResponse, std::nullopt);
    EXPECT_EQ(m_access.started, m_access.stopped);
}

TEST_F(VMGuestAutomationServiceTest, TheNewestResponseByModificationDateIsReportedEvenWhenItCannotBeRead)
{
    const VMGuestAutomationResponse older = response(QStringLiteral("older"));
    const VMGuestAutomationResponse newer = response(QStringLiteral("newer"));
    write(automation(QStringLiteral("Responses/A.json")), encoded(newer));
    write(automation(QStringLiteral("Responses/B.json")), encoded(older));
    write(automation(QStringLiteral("Responses/C.txt")), encoded(older));
    setModified(automation(QStringLiteral("Responses/A.json")), 1'700'000'200);
    setModified(automation(QStringLiteral("Responses/B.json")), 1'700'000'100);
    setModified(automation(QStringLiteral("Responses/C.txt")), 1'700'000'300);

    EXPECT_EQ(m_service.agentStatus(m_bundle).latestResponse, newer);

    write(automation(QStringLiteral("Responses/A.json")), "{\"success\": true}");
    setModified(automation(QStringLiteral("Responses/A.json")), 1'700'000'200);
    EXPECT_EQ(m_service.agentStatus(m_bundle).latestResponse, std::nullopt);
}

TEST_F(VMGuestAutomationServiceTest, WhatAHostileGuestPutsInTheFolderReadsAsAbsent)
{
    // A status file linked to a valid heartbeat elsewhere on the host is not followed.
    write(
        at(QStringLiteral("elsewhere/status.json")), encoded(VMGuestAutomationHeartbeat { QStringLiteral("3"), aMonthAgo, std::nullopt }));
    link(at(QStringLiteral("elsewhere/status.json")), automation(QStringLiteral("GuestAgentStatus.json")));
    // The newest response is 2 GiB of holes: refused by its size, never read.
    write(automation(QStringLiteral("Responses/old.json")), encoded(response(QStringLiteral("old"))));
    setModified(automation(QStringLiteral("Responses/old.json")), 1'700'000'000);
    {
        QFile sparse(automation(QStringLiteral("Responses/huge.json")));
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        ASSERT_TRUE(sparse.resize(qint64(2) * 1024 * 1024 * 1024));
    }
    ASSERT_TRUE(QDir().mkpath(automation(QStringLiteral("Requests"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(automation(QStringLiteral("Requests/fifo.json"))).constData(), 0600), 0);

    QElapsedTimer timer;
    timer.start();
    const VMGuestAutomationStatusSnapshot snapshot = m_service.agentStatus(m_bundle);

    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(snapshot.availability, VMGuestAutomationAvailability::notInstalled);
    EXPECT_EQ(snapshot.latestResponse, std::nullopt);
    EXPECT_EQ(snapshot.pendingRequestCount, 1);

    // Queueing leaves the FIFO where it is, unread.
    m_service.enqueueRequest(m_bundle);
    EXPECT_EQ(m_service.agentStatus(m_bundle).pendingRequestCount, 2);
}

// ---- Clipboard ---------------------------------------------------------------------------------

TEST_F(VMGuestAutomationServiceTest, TheSameHostTextIsWrittenOnce)
{
    const QString hostFile = automation(QStringLiteral("Clipboard/HostClipboard.json"));

    m_service.writeHostClipboard(QStringLiteral("grüße ✓"), m_bundle);
    const auto first = sharedJSONDecoder().decode<VMClipboardMessage>(read(hostFile));
    EXPECT_EQ(first.source, VMClipboardMessageSource::host);
    EXPECT_EQ(first.textBase64, QString::fromLatin1(QStringLiteral("grüße ✓").toUtf8().toBase64()));
    setModified(hostFile, 1'600'000'000);

    m_service.writeHostClipboard(QStringLiteral("grüße ✓"), m_bundle);
    EXPECT_EQ(status(hostFile).modificationTime.tv_sec, 1'600'000'000);
    EXPECT_EQ(sharedJSONDecoder().decode<VMClipboardMessage>(read(hostFile)).id, first.id);

    m_service.writeHostClipboard(QStringLiteral("other"), m_bundle);
    const auto second = sharedJSONDecoder().decode<VMClipboardMessage>(read(hostFile));
    EXPECT_NE(second.id, first.id);
    EXPECT_EQ(ClipboardText::text(second), QStringLiteral("other"));
}

TEST_F(VMGuestAutomationServiceTest, AClipboardLinkToElsewhereIsReplacedNotWrittenThrough)
{
    QDir().mkpath(at(QStringLiteral("elsewhere")));
    QDir().mkpath(automation());
    link(at(QStringLiteral("elsewhere")), automation(QStringLiteral("Clipboard")));

    m_service.writeHostClipboard(QStringLiteral("text"), m_bundle);

    EXPECT_FALSE(QFileInfo(automation(QStringLiteral("Clipboard"))).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(automation(QStringLiteral("Clipboard/HostClipboard.json"))));
    EXPECT_TRUE(QDir(at(QStringLiteral("elsewhere"))).isEmpty());
}

TEST_F(VMGuestAutomationServiceTest, TheGuestClipboardIsReadWhenThereAndAnythingOddIsAnError)
{
    EXPECT_EQ(m_service.readGuestClipboard(m_bundle), std::nullopt);
    m_service.ensureAutomationRoot(m_bundle);
    EXPECT_EQ(m_service.readGuestClipboard(m_bundle), std::nullopt);

    const QString guestFile = automation(QStringLiteral("Clipboard/GuestClipboard.json"));
    const VMClipboardMessage message { QUuid::createUuid(), VMClipboardMessageSource::guest, aMonthAgo, QStringLiteral("aGVsbG8=") };
    write(guestFile, encoded(message));
    EXPECT_EQ(m_service.readGuestClipboard(m_bundle), message);

    write(guestFile, "{\"id\": \"not a uuid\"}");
    EXPECT_ANY_THROW(m_service.readGuestClipboard(m_bundle));

    // A FIFO would block a plain open until a writer came; here it fails at once.
    ASSERT_TRUE(QFile::remove(guestFile));
    ASSERT_EQ(::mkfifo(QFile::encodeName(guestFile).constData(), 0600), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(m_service.readGuestClipboard(m_bundle), PlatformError);
    EXPECT_LT(timer.elapsed(), 2000);
}

} // namespace
