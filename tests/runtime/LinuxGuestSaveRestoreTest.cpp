// SPDX-License-Identifier: MIT
#include "VirtualMachineCoordinator.h"

#include "CoordinatorIntegrationFixture.h"
#include "DiskImageService.h"
#include "FileMeasurements.h"
#include "HostNetworkService.h"
#include "HostProfile.h"
#include "MachineIdentityService.h"
#include "QemuVirtualMachineFactory.h"
#include "RuntimeIntegrationHelpers.h"
#include "SparseCopy.h"
#include "TaskWaiter.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSessionTable.h"
#include "VMCloneService.h"
#include "VMConfigurationBuilder.h"
#include "VMGuestAutomationService.h"
#include "VMLinuxGuestToolsService.h"
#include "VMLinuxService.h"
#include "VMRuntimeService.h"
#include "VMSaveRestoreService.h"
#include "VMSharedFolderService.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <exception>
#include <memory>
#include <sys/mount.h>

using namespace std::chrono_literals;

/*
 * Boots the small Linux guest that the set-up builds (scripts/dev.sh
 * linux-test-guest) as a Linux bundle through the coordinator, the way the
 * application runs it: the automation folder shared through virtiofsd, the
 * machine saved, stopped and restored from its state file. The guest mounts
 * the share and appends the line number to four files in
 * Automation/LinuxTestGuest once a second, through descriptors it opened at
 * boot; a write that fails is listed in errors.txt there.
 */
namespace {

constexpr quint64 mebibyte = quint64(1) << 20;
constexpr quint64 gibibyte = quint64(1) << 30;
/// Booting under emulation takes some 20 s on an idle machine; a loaded one takes longer.
constexpr auto bootTimeout = 240s;
constexpr auto guestTimeout = 180s;

using RuntimeIntegration::describe;
using RuntimeIntegration::keep;

QString testGuestImage()
{
    const QByteArray chosen = qgetenv("ZOVOZU_LINUX_TEST_GUEST");
    return chosen.isEmpty() ? QStringLiteral(ZOVOZU_LINUX_TEST_GUEST_IMAGE) : QFile::decodeName(chosen);
}

/// The numbers a counter file holds, one a line; -1 for a line that is no number.
QList<int> numbersIn(const QString &text)
{
    QList<int> numbers;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = line.toInt(&ok);
        numbers << (ok ? number : -1);
    }
    return numbers;
}

/// 1, 2, … n without a gap or a repeat.
bool countsFromOne(const QList<int> &numbers)
{
    for (qsizetype index = 0; index < numbers.size(); ++index) {
        if (numbers[index] != int(index) + 1)
            return false;
    }
    return true;
}

/**
 * A file system with no room left at `folder`, as on a full disk: a tiny
 * tmpfs mounted over it, its last inode and block taken by a filler file;
 * unmounted again when this goes. Mounting needs root (isFull() says).
 */
class FullFileSystem
{
public:
    explicit FullFileSystem(const QString &folder)
        : m_folder(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=16k,nr_inodes=2,mode=0700") == 0;
        QFile filler(folder + QStringLiteral("/filler"));
        if (!m_mounted || !filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    ~FullFileSystem()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    FullFileSystem(const FullFileSystem &) = delete;
    FullFileSystem &operator=(const FullFileSystem &) = delete;

    bool isFull() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

class LinuxGuestSaveRestoreTest : public CoordinatorIntegrationTest
{
protected:
    void SetUp() override
    {
        const bool required = !qEnvironmentVariableIsEmpty("ZOVOZU_REQUIRE_LINUX_TEST_GUEST");
        HostProfile profile = HostProfile::detect();
        if (profile.qemuProgram.isEmpty() || profile.firmwareCodePath.isEmpty() || profile.firmwareVariablesTemplatePath.isEmpty())
            GTEST_SKIP() << "QEMU or its AArch64 firmware is not installed (qemu-system-arm, qemu-efi-aarch64)";
        if (profile.virtiofsdProgram.isEmpty() || profile.unshareProgram.isEmpty())
            GTEST_SKIP() << "virtiofsd (built by scripts/dev.sh) or unshare (util-linux) is not installed";
        if (QProcess::execute(profile.unshareProgram, {QStringLiteral("-Urm"), QStringLiteral("true")}) != 0)
            GTEST_SKIP() << "this host does not permit `unshare -Urm`, so no folder can be shared";
        if (!QFileInfo(testGuestImage()).isFile()) {
            const std::string missing = "the Linux test guest " + testGuestImage().toStdString() + " is missing; scripts/dev.sh linux-test-guest builds it";
            if (required)
                FAIL() << missing;
            GTEST_SKIP() << missing;
        }
        startServices(profile);

        addLinuxBundle(QStringLiteral("Busybox"), VMHardwareProfile{1, 2 * gibibyte, 64 * mebibyte, 1024, 768, 80},
                       [](const QString &disk) { SparseCopy::copyFile(testGuestImage(), disk); });
    }

    QString guestFile(const QString &name) const { return m_bundle.bundleURL + QStringLiteral("/Automation/LinuxTestGuest/") + name; }
    QString console() const { return read(m_bundle.bundleURL + QStringLiteral("/Logs/console.log")); }
    QList<int> counter(int index) const { return numbersIn(read(guestFile(QStringLiteral("counter-%1.txt").arg(index)))); }
    int lastLine(int index) const
    {
        const QList<int> numbers = counter(index);
        return numbers.isEmpty() ? 0 : numbers.constLast();
    }

    /// Waits until the guest has written line `number` to counter-1.txt.
    bool waitForLine(int number, std::chrono::milliseconds timeout) const
    {
        return QTest::qWaitFor([&] { return lastLine(1) >= number; }, int(timeout.count()));
    }

    static void run(QCoro::Task<> task, std::chrono::milliseconds timeout = 180s)
    {
        const std::exception_ptr failure = TaskWaiter::failureOf(std::move(task), timeout);
        ASSERT_FALSE(failure) << describe(failure).toStdString();
    }

    /// Boots the guest and waits for its third line.
    void boot()
    {
        run(keep(m_coordinator->start(m_bundle.id(), false), m_session));
        ASSERT_TRUE(m_session);
        ASSERT_TRUE(waitForLine(3, bootTimeout)) << console().toStdString();
    }

    /// Saves the running guest and stops it; returns the last line it wrote.
    int saveAndStop()
    {
        run(m_coordinator->recordSavedState(m_bundle.id()));
        const int saved = lastLine(1);
        run(m_runtime->stop(*m_session));
        m_coordinator->finalizeStoppedSession(*m_session);
        EXPECT_EQ(lastLine(1), saved) << "a saved guest writes nothing";
        return saved;
    }

    /// Restores the saved guest, resumes it and waits for three more lines.
    void restoreAndResume(int saved)
    {
        m_session.reset();
        run(keep(m_coordinator->start(m_bundle.id(), true), m_session));
        ASSERT_TRUE(m_session) << read(m_bundle.bundleURL + QStringLiteral("/Logs/qemu.log")).right(3000).toStdString();
        ASSERT_EQ(m_session->runtimeState(), VMRuntimeState::paused);
        run(m_runtime->resume(*m_session));
        m_coordinator->finalizeStoppedSession(*m_session);
        ASSERT_TRUE(waitForLine(saved + 3, guestTimeout)) << console().toStdString();
    }

    std::shared_ptr<VirtualMachineSession> m_session;
};

TEST_F(LinuxGuestSaveRestoreTest, AGuestWritesOnThroughItsOpenFilesAcrossSavesWithAndWithoutAGibibyteOfMemoryInUse)
{
    boot();
    if (HasFatalFailure())
        return;

    const int firstSave = saveAndStop();
    restoreAndResume(firstSave);
    if (HasFatalFailure())
        return;

    // The guest fills a gibibyte of its memory with a pattern that is not zeros and says when it holds it.
    write(guestFile(QStringLiteral("fill-memory")), "1024\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return read(guestFile(QStringLiteral("memory-filled"))).trimmed() == QLatin1String("1024"); },
                                int(std::chrono::milliseconds(guestTimeout).count())))
        << console().toStdString();
    run(m_coordinator->recordSavedState(m_bundle.id()));
    EXPECT_GE(store().bundle(m_bundle.id())->metadata.savedState->fileSizeBytes.value_or(0), gibibyte) << "the state holds the filled memory";
    const int secondSave = lastLine(1);
    run(m_runtime->stop(*m_session));
    m_coordinator->finalizeStoppedSession(*m_session);
    restoreAndResume(secondSave);
    if (HasFatalFailure())
        return;

    for (int index = 1; index <= 4; ++index) {
        const QList<int> numbers = counter(index);
        EXPECT_TRUE(countsFromOne(numbers)) << "counter-" << index << ": no line is lost or repeated, got " << numbers.size() << " lines, last "
                                            << (numbers.isEmpty() ? 0 : numbers.constLast());
        EXPECT_GT(numbers.size(), secondSave);
    }
    EXPECT_FALSE(QFileInfo::exists(guestFile(QStringLiteral("errors.txt")))) << read(guestFile(QStringLiteral("errors.txt"))).toStdString();
}

/*
 * While the state is saved the host deletes counter-2.txt, renames
 * counter-3.txt and replaces counter-4.txt with a file of its own. After the
 * restore the guest's descriptors of all three fail with an I/O error; none
 * of its lines reaches another file, the host's new file least of all, and
 * counter-1.txt, which the host left alone, goes on.
 */
TEST_F(LinuxGuestSaveRestoreTest, FilesTheHostDeletedRenamedOrReplacedWhileSavedFailInTheGuestWhileTheOthersWriteOn)
{
    boot();
    if (HasFatalFailure())
        return;
    const int saved = saveAndStop();
    const int renamedLines = int(counter(3).size());

    ASSERT_TRUE(QFile::remove(guestFile(QStringLiteral("counter-2.txt"))));
    ASSERT_TRUE(QFile::rename(guestFile(QStringLiteral("counter-3.txt")), guestFile(QStringLiteral("counter-3-moved.txt"))));
    write(guestFile(QStringLiteral(".counter-4.new")), "from the host\n");
    ASSERT_EQ(std::rename(QFile::encodeName(guestFile(QStringLiteral(".counter-4.new"))).constData(),
                          QFile::encodeName(guestFile(QStringLiteral("counter-4.txt"))).constData()),
              0);

    restoreAndResume(saved);
    if (HasFatalFailure())
        return;

    EXPECT_TRUE(countsFromOne(counter(1))) << "the file the host left alone is written on";
    const QString errors = read(guestFile(QStringLiteral("errors.txt")));
    for (const QString &name : {QStringLiteral("counter-2.txt"), QStringLiteral("counter-3.txt"), QStringLiteral("counter-4.txt")}) {
        EXPECT_TRUE(errors.contains(QStringLiteral("line %1 to %2 failed").arg(saved + 1).arg(name))) << name.toStdString() << "\n" << errors.toStdString();
    }
    EXPECT_TRUE(errors.contains(QStringLiteral("Input/output error"))) << errors.toStdString();
    EXPECT_FALSE(errors.contains(QStringLiteral("counter-1.txt"))) << errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(guestFile(QStringLiteral("counter-2.txt")))) << "the guest's writes do not bring the deleted file back";
    EXPECT_EQ(counter(3).size(), 0) << "nothing appears under the old name of the renamed file";
    EXPECT_EQ(numbersIn(read(guestFile(QStringLiteral("counter-3-moved.txt")))).size(), renamedLines) << "nor in the renamed file";
    EXPECT_EQ(read(guestFile(QStringLiteral("counter-4.txt"))), QStringLiteral("from the host\n")) << "the host's new file is not written by the guest";
}

/*
 * The disk that holds QEMU's run folder is full when the user resumes the
 * saved guest: the restore fails with the host's own reason, the state stays
 * in the bundle, and once there is room again Resume Saved State brings the
 * guest back where it was, writing on through the files it had open.
 */
TEST_F(LinuxGuestSaveRestoreTest, ARestoreThatFailsForAFullDiskKeepsTheStateAndALaterTryResumesIt)
{
    const QString runFolder = m_home.path() + QStringLiteral("/run");
    if (!FullFileSystem(m_home.path() + QStringLiteral("/probe")).isFull())
        GTEST_SKIP() << "a full file system is made by mounting a small tmpfs, which needs root";
    boot();
    if (HasFatalFailure())
        return;
    const int saved = saveAndStop();

    {
        const FullFileSystem full(runFolder);
        ASSERT_TRUE(full.isFull());
        m_session.reset();
        const std::exception_ptr failure = TaskWaiter::failureOf(keep(m_coordinator->start(m_bundle.id(), true), m_session), 180s);
        ASSERT_TRUE(failure) << "the guest was restored with no room for QEMU's run folder";
        const QString message = describe(failure);
        EXPECT_TRUE(message.contains(QStringLiteral("No space left on device"))) << message.toStdString();
        EXPECT_TRUE(message.contains(QStringLiteral("The saved state has been kept"))) << message.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(m_bundle.layout().savedStateFileURL()));
    EXPECT_TRUE(store().bundle(m_bundle.id())->metadata.hasSavedState);
    EXPECT_EQ(m_coordinator->effectiveRuntimeState(m_bundle.id()), VMRuntimeState::stopped);

    restoreAndResume(saved);
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(countsFromOne(counter(1))) << "the guest goes on from the line it had saved";
    EXPECT_FALSE(QFileInfo::exists(guestFile(QStringLiteral("errors.txt")))) << read(guestFile(QStringLiteral("errors.txt"))).toStdString();
}

} // namespace
