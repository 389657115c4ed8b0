// SPDX-License-Identifier: MIT
// Times VMStore::reload over a library of many bundles, each with a sparse
// disk image and the protection mirror a save makes, so that every reload
// decodes the files and checks the required items of each bundle. Hostile
// bundles may be added, each with a SharedFolders.json of valid records just
// under the 16 MiB a bundle file may have; the library refuses them, and the
// time they add to a reload shows what one such bundle costs the others.
//
// Usage: library_reload_bench [bundle count] [runs] [hostile bundle count]

#include "BenchSupport.h"
#include "FileBookmarkService.h"
#include "HostSecurityScopedAccess.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "TemporaryHome.h"
#include "VMStore.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int defaultBundleCount = 500;
constexpr int defaultRuns = 7;
constexpr qint64 diskImageSize = 8 * 1024 * 1024;
/// About 158 bytes per encoded record: the list stays just under the 16 MiB cap of a bundle file.
constexpr int hostileSharedFolderCount = 100'000;

/// An installed Linux guest with one shared folder; creation times are shuffled so the reload's sort has work to do.
VMBundle sampleBundle(const QString &bundleURL, const QString &name, int index, int count)
{
    const QDateTime base(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);

    VMBundle bundle;
    bundle.bundleURL = bundleURL;
    VMMetadata &metadata = bundle.metadata;
    metadata.id = QUuid::createUuid();
    metadata.guestOSType = VMGuestOSType::linux;
    metadata.name = name;
    metadata.createdAt = base.addSecs(qint64(index) * 7919 % count * 60);
    metadata.updatedAt = metadata.createdAt;
    metadata.installState = VMInstallState::installed;
    metadata.hardwareProfile = VMHardwareProfile{2, 4ULL << 30, 64ULL << 30, 1920, 1200, 80};
    metadata.installSource = VMInstallSource::latestSupportedAutomatic();
    bundle.sharedFolders = {VMSharedFolder{QUuid::createUuid(), QStringLiteral("Projects"),
                                           QUrl::fromLocalFile(QStringLiteral("/home/bench/Projects")), false, std::nullopt}};
    return bundle;
}

bool createSparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(size);
}

/// Saves each bundle through the store, as the application would, after giving it a sparse disk image.
bool buildLibrary(VMStore &store, int count)
{
    for (int index = 0; index < count; ++index) {
        const QString name = QStringLiteral("Bench VM %1").arg(index, 4, 10, QLatin1Char('0'));
        const VMBundle bundle = sampleBundle(store.createBundleDirectory(store.rootURL(), name), name, index, count);
        if (!createSparseFile(bundle.layout().diskImageURL(), diskImageSize)) {
            std::fprintf(stderr, "Cannot create %s\n", qPrintable(bundle.layout().diskImageURL()));
            return false;
        }
        store.updateBundle(bundle);
    }
    return true;
}

/// Bundles like the others whose shared-folder list is far longer than any VM could use.
bool addHostileBundles(VMStore &store, int count)
{
    QList<VMSharedFolder> folders;
    for (int index = 0; index < hostileSharedFolderCount; ++index)
        folders.append(VMSharedFolder{QUuid::createUuid(), QStringLiteral("F%1").arg(index),
                                      QUrl::fromLocalFile(QStringLiteral("/home/b/F%1").arg(index)), false, std::nullopt});
    const QByteArray list = sharedJSONEncoder().encode(folders);
    for (int index = 0; index < count; ++index) {
        const QString name = QStringLiteral("Hostile VM %1").arg(index, 4, 10, QLatin1Char('0'));
        const VMBundle bundle = sampleBundle(store.createBundleDirectory(store.rootURL(), name), name, index, count);
        store.updateBundle(bundle);
        QFile file(bundle.layout().sharedFoldersURL());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(list) != list.size()) {
            std::fprintf(stderr, "Cannot write %s\n", qPrintable(file.fileName()));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Before anything asks for a standard folder: the bench must not touch the user's library.
    const TemporaryHome home;
    QCoreApplication application(argc, argv);
    const int bundleCount = BenchSupport::argument(QCoreApplication::arguments(), 1, defaultBundleCount);
    const int runs = std::max(BenchSupport::argument(QCoreApplication::arguments(), 2, defaultRuns), 1);
    const int hostileCount = BenchSupport::argument(QCoreApplication::arguments(), 3, 0);

    const LoggingService logging;
    FileBookmarkService bookmarks;
    HostSecurityScopedAccess access;
    BenchSupport::NoFileViewer viewer;
    VMStore store({logging, bookmarks, access, viewer});

    QElapsedTimer setup;
    setup.start();
    try {
        if (!buildLibrary(store, bundleCount) || !addHostileBundles(store, hostileCount))
            return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "Building the library failed: %s\n", error.what());
        return 1;
    }
    const qint64 setupMs = setup.elapsed();

    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        QCoro::waitFor(store.reload());
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.size() % 2 ? sorted[sorted.size() / 2] : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;

    QTextStream out(stdout);
    out << "library_reload_bench: " << store.bundles().size() << " of " << bundleCount << " bundles loaded";
    if (hostileCount > 0)
        out << " beside " << hostileCount << " hostile ones of " << hostileSharedFolderCount << " shared folders each";
    out << ", " << runs << " reloads\n";
    out << "  setup (updateBundle x " << bundleCount << "): " << setupMs << " ms\n";
    out << "  reload median: " << QString::number(median, 'f', 1) << " ms, worst: " << QString::number(sorted.back(), 'f', 1) << " ms\n";
    return store.bundles().size() == bundleCount ? 0 : 1;
}
