// SPDX-License-Identifier: MIT
#include "FileOperations.h"
#include "ProtectionMirror.h"
#include "StoreTestFixture.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QFileInfo>

namespace {

class BundleLoaderTest : public StoreTest
{
protected:
    /// A bundle folder written by hand, as another version of the application would leave it.
    QString handMadeBundle(const QString &name, const Json &metadata)
    {
        const QString url = root() + QLatin1Char('/') + name + QStringLiteral(".vm");
        for (const char *folder : {"SavedState", "RestoreImages", "Logs", "Bootstrap"})
            QDir().mkpath(url + QLatin1Char('/') + QLatin1String(folder));
        write(url + QStringLiteral("/Metadata.json"), sharedJSONEncoder().encodeJson(metadata));
        write(url + QStringLiteral("/SharedFolders.json"), "[]");
        return url;
    }

    static Json metadataJson(const QString &name)
    {
        return JSONCodec<VMMetadata>::encode(sampleMetadata(name));
    }

    VMBundle load(const QString &url) { return store().loadBundle(url, true); }
};

} // namespace

TEST_F(BundleLoaderTest, AStoredRunStateIsResetToStoppedAndLoggedOnce)
{
    Json running = metadataJson(QStringLiteral("Busy"));
    running["runtimeState"] = "running";
    const QString busy = handMadeBundle(QStringLiteral("Busy"), running);
    const QString idle = handMadeBundle(QStringLiteral("Idle"), metadataJson(QStringLiteral("Idle")));

    EXPECT_EQ(load(busy).metadata.runtimeState, VMRuntimeState::stopped);
    EXPECT_EQ(bundleLog(busy).count(QStringLiteral("[Store] Reset transient runtime state for Busy from running to stopped during library load")), 1);
    load(idle);
    EXPECT_TRUE(bundleLog(idle).isEmpty());
}

TEST_F(BundleLoaderTest, SchemaVersionsAboveTwoAreRefused)
{
    Json future = metadataJson(QStringLiteral("Future"));
    future["schemaVersion"] = 3;
    const QString url = handMadeBundle(QStringLiteral("Future"), future);
    EXPECT_EQ(thrownVirtualMachineError([&] { load(url); }).errorDescription(),
              QStringLiteral("The VM bundle could not be read: Unsupported schema version 3."));

    Json old = metadataJson(QStringLiteral("Old"));
    old["schemaVersion"] = 1;
    EXPECT_EQ(load(handMadeBundle(QStringLiteral("Old"), old)).metadata.schemaVersion, 2);
}

TEST_F(BundleLoaderTest, TheGuestKindOfAnOldBundleIsDerivedFromItsFiles)
{
    const struct {
        const char *name;
        QStringList files;
        VMGuestOSType expected;
    } table[] = {
        {"Plain", {}, VMGuestOSType::macOS},
        {"LinuxBoot", {QStringLiteral("LinuxBoot.json")}, VMGuestOSType::linux},
        {"EFIOnly", {QStringLiteral("EFIVariableStore.bin")}, VMGuestOSType::linux},
        {"Both", {QStringLiteral("EFIVariableStore.bin"), QStringLiteral("HardwareModel.bin")}, VMGuestOSType::macOS},
    };
    for (const auto &row : table) {
        Json metadata = metadataJson(QString::fromUtf8(row.name));
        metadata.erase("guestOSType");
        const QString url = handMadeBundle(QString::fromUtf8(row.name), metadata);
        for (const QString &file : row.files)
            write(url + QLatin1Char('/') + file, "x");
        EXPECT_EQ(load(url).metadata.guestOSType, row.expected) << row.name;
    }
}

TEST_F(BundleLoaderTest, SavedStateAndCountsComeFromTheDisk)
{
    Json claims = metadataJson(QStringLiteral("Claims"));
    claims["hasSavedState"] = true;
    claims["savedState"] = {{"relativePath", "SavedState/MachineState.bin"}, {"createdAt", "2026-01-01T00:00:00Z"}};
    claims["sharedFolderCount"] = 7;
    const QString url = handMadeBundle(QStringLiteral("Claims"), claims);
    VMBundle loaded = load(url);
    EXPECT_FALSE(loaded.metadata.hasSavedState);
    EXPECT_FALSE(loaded.metadata.savedState.has_value());
    EXPECT_EQ(loaded.metadata.sharedFolderCount, 0);

    write(url + QStringLiteral("/SavedState/MachineState.bin"), QByteArray(4096, 's'));
    loaded = load(url);
    ASSERT_TRUE(loaded.metadata.savedState.has_value());
    EXPECT_TRUE(loaded.metadata.hasSavedState);
    EXPECT_EQ(loaded.metadata.savedState->relativePath, QStringLiteral("SavedState/MachineState.bin"));
    EXPECT_EQ(loaded.metadata.savedState->fileSizeBytes, 4096U);
    EXPECT_LE(loaded.metadata.savedState->createdAt, QDateTime::currentDateTimeUtc());
}

TEST_F(BundleLoaderTest, ACorruptRestoreImageRecordIsToleratedButCorruptSharedFoldersAreNot)
{
    const QString url = handMadeBundle(QStringLiteral("Damaged"), metadataJson(QStringLiteral("Damaged")));
    write(url + QStringLiteral("/RestoreImages/RestoreImage.json"), "{not json");
    EXPECT_FALSE(load(url).metadata.restoreImageInfo.has_value());

    write(url + QStringLiteral("/SharedFolders.json"), "[{\"id\": 1}]");
    EXPECT_THROW(load(url), JSONDecodingError);
}

TEST_F(BundleLoaderTest, EveryStoredJSONFileIsRefusedForItsNestingBeforeAnythingElseLooksAtIt)
{
    const QByteArray tooDeep = QByteArray(JSONDecoder::maximumNestingDepth + 1, '[') + QByteArray(JSONDecoder::maximumNestingDepth + 1, ']');
    // Longer than any VM's list, and past that, nesting no decode accepts: the nesting is what is reported.
    QByteArray longThenDeep = "[";
    for (qsizetype index = 0; index <= maximumSharedFolderCount; ++index)
        longThenDeep += "{}, ";
    longThenDeep += tooDeep + "]";
    const struct {
        const char *file;
        QByteArray content;
        bool refused;
    } cases[] = {
        {"Metadata.json", tooDeep, true},
        {"SharedFolders.json", tooDeep, true},
        {"SharedFolders.json", longThenDeep, true},
        {"SharedFolders.json", QByteArray(16 * 1024 * 1024, '['), true},
        {"Bootstrap/manifest.json", tooDeep, true},
        // This record only shows the image: a damaged one never stops the load.
        {"RestoreImages/RestoreImage.json", tooDeep, false},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(std::string(testCase.file) + " " + testCase.content.left(8).toStdString());
        const QString url = handMadeBundle(QStringLiteral("Deep"), metadataJson(QStringLiteral("Deep")));
        write(url + QLatin1Char('/') + QLatin1String(testCase.file), testCase.content);
        try {
            const VMBundle loaded = load(url);
            EXPECT_FALSE(testCase.refused);
            EXPECT_FALSE(loaded.metadata.restoreImageInfo.has_value());
        } catch (const JSONDecodingError &error) {
            EXPECT_TRUE(testCase.refused);
            EXPECT_STREQ(error.what(), "The given data was not valid JSON: nested too deeply.");
        } catch (const std::exception &error) {
            ADD_FAILURE() << error.what();
        }
        QDir(url).removeRecursively();
    }
}

TEST_F(BundleLoaderTest, MissingComponentsAreListedInOrder)
{
    Json installed = metadataJson(QStringLiteral("Installed"));
    installed["installState"] = "installed";
    installed["guestOSType"] = "macOS";
    const QString url = handMadeBundle(QStringLiteral("Installed"), installed);
    QDir(url + QStringLiteral("/Logs")).removeRecursively();
    write(url + QStringLiteral("/Logs"), "a file where the folder belongs");
    QDir().mkpath(url + QStringLiteral("/AuxiliaryStorage"));
    write(url + QStringLiteral("/MachineIdentifier.bin"), "id");

    EXPECT_EQ(thrownVirtualMachineError([&] { load(url); }).detail(),
              QStringLiteral("Missing required bundle components: Logs, Disk.img, AuxiliaryStorage, HardwareModel.bin"));
}

TEST_F(BundleLoaderTest, ALostMetadataFileIsRecoveredFromTheMirrorOnce)
{
    const VMBundle saved = savedBundle(QStringLiteral("Guarded"));
    QFile::remove(saved.layout().metadataURL());

    const VMBundle loaded = load(saved.bundleURL);
    EXPECT_EQ(loaded.id(), saved.id());
    EXPECT_TRUE(bundleLog(saved.bundleURL).contains(QStringLiteral("[Store] Recovered protected VM bundle files for Guarded.vm")));

    // Without a mirror there is nothing to recover from.
    QDir(ProtectionMirror::mirrorRootURL(saved.bundleURL)).removeRecursively();
    QFile::remove(saved.layout().metadataURL());
    EXPECT_TRUE(throwsVirtualMachineError([&] { load(saved.bundleURL); }, VirtualMachineError::Case::missingBundleFile));
}

TEST_F(BundleLoaderTest, RecoveryNeverOverwritesAndIsNotRetried)
{
    VMBundle saved = savedBundle(QStringLiteral("Partial"));
    saved.metadata.installState = VMInstallState::installed;
    write(saved.layout().diskImageURL(), "disk");
    store().updateBundle(saved);

    // The bundle's own shared-folder list differs from the mirror's and must survive the repair.
    write(saved.layout().sharedFoldersURL(), "[]\n");
    QFile::remove(saved.layout().diskImageURL());
    QFile::remove(ProtectionMirror::mirrorURL(saved.bundleURL) + QStringLiteral("/Disk.img"));
    QFile::remove(saved.layout().metadataURL());

    EXPECT_EQ(thrownVirtualMachineError([&] { load(saved.bundleURL); }).detail(),
              QStringLiteral("Missing required bundle components: Disk.img"));
    EXPECT_TRUE(QFileInfo(saved.layout().metadataURL()).isFile());
    EXPECT_EQ(read(saved.layout().sharedFoldersURL()), QStringLiteral("[]\n"));
}

TEST_F(BundleLoaderTest, ARepairedRunningBundleReportsItsResetOnce)
{
    VMBundle saved = savedBundle(QStringLiteral("Crashed"));
    saved.metadata.installState = VMInstallState::installed;
    write(saved.layout().diskImageURL(), "disk");
    store().updateBundle(saved);
    Json running = JSONCodec<VMMetadata>::encode(store().bundle(saved.id())->metadata);
    running["runtimeState"] = "running";
    write(saved.layout().metadataURL(), sharedJSONEncoder().encodeJson(running));
    QFile::remove(saved.layout().diskImageURL());

    EXPECT_EQ(load(saved.bundleURL).metadata.runtimeState, VMRuntimeState::stopped);
    EXPECT_EQ(bundleLog(saved.bundleURL).count(QStringLiteral("Reset transient runtime state for Crashed from running")), 1);
}
