// SPDX-License-Identifier: MIT
// Times one save of a bundle (VMStore::updateBundle, as every start, pause,
// resume, stop, rename or tag makes on the GUI thread) and one preparation
// of its automation folder (VMGuestAutomationService::ensureAutomationRoot,
// as every start makes) while the guest has filled its shared automation
// folder with many small files. A save should cost the same whatever the
// guest wrote.
//
// Usage: bundle_save_bench [guest file count] [runs]

#include "ApplicationResources.h"
#include "BenchSupport.h"
#include "FileBookmarkService.h"
#include "HostSecurityScopedAccess.h"
#include "LoggingService.h"
#include "TemporaryHome.h"
#include "VMGuestAutomationService.h"
#include "VMStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int defaultGuestFileCount = 200'000;
constexpr int defaultRuns = 7;
constexpr int filesPerFolder = 1000;

VMBundle sampleBundle(const QString &bundleURL)
{
    VMBundle bundle;
    bundle.bundleURL = bundleURL;
    VMMetadata &metadata = bundle.metadata;
    metadata.id = QUuid::createUuid();
    metadata.guestOSType = VMGuestOSType::linux;
    metadata.name = QStringLiteral("Bench VM");
    metadata.createdAt = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    metadata.updatedAt = metadata.createdAt;
    metadata.hardwareProfile = VMHardwareProfile{2, 4ULL << 30, 64ULL << 30, 1920, 1200, 80};
    metadata.installSource = VMInstallSource::latestSupportedAutomatic();
    return bundle;
}

/// What a guest that writes in a loop leaves: `count` small files in folders of a thousand.
bool fillAutomationFolder(const QString &automation, int count)
{
    for (int index = 0; index < count; ++index) {
        const QString folder = automation + QStringLiteral("/Output/%1").arg(index / filesPerFolder);
        if (index % filesPerFolder == 0 && !QDir().mkpath(folder))
            return false;
        QFile file(folder + QStringLiteral("/%1.txt").arg(index));
        if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
            return false;
    }
    return true;
}

double medianMilliseconds(int runs, const std::function<void()> &operation)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        operation();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    // Before anything asks for a standard folder: the bench must not touch the user's library.
    const TemporaryHome home;
    QCoreApplication application(argc, argv);
    const int guestFileCount = BenchSupport::argument(QCoreApplication::arguments(), 1, defaultGuestFileCount);
    const int runs = std::max(BenchSupport::argument(QCoreApplication::arguments(), 2, defaultRuns), 1);

    const LoggingService logging;
    FileBookmarkService bookmarks;
    HostSecurityScopedAccess access;
    BenchSupport::NoFileViewer viewer;
    VMStore store({logging, bookmarks, access, viewer});
    const VMGuestAutomationService automation(logging, access, viewer, ApplicationResources(std::nullopt));

    try {
        const VMBundle bundle = sampleBundle(store.createBundleDirectory(store.rootURL(), QStringLiteral("Bench VM")));
        store.updateBundle(bundle);
        automation.ensureAutomationRoot(bundle);
        const double emptySave = medianMilliseconds(runs, [&] { store.updateBundle(bundle); });
        const double emptyPreparation = medianMilliseconds(runs, [&] { automation.ensureAutomationRoot(bundle); });
        if (!fillAutomationFolder(bundle.layout().automationDirectoryURL(), guestFileCount)) {
            std::fprintf(stderr, "Cannot fill the automation folder\n");
            return 1;
        }
        const double fullSave = medianMilliseconds(runs, [&] { store.updateBundle(bundle); });
        const double fullPreparation = medianMilliseconds(runs, [&] { automation.ensureAutomationRoot(bundle); });

        QTextStream out(stdout);
        out << "bundle_save_bench: " << guestFileCount << " guest files, median of " << runs << " runs\n";
        out << "  updateBundle: " << QString::number(emptySave, 'f', 2) << " ms empty, " << QString::number(fullSave, 'f', 2) << " ms full\n";
        out << "  ensureAutomationRoot: " << QString::number(emptyPreparation, 'f', 2) << " ms empty, "
            << QString::number(fullPreparation, 'f', 2) << " ms full\n";
    } catch (const std::exception &error) {
        std::fprintf(stderr, "The bench failed: %s\n", error.what());
        return 1;
    }
    return 0;
}
