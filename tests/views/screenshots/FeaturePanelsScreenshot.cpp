// SPDX-License-Identifier: MIT
// Shows the details pane's feature panels in one scrolling column, wired to
// a VM with three snapshots, a performance history, disk growth, a private
// network and a failed update check, under a real X server; saves them as
// PNGs in the light and the dark palette and checks sampled pixels.
// Argument: the folder for the PNGs.
#include "AppState.h"
#include "DetailsPanelWiring.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "MacOSUpdateView.h"
#include "PerformanceDashboardView.h"
#include "ScreenshotSupport.h"
#include "SmartDiskAnalyticsView.h"
#include "SnapshotTimelineView.h"
#include "Symbols.h"
#include "TemporaryHome.h"
#include "VMDetailsPaneModels.h"
#include "VMDiskGrowthHistory.h"
#include "VMNetworkTopologyService.h"
#include "VMNetworkTopologyView.h"

#include <QApplication>
#include <QCoroTask>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <QTest>
#include <QTextStream>
#include <QVBoxLayout>

#include <cmath>

namespace {

using ScreenshotSupport::check;

/// Runs a task of the view model to its end.
void finish(QCoro::Task<> task)
{
    QEventLoop loop;
    bool done = false;
    QCoro::connect(std::move(task), &loop, [&] {
        done = true;
        loop.quit();
    });
    // A task that ended at once has called back already.
    if (!done)
        loop.exec();
}

/// Two minutes of a VM busy at first and calmer later.
VMPerformanceHistory sampleHistory()
{
    VMPerformanceHistory history;
    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-120);
    for (int second = 0; second < 120; ++second) {
        VMPerformanceMetrics sample;
        sample.timestamp = start.addSecs(second);
        sample.cpuUsagePercent = 38 + 26 * std::sin(second / 9.0) + (second % 7);
        sample.memoryTotalBytes = 8ull << 30;
        sample.memoryUsedBytes = (5ull << 30) + quint64(second) * (8ull << 20);
        sample.diskReadBytesPerSecond = 1'250'000 + second * 1000;
        sample.diskWriteBytesPerSecond = 420'000;
        history.append(sample);
    }
    return history;
}

void shoot(QWidget &window, const QString &path, const QString &appearance)
{
    const QImage image = ScreenshotSupport::shoot(window, path);
    check(ScreenshotSupport::distinctColours(image) > 200, appearance + QStringLiteral(": the panels hold more than a few flat colours"));

    // The chart's line is drawn: somewhere in its area a pixel leans to the accent's blue.
    const QWidget *chart = window.findChild<QWidget *>(QStringLiteral("performance.chart"));
    const QRect area(chart->mapTo(&window, QPoint(0, 0)), chart->size());
    bool lineDrawn = false;
    for (int x = area.left() + 4; x < area.right() && !lineDrawn; x += 3)
        for (int y = area.top(); y < area.bottom() && !lineDrawn; ++y) {
            const QColor pixel = image.pixelColor(x, y);
            lineDrawn = pixel.blue() > pixel.red() + 60;
        }
    check(lineDrawn, appearance + QStringLiteral(": the CPU line is drawn"));

    // The active snapshot's marker is the accent colour.
    const QWidget *marker = window.findChild<QWidget *>(QStringLiteral("snapshotRow.marker"));
    const QColor centre = image.pixelColor(marker->mapTo(&window, QPoint(6, 18)));
    check(centre.blue() > 180 && centre.red() < 120, appearance + QStringLiteral(": the newest snapshot is active and marked in the accent"));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    Symbols::ensureIconTheme();
    const QString folder = ScreenshotSupport::outputFolder(argc, argv);

    const TemporaryHome home;
    AppState::Options options;
    options.resources = ApplicationResources(std::nullopt);
    AppState state(std::move(options));
    const VMBundle bundle = ScreenshotSupport::addBundle(state, QStringLiteral("Build <b>Agent</b>"), 1, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.guestOSDisplayName = QStringLiteral("Debian 12");
    });
    const VMBundle peer = ScreenshotSupport::addBundle(state, QStringLiteral("R&D Runner"), 2, [](VMMetadata &) {});
    ScreenshotSupport::addBundle(state, QStringLiteral("Web Tier"), 3, [](VMMetadata &) {});

    VMDetailsPaneModels models = state.makeDetailsViewModels(bundle.id(), state.fileChooser());
    const std::unique_ptr<VMDetailsViewModel> &model = models.details;
    SnapshotTimelineViewModel &snapshots = *models.snapshotTimeline;
    QObject::connect(&snapshots, &SnapshotTimelineViewModel::failed, model.get(), [&model](const QString &message) { model->setErrorMessage(message); });
    QTest::qWait(50);
    // A second apart: creation times are kept to the second, and the list is newest first.
    finish(snapshots.createSnapshot(QStringLiteral("Clean install"), QStringLiteral("Fresh Debian 12 with the guest tools.")));
    QTest::qWait(1100);
    finish(snapshots.createSnapshot(QStringLiteral("Toolchain <i>ready</i>"), QStringLiteral("gcc, cmake and ninja installed.\nccache warmed up.\nLine three.\nLine four.")));
    QTest::qWait(1100);
    finish(snapshots.createSnapshot(QStringLiteral("Before upgrade"), QString()));
    check(snapshots.timeline().snapshots.size() == 3, QStringLiteral("three snapshots were taken: ") + model->errorMessage().value_or(QString()));
    // Ten days of growth, read by the next refresh, so the trends show.
    VMDiskGrowthHistory growth;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int day = 10; day >= 1; --day)
        growth.samples.append({now.addDays(-day), quint64(900'000'000) - quint64(day) * 40'000'000});
    FileOperations::writeAtomically(bundle.layout().diskGrowthHistoryURL(), sharedJSONEncoder().encode(growth));

    models.diskAnalytics->refresh();

    const PrivateNetworkID lab(state.networkTopologyService().createNetwork(QStringLiteral("Build Lab"), QStringLiteral("10.0.7.0/24")).id);
    state.networkTopologyService().addMember(VMBundleID(bundle.id()), lab);
    state.networkTopologyService().addMember(VMBundleID(peer.id()), lab);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Feature panels"));
    auto *outer = new QVBoxLayout(&window);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    outer->addWidget(scroll);
    auto *column = new QWidget;
    auto *panels = new QVBoxLayout(column);
    panels->setContentsMargins(28, 28, 28, 28);
    panels->setSpacing(24);
    scroll->setWidget(column);

    auto *timeline = new SnapshotTimelineView;
    auto *performance = new PerformanceDashboardView;
    auto *analytics = new SmartDiskAnalyticsView;
    auto *updates = new MacOSUpdateView;
    auto *network = new VMNetworkTopologyView;
    for (QWidget *panel : std::initializer_list<QWidget *>{timeline, performance, analytics, updates, network})
        panels->addWidget(panel);
    panels->addStretch(1);
    DetailsPanelWiring::bind(*timeline, snapshots);
    DetailsPanelWiring::bind(*performance, *models.performance);
    DetailsPanelWiring::bind(*analytics, *models.diskAnalytics);
    DetailsPanelWiring::bind(*updates, *models.updates);
    DetailsPanelWiring::bind(*network, *models.networkTopology);
    performance->setHistory(sampleHistory()); // the monitor has nothing to measure: no QEMU runs here
    updates->setCheckFailure(QStringLiteral("No known Linux distribution matches this VM, so there is nothing to compare with."));

    check(!analytics->isHidden(), QStringLiteral("the disk analytics are shown"));
    check(window.findChild<QWidget *>(QStringLiteral("diskAnalytics.growthTrends"))->isVisibleTo(&window), QStringLiteral("the growth trends are shown"));
    check(window.findChild<QWidget *>(QStringLiteral("reclaim:deleteSnapshots")) != nullptr, QStringLiteral("the snapshot history can be reclaimed"));

    window.resize(900, 1720);
    window.show();
    check(QTest::qWaitForWindowExposed(&window), QStringLiteral("the window is shown"));
    QTest::qWait(300);
    shoot(window, folder + QStringLiteral("/feature-panels-light.png"), QStringLiteral("light"));
    QApplication::setPalette(ScreenshotSupport::darkPalette());
    QTest::qWait(100);
    shoot(window, folder + QStringLiteral("/feature-panels-dark.png"), QStringLiteral("dark"));

    QTextStream(stdout) << "Screenshots in " << folder << '\n';
    return ScreenshotSupport::exitCode();
}
