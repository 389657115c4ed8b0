// SPDX-License-Identifier: MIT
#include "VMCloneService.h"

#include "DiskImageService.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "FileSystemTraps.h"
#include "InterruptedWrite.h"
#include "JSONCoding.h"
#include "MachineIdentityService.h"
#include "ProtectionMirror.h"
#include "RawNames.h"
#include "StagingMarker.h"
#include "StoreTestFixture.h"
#include "TaskOutcome.h"
#include "VMSnapshotService.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"
#include "WithoutAccessOverride.h"

#include <QFileInfo>

#include <functional>

namespace {

class VMCloneServiceTest : public StoreTest
{
protected:
    /// "Dev" in the library root, with a small sparse disk, a machine identifier and a log.
    VMBundle source(const QString &folder = {})
    {
        VMBundle bundle = savedBundle(QStringLiteral("Dev"), folder);
        QFile disk(bundle.layout().diskImageURL());
        EXPECT_TRUE(disk.open(QIODevice::WriteOnly));
        disk.write("boot sector");
        disk.resize(16 * 1024 * 1024);
        disk.close();
        m_identity.write(MacMachineIdentifier::generate(), bundle.layout().machineIdentifierURL());
        m_logging.log(QStringLiteral("source history"), QStringLiteral("Test"), bundle.bundleURL);
        return bundle;
    }

    VMBundle clone(const VMBundle &from, const std::optional<QString> &name = std::nullopt, bool preserveSavedState = false)
    {
        return m_clones.clone(from, name, true, preserveSavedState);
    }

    VirtualMachineError cloneFailure(const VMBundle &from)
    {
        return thrownVirtualMachineError([&] { clone(from); });
    }

    /// The hidden entries of a folder, the protection mirror left out.
    static QStringList hiddenEntries(const QString &folder)
    {
        QStringList found = QDir(folder).entryList({QStringLiteral(".*")}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        found.removeAll(QStringLiteral(".DuvuzodOvevavProtection"));
        return found;
    }

    MachineIdentityService m_identity;
    VMCloneService m_clones{store(), m_identity, m_logging};
};

} // namespace

TEST_F(VMCloneServiceTest, ClonesGetNumberedFoldersAndIdentitiesOfTheirOwn)
{
    VMBundle dev = source();
    dev.metadata.runtimeState = VMRuntimeState::paused; // whatever the source's stored state says
    const QByteArray sourceIdentifier = read(dev.layout().machineIdentifierURL()).toUtf8();
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);

    const VMBundle first = clone(dev);
    const VMBundle second = clone(dev);

    EXPECT_EQ(first.bundleURL, root() + QStringLiteral("/Dev Copy.vm"));
    EXPECT_EQ(second.bundleURL, root() + QStringLiteral("/Dev Copy 2.vm"));
    EXPECT_EQ(second.metadata.bundleName, QStringLiteral("Dev Copy 2.vm"));
    for (const VMBundle &copy : {first, second}) {
        EXPECT_EQ(copy.metadata.name, QStringLiteral("Dev Copy"));
        EXPECT_NE(copy.id(), dev.id());
        EXPECT_EQ(copy.metadata.runtimeState, VMRuntimeState::stopped);
        EXPECT_GE(copy.metadata.createdAt, before);
        EXPECT_GE(copy.metadata.updatedAt, before);
        EXPECT_EQ(copy.metadata.hardwareProfile, dev.metadata.hardwareProfile);
        EXPECT_EQ(copy.metadata.installSource, dev.metadata.installSource);
        EXPECT_EQ(read(copy.layout().diskImageURL()), read(dev.layout().diskImageURL()));
        EXPECT_LT(FileMeasurements::allocatedSize(copy.layout().diskImageURL()), 1024U * 1024U);
        EXPECT_NE(read(copy.layout().machineIdentifierURL()).toUtf8(), sourceIdentifier);
        EXPECT_TRUE(bundleLog(copy.bundleURL).contains(QStringLiteral("source history")));
        EXPECT_TRUE(bundleLog(copy.bundleURL).contains(QStringLiteral("[Clone] Cloned Dev to Dev Copy")));
        EXPECT_TRUE(QFileInfo(ProtectionMirror::mirrorURL(copy.bundleURL)).isDir());
        EXPECT_FALSE(QFileInfo::exists(copy.bundleURL + QLatin1Char('/') + StagingMarker::fileName.toString()));
    }
    EXPECT_NE(first.id(), second.id());
    EXPECT_NE(read(first.layout().machineIdentifierURL()), read(second.layout().machineIdentifierURL()));
    EXPECT_FALSE(bundleLog(dev.bundleURL).contains(QStringLiteral("Cloned")));
    EXPECT_TRUE(hiddenEntries(root()).isEmpty()) << hiddenEntries(root()).join(u' ').toStdString();

    ASSERT_EQ(store().bundles().size(), 3);
    EXPECT_EQ(store().bundles().first(), second);
    reload();
    EXPECT_EQ(*store().bundle(first.id()), first);
}

TEST_F(VMCloneServiceTest, TheNameIsKeptAsGivenWhileTheFolderNameIsMadeSafe)
{
    const VMBundle dev = source();
    const struct {
        std::optional<QString> given;
        QString name;
        QString folder;
    } table[] = {
        {std::nullopt, QStringLiteral("Dev Copy"), QStringLiteral("Dev Copy.vm")},
        {QStringLiteral(" \n\t "), QStringLiteral("Dev Copy"), QStringLiteral("Dev Copy 2.vm")},
        {QStringLiteral("  Padded  "), QStringLiteral("  Padded  "), QStringLiteral("Padded.vm")},
        {QStringLiteral("a/b"), QStringLiteral("a/b"), QStringLiteral("a-b.vm")},
    };
    for (const auto &row : table) {
        const VMBundle copy = clone(dev, row.given);
        EXPECT_EQ(copy.metadata.name, row.name);
        EXPECT_EQ(copy.bundleURL, root() + QLatin1Char('/') + row.folder);
    }
}

TEST_F(VMCloneServiceTest, SavedStateSnapshotsAndIdentityFollowTheFlags)
{
    VMBundle dev = source();
    write(dev.layout().savedStateFileURL(), "machine state");
    write(dev.layout().savedStateDirectoryURL() + QStringLiteral("/.hidden"), "also state");
    dev.metadata.savedState = VMSavedState{QStringLiteral("SavedState/MachineState.bin"), dev.metadata.createdAt, 13};
    store().updateBundle(dev);
    dev = *store().bundle(dev.id());
    DiskImageService disks;
    VMSnapshotService snapshots(disks, m_logging);
    snapshots.createSnapshot(dev, QStringLiteral("Before"), QString(), false);

    const VMBundle cold = clone(dev);
    EXPECT_TRUE(QDir(cold.layout().savedStateDirectoryURL()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_FALSE(cold.metadata.hasSavedState);
    EXPECT_FALSE(cold.metadata.savedState.has_value());
    EXPECT_EQ(snapshots.loadTimeline(cold), snapshots.loadTimeline(dev));
    const VMSnapshot carried = snapshots.loadTimeline(cold).snapshots.first();
    EXPECT_EQ(read(cold.bundleURL + QLatin1Char('/') + carried.diskRelativePath), read(dev.layout().diskImageURL()));

    const VMBundle warm = clone(dev, std::nullopt, true);
    EXPECT_EQ(read(warm.layout().savedStateFileURL()), QStringLiteral("machine state"));
    EXPECT_TRUE(warm.metadata.hasSavedState);
    EXPECT_EQ(warm.metadata.savedState, dev.metadata.savedState);

    // A guest without a machine identifier gets one; without regeneration the copied one stays.
    QFile::remove(dev.layout().machineIdentifierURL());
    EXPECT_TRUE(QFileInfo::exists(clone(dev).layout().machineIdentifierURL()));
    m_identity.write(MacMachineIdentifier::generate(), dev.layout().machineIdentifierURL());
    const VMBundle same = m_clones.clone(dev, QStringLiteral("Same"), false, false);
    EXPECT_EQ(read(same.layout().machineIdentifierURL()), read(dev.layout().machineIdentifierURL()));
}

TEST_F(VMCloneServiceTest, AFailedCloneLeavesNothingBehind)
{
    // A copy that fails half-way: the copied paths grow longer than the system allows.
    const VMBundle deep = source();
    FileSystemTraps::deepFolder(deep.bundleURL + QStringLiteral("/Deep"), 4085);
    const VirtualMachineError copyFailure = cloneFailure(deep);
    EXPECT_EQ(copyFailure.errorCase(), VirtualMachineError::Case::cloneFailed);
    EXPECT_TRUE(copyFailure.errorDescription().startsWith(QStringLiteral("The VM clone could not be completed: "))) << copyFailure.what();
    EXPECT_TRUE(hiddenEntries(root()).isEmpty()) << hiddenEntries(root()).join(u' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(root() + QStringLiteral("/Dev Copy.vm")));

    // A registration that fails after the copy was put in place.
    const QString away = outside(QStringLiteral("disk"));
    const VMBundle tracked = savedBundle(QStringLiteral("Away"), away);
    QFile::remove(store().registryURL());
    QDir().mkpath(store().registryURL());
    const VirtualMachineError registrationFailure = cloneFailure(tracked);
    EXPECT_EQ(registrationFailure.errorCase(), VirtualMachineError::Case::cloneFailed);
    EXPECT_EQ(QDir(away).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral(".DuvuzodOvevavProtection"), QStringLiteral("Away.vm")}));
    EXPECT_EQ(QDir(ProtectionMirror::mirrorRootURL(tracked.bundleURL)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("Away.vm")});
    EXPECT_EQ(store().bundles().size(), 2);
    EXPECT_FALSE(appLog().contains(QStringLiteral("Cloned")));
}

TEST_F(VMCloneServiceTest, TheTaskClonesLikeTheCallAndReportsFailuresTheSameWay)
{
    const VMBundle dev = source();
    const VMBundle copy = waitForOutcome(m_clones.cloneAsync(dev, QStringLiteral("Async"), true, false)).get();
    EXPECT_EQ(copy.bundleURL, root() + QStringLiteral("/Async.vm"));
    EXPECT_EQ(read(copy.layout().diskImageURL()), read(dev.layout().diskImageURL()));
    EXPECT_EQ(store().bundles().first(), copy);

    QDir(dev.bundleURL).removeRecursively();
    EXPECT_TRUE(throwsVirtualMachineError(waitForOutcome(m_clones.cloneAsync(dev, std::nullopt, true, false)),
                                          VirtualMachineError::Case::cloneFailed));
    EXPECT_TRUE(hiddenEntries(root()).isEmpty());
}

TEST_F(VMCloneServiceTest, NamesTheGuestGaveInAnyEncodingAreClonedByteForByte)
{
    const VMBundle dev = source();
    RawNames::plant(dev.layout().automationDirectoryURL());
    // A clone without the saved state empties its folder, whatever the names in it.
    RawNames::plant(dev.layout().savedStateDirectoryURL());
    const VMBundle copy = clone(dev);
    const VMBundle later = waitForOutcome(m_clones.cloneAsync(dev, QStringLiteral("Async"), true, false)).get();
    for (const VMBundle &made : {copy, later}) {
        SCOPED_TRACE(made.bundleURL.toStdString());
        EXPECT_EQ(RawNames::tree(made.layout().automationDirectoryURL()), RawNames::plantedTree());
        EXPECT_TRUE(RawNames::tree(made.layout().savedStateDirectoryURL()).isEmpty());
    }
}

TEST_F(VMCloneServiceTest, ACloneCutShortNeverTakesItsSourcesIdentity)
{
    const VMBundle dev = source();
    int step = 1;
    for (;; ++step) {
        const auto outcome = InterruptedWrite::runUntil(step, [&] { clone(dev); });
        ASSERT_NE(outcome, InterruptedWrite::Outcome::failed) << step;
        // Whatever has the name of a bundle has an identity of its own.
        for (const QString &name : QDir(root()).entryList({QStringLiteral("*.vm")}, QDir::Dirs)) {
            if (name == QStringLiteral("Dev.vm"))
                continue;
            const QString metadata = root() + QLatin1Char('/') + name + QStringLiteral("/Metadata.json");
            EXPECT_NE(sharedJSONDecoder().decode<VMMetadata>(read(metadata).toUtf8()).id, dev.id()) << name.toStdString() << " before step " << step;
        }
        reload();
        ASSERT_TRUE(store().bundle(dev.id())) << step;
        EXPECT_EQ(store().bundle(dev.id())->bundleURL, dev.bundleURL) << step;
        if (outcome == InterruptedWrite::Outcome::completed)
            break;
        // Each child starts from the same random state, so the next one would pick the same staging name.
        for (const QString &name : QDir(root()).entryList({QStringLiteral("Dev Copy*.vm")}, QDir::Dirs))
            store().removeBundleFromDisk(root() + QLatin1Char('/') + name);
        for (const QString &name : hiddenEntries(root()))
            FileOperations::removeItem(root() + QLatin1Char('/') + name);
    }
    EXPECT_GT(step, 3);
}

TEST_F(VMCloneServiceTest, ACloneCutShortIsProtectedOnceItIsInTheLibrary)
{
    const VMBundle dev = source();
    int step = 1;
    for (;; ++step) {
        const auto outcome = InterruptedWrite::runUntil(step, [&] { clone(dev); });
        ASSERT_NE(outcome, InterruptedWrite::Outcome::failed) << step;
        reload();
        for (const VMBundle &bundle : store().bundles()) {
            const QString mirrored = ProtectionMirror::mirrorURL(bundle.bundleURL) + QStringLiteral("/Metadata.json");
            ASSERT_TRUE(QFileInfo::exists(mirrored)) << bundle.metadata.name.toStdString() << " before step " << step;
            EXPECT_EQ(sharedJSONDecoder().decode<VMMetadata>(read(mirrored).toUtf8()).id, bundle.id()) << step;
            EXPECT_FALSE(QFileInfo::exists(bundle.bundleURL + QLatin1Char('/') + StagingMarker::fileName.toString())) << step;
        }
        if (outcome == InterruptedWrite::Outcome::completed)
            break;
        // Each child starts from the same random state, so the next one would pick the same staging name.
        for (const QString &name : QDir(root()).entryList({QStringLiteral("Dev Copy*.vm")}, QDir::Dirs))
            store().removeBundleFromDisk(root() + QLatin1Char('/') + name);
        for (const QString &name : hiddenEntries(root()))
            FileOperations::removeItem(root() + QLatin1Char('/') + name);
    }
    EXPECT_GT(step, 3);
}

TEST_F(VMCloneServiceTest, AnItemTheGuestWroteThatCannotBeReadFailsTheCloneBeforeAnythingIsWritten)
{
    const VMBundle dev = source();
    write(dev.layout().automationDirectoryURL() + QStringLiteral("/Responses/answer.json"), "{}");
    const FileSystemTraps::UnreadableFolder locked(dev.layout().automationDirectoryURL() + QStringLiteral("/Locked"));
    const WithoutAccessOverride noOverride;
    if (!noOverride.isActive())
        GTEST_SKIP() << "root could not give up its access override";
    const auto entries = [this] {
        QStringList names = FileOperations::folderEntries(root());
        names.sort();
        return names;
    };
    const QStringList before = entries();
    const QString expected = QStringLiteral("\"Automation/Locked\" in the VM's shared automation folder cannot be read (Permission denied). The "
                                            "guest wrote it there; make it readable or remove it, then try again.");

    const VirtualMachineError error = cloneFailure(dev);
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::cloneFailed);
    EXPECT_EQ(error.detail(), expected);
    const VirtualMachineError fromTask = thrownVirtualMachineError(waitForOutcome(m_clones.cloneAsync(dev, std::nullopt, true, false)));
    EXPECT_EQ(fromTask.errorCase(), VirtualMachineError::Case::cloneFailed);
    EXPECT_EQ(fromTask.detail(), expected);

    EXPECT_EQ(entries(), before);
    EXPECT_EQ(store().bundles().size(), 1);
}
