// SPDX-License-Identifier: MIT
// Shows the CI panel and the file-transfer panel side by side in a plain
// window under a real X server, with configurations and finished transfers,
// saves them as PNGs in the light and the dark palette, and checks sampled
// pixels so that an unpainted panel fails. Argument: the folder for the PNGs.
#include "AppState.h"
#include "CIRunnerView.h"
#include "CIRunnerViewModel.h"
#include "FileDropTransferView.h"
#include "FileDropTransferViewModel.h"
#include "ScreenshotSupport.h"
#include "TemporaryHome.h"
#include "VMCIRunnerService.h"
#include "VirtualMachineSession.h"

#include <QApplication>
#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTextStream>
#include <QVBoxLayout>

namespace {

using ScreenshotSupport::check;

void writeFile(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    check(file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size, QStringLiteral("made ") + path);
}

/// Starts a run of the configuration and waits until the runner has taken it.
void startRun(VMCIRunnerService &ci, const QUuid &configuration, const VMBundle &bundle)
{
    bool started = false;
    QCoro::connect(ci.startRun(configuration, bundle), &ci, [&started](const VMCIRunResult &) { started = true; });
    check(QTest::qWaitFor([&started] { return started; }, 10'000), QStringLiteral("a CI run started"));
}

void shoot(QWidget &window, const QString &path, const QString &appearance)
{
    const QImage image = ScreenshotSupport::shoot(window, path);
    const QWidget *ci = window.findChild<QWidget *>(QStringLiteral("ci"));
    const QWidget *drop = window.findChild<QWidget *>(QStringLiteral("drop"));
    // Inside each panel, off its text: the panel's own fill differs from the window behind it.
    const QColor background = window.palette().color(QPalette::Window);
    for (const QWidget *panel : {ci, drop}) {
        const QColor fill = image.pixelColor(panel->mapTo(&window, QPoint(panel->width() / 2, panel->height() - 24)));
        check(ScreenshotSupport::distance(fill, background) > 0, appearance + QStringLiteral(": the panel ") + panel->objectName() + QStringLiteral(" is painted"));
    }
    check(ScreenshotSupport::distinctColours(image) > 150, appearance + QStringLiteral(": the panels hold more than a few flat colours"));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    ScreenshotSupport::prepareApplication();
    const QString folder = ScreenshotSupport::outputFolder(argc, argv);

    const TemporaryHome home;
    const std::unique_ptr<AppState> madeState = ScreenshotSupport::scriptedState();
    AppState &state = *madeState;
    const VMBundle bundle = ScreenshotSupport::addBundle(state, QStringLiteral("Build Agent"), 1, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.sharedFolderCount = 1;
    });

    VMCIRunnerService &ci = state.ciRunnerService();
    const VMCIRunConfiguration lint = VMCIRunConfiguration::fromForm(QStringLiteral("Lint"), QStringLiteral("make lint\n"), 90, false, false);
    ci.setConfigurations({VMCIRunConfiguration::fromForm(QStringLiteral("Nightly <b>build</b> & tests"), QStringLiteral("make check\n"), 3600, true, true), lint});

    // One run that ended when its VM stopped, and one still running: the header's status and the history.
    const std::shared_ptr<VirtualMachineSession> session = ScreenshotSupport::addSession(state, bundle, VMRuntimeState::running);
    startRun(ci, lint.id, bundle);
    session->setRuntimeState(VMRuntimeState::stopped);
    check(QTest::qWaitFor([&ci] { return ci.activeRun() && ci.activeRun()->status == VMCIRunStatus::failed; }, 10'000),
          QStringLiteral("the first run ended with its VM"));
    session->setRuntimeState(VMRuntimeState::running);
    startRun(ci, lint.id, bundle);

    QWidget window;
    window.setObjectName(QStringLiteral("window"));
    auto *columns = new QHBoxLayout(&window);
    columns->setContentsMargins(28, 28, 28, 28);
    columns->setSpacing(24);
    auto *ciView = new CIRunnerView(std::make_unique<CIRunnerViewModel>(ci, state.vmStore(), bundle.id(), state.loggingService()));
    auto *dropView = new FileDropTransferView(std::make_unique<FileDropTransferViewModel>());
    const QString share = home.path() + QStringLiteral("/Share");
    QDir().mkpath(share);
    dropView->viewModel().setSharedFolder(share);
    dropView->viewModel().setVMName(bundle.metadata.name);
    for (QWidget *panel : {static_cast<QWidget *>(ciView), static_cast<QWidget *>(dropView)}) {
        auto *column = new QVBoxLayout;
        column->addWidget(panel);
        column->addStretch();
        columns->addLayout(column, 1);
    }

    // Two files, a folder, and one that has gone before its copy.
    const QString user = home.path() + QStringLiteral("/User");
    writeFile(user + QStringLiteral("/Report.pdf"), 245'000);
    writeFile(user + QStringLiteral("/Sources/main.cpp"), 12'400);
    writeFile(user + QStringLiteral("/Sources/README.md"), 3'100);
    writeFile(user + QStringLiteral("/screenshot.png"), 1'480'000);
    const QStringList dropped{user + QStringLiteral("/Report.pdf"), user + QStringLiteral("/Sources"), user + QStringLiteral("/gone.zip"),
                              user + QStringLiteral("/screenshot.png")};
    bool copied = false;
    QCoro::connect(dropView->viewModel().drop(dropped), &window, [&copied](bool) { copied = true; });
    check(QTest::qWaitFor([&copied] { return copied; }, 10'000), QStringLiteral("the dropped items were copied"));
    check(dropView->findChildren<QWidget *>(QStringLiteral("drop.row")).size() == 4, QStringLiteral("four transfers are listed"));
    check(ciView->findChildren<QWidget *>(QStringLiteral("ci.configuration")).size() == 2, QStringLiteral("two configurations are listed"));
    check(ciView->findChildren<QWidget *>(QStringLiteral("ci.run")).size() == 2, QStringLiteral("two runs are listed"));
    check(!ciView->findChild<QWidget *>(QStringLiteral("ci.configuration.run"))->isEnabled(), QStringLiteral("Run waits for the active run"));

    window.resize(1180, 640);
    window.show();
    check(QTest::qWaitForWindowExposed(&window), QStringLiteral("the window is shown"));
    QTest::qWait(300);

    shoot(window, folder + QStringLiteral("/feature-tools-light.png"), QStringLiteral("light"));
    QApplication::setPalette(ScreenshotSupport::darkPalette());
    shoot(window, folder + QStringLiteral("/feature-tools-dark.png"), QStringLiteral("dark"));

    QTextStream(stdout) << "Screenshots in " << folder << '\n';
    return ScreenshotSupport::exitCode();
}
