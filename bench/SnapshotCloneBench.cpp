// SPDX-License-Identifier: MIT
// Clones a VM and takes a snapshot of it, where the VM's 64 GiB sparse disk
// image holds 100 MiB of data, and prints the time each took with the host
// space before and after. Both copies keep the disk sparse, so each should
// cost about 100 MiB and about the time to copy 100 MiB.
//
// Usage: snapshot_clone_bench

#include "DiskImageService.h"
#include "BenchSupport.h"
#include "FileBookmarkService.h"
#include "FileMeasurements.h"
#include "HostSecurityScopedAccess.h"
#include "LoggingService.h"
#include "MachineIdentityService.h"
#include "TemporaryHome.h"
#include "VMCloneService.h"
#include "VMSnapshotService.h"
#include "VMStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTextStream>
#include <QUuid>

#include <cstdio>

namespace {

constexpr quint64 mebibyte = 1024 * 1024;
constexpr quint64 diskSize = 64 * 1024 * mebibyte;
constexpr quint64 dataChunks = 100; // one MiB each

VMBundle sampleBundle(const QString &bundleURL)
{
    VMBundle bundle;
    bundle.bundleURL = bundleURL;
    VMMetadata &metadata = bundle.metadata;
    metadata.id = QUuid::createUuid();
    metadata.guestOSType = VMGuestOSType::linux;
    metadata.name = QStringLiteral("Bench VM");
    metadata.createdAt = QDateTime::currentDateTimeUtc();
    metadata.updatedAt = metadata.createdAt;
    metadata.installState = VMInstallState::installed;
    metadata.hardwareProfile = VMHardwareProfile{2, 4 * 1024 * mebibyte, diskSize, 1920, 1200, 80};
    metadata.installSource = VMInstallSource::latestSupportedAutomatic();
    return bundle;
}

/// Writes the data in 1 MiB pieces spread over the whole disk, as a guest's file systems would.
bool fillDisk(const QString &path)
{
    QFile disk(path);
    if (!disk.open(QIODevice::ReadWrite))
        return false;
    QByteArray chunk(qsizetype(mebibyte), Qt::Uninitialized);
    const quint64 stride = diskSize / dataChunks / mebibyte * mebibyte;
    for (quint64 index = 0; index < dataChunks; ++index) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / qsizetype(sizeof(quint32)));
        if (!disk.seek(qint64(index * stride)) || disk.write(chunk) != chunk.size())
            return false;
    }
    return disk.flush();
}

QString mebibytes(quint64 bytes)
{
    return QString::number(double(bytes) / double(mebibyte), 'f', 1) + QStringLiteral(" MiB");
}

} // namespace

int main(int argc, char **argv)
{
    // Before anything asks for a standard folder: the bench must not touch the user's library.
    const TemporaryHome home;
    QCoreApplication application(argc, argv);

    const LoggingService logging;
    FileBookmarkService bookmarks;
    HostSecurityScopedAccess access;
    BenchSupport::NoFileViewer viewer;
    VMStore store({logging, bookmarks, access, viewer});
    const DiskImageService disks;
    const MachineIdentityService identity;
    const VMSnapshotService snapshots(disks, logging);
    const VMCloneService clones(store, identity, logging);

    QTextStream out(stdout);
    try {
        VMBundle bundle = sampleBundle(store.createBundleDirectory(store.rootURL(), QStringLiteral("Bench VM")));
        disks.createDisk(bundle.layout().diskImageURL(), diskSize);
        if (!fillDisk(bundle.layout().diskImageURL())) {
            std::fprintf(stderr, "Cannot write the disk image\n");
            return 1;
        }
        store.updateBundle(bundle);
        bundle = *store.bundle(bundle.id());

        const DiskImageService::DiskUsage usage = disks.diskUsage(bundle.layout().diskImageURL());
        out << "snapshot_clone_bench: Disk.img of " << mebibytes(usage.logicalSizeBytes) << " holding " << mebibytes(dataChunks * mebibyte)
            << " of data" << Qt::endl;
        out << "  before:   bundle allocates " << mebibytes(FileMeasurements::allocatedSizeOfTree(bundle.bundleURL)) << Qt::endl;

        QElapsedTimer timer;
        timer.start();
        const VMBundle clone = clones.clone(bundle, std::nullopt, true, false);
        const qint64 cloneMs = timer.elapsed();
        out << "  clone:    " << cloneMs << " ms; the clone allocates " << mebibytes(FileMeasurements::allocatedSizeOfTree(clone.bundleURL))
            << Qt::endl;

        timer.restart();
        snapshots.createSnapshot(bundle, QStringLiteral("Bench"), QString(), false);
        const qint64 snapshotMs = timer.elapsed();
        out << "  snapshot: " << snapshotMs << " ms; Snapshots allocates " << mebibytes(snapshots.snapshotsSize(bundle.bundleURL))
            << ", the bundle now " << mebibytes(FileMeasurements::allocatedSizeOfTree(bundle.bundleURL)) << Qt::endl;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "The bench failed: %s\n", error.what());
        return 1;
    }
    return 0;
}
