// SPDX-License-Identifier: MIT
#include "ScreenshotSupport.h"

#include "ScriptedVirtualMachineFactory.h"

#include "AppState.h"
#include "LabPalette.h"
#include "ScriptedVirtualMachine.h"
#include "ScriptedVirtualMachineFactory.h"
#include "Symbols.h"
#include "TestBundle.h"
#include "VirtualMachineSession.h"
#include "VirtualMachineSessionTable.h"

#include <QApplication>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QTest>
#include <QTextStream>
#include <QWidget>

#include <cstdlib>

namespace ScreenshotSupport {

namespace {
int failures = 0;
}

void prepareApplication()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    Symbols::ensureIconTheme();
}

AppState::Options scriptedOptions()
{
    AppState::Options options;
    options.machineFactory = std::make_unique<ScriptedVirtualMachineFactory>();
    options.resources = ApplicationResources(std::nullopt);
    return options;
}

void check(bool condition, const QString &what)
{
    if (!condition) {
        ++failures;
        QTextStream(stderr) << "FAILED: " << what << '\n';
    }
}

int exitCode()
{
    return failures == 0 ? 0 : 1;
}

QString outputFolder(int argc, char *argv[])
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(folder);
    return folder;
}

QImage shoot(QWidget &widget, const QString &path)
{
    QTest::qWait(400);
    const QImage image = widget.grab().toImage();
    check(image.save(path), QStringLiteral("saving ") + path);
    return image;
}


std::unique_ptr<AppState> scriptedState()
{
    return std::make_unique<AppState>(scriptedOptions());
}

std::shared_ptr<VirtualMachineSession> addSession(AppState &state, const VMBundle &bundle, VMRuntimeState runtimeState)
{
    VirtualMachineConfiguration configuration;
    auto session = std::make_shared<VirtualMachineSession>(bundle, configuration, std::make_unique<ScriptedVirtualMachine>(configuration), QStringList(),
                                                           state.sharedFolderService(), state.loggingService());
    session->setRuntimeState(runtimeState);
    state.coordinator().sessions().insert(session);
    return session;
}

int distance(const QColor &left, const QColor &right)
{
    return std::abs(left.red() - right.red()) + std::abs(left.green() - right.green()) + std::abs(left.blue() - right.blue());
}

int distinctColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

VMBundle addBundle(AppState &state, const QString &name, int day, const std::function<void(VMMetadata &)> &change)
{
    const QString folder = QString(name).replace(QLatin1Char('/'), QLatin1Char('-')) + QStringLiteral(".vm");
    VMBundle bundle = TestBundle(state.vmStore().rootURL() + QLatin1Char('/') + folder)
                          .named(name)
                          .created(QDateTime(QDate(2026, 1, day), QTime(9, 0), Qt::UTC))
                          .installSource(VMInstallSource::latestSupportedAutomatic())
                          .installed()
                          .cpus(4)
                          .memory(quint64(8) << 30)
                          .disk(quint64(64) << 30);
    VMMetadata &metadata = bundle.metadata;
    metadata.bundleName = folder;
    change(metadata);
    metadata.normalize();
    QDir().mkpath(bundle.bundleURL);
    QFile disk(bundle.layout().diskImageURL());
    if (disk.open(QIODevice::WriteOnly))
        disk.resize(qint64(1) << 30);
    state.vmStore().updateBundle(bundle);
    return *state.vmStore().bundle(metadata.id);
}


QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(36, 38, 44));
    palette.setColor(QPalette::WindowText, QColor(230, 232, 236));
    palette.setColor(QPalette::Base, QColor(28, 30, 36));
    palette.setColor(QPalette::AlternateBase, QColor(44, 46, 52));
    palette.setColor(QPalette::Text, QColor(230, 232, 236));
    palette.setColor(QPalette::Button, QColor(48, 50, 58));
    palette.setColor(QPalette::ButtonText, QColor(230, 232, 236));
    palette.setColor(QPalette::PlaceholderText, QColor(150, 154, 162));
    palette.setColor(QPalette::Mid, QColor(70, 72, 80));
    palette.setColor(QPalette::Highlight, LabPalette::accent().dark);
    palette.setColor(QPalette::HighlightedText, Qt::black);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(110, 112, 120));
    return palette;
}

} // namespace ScreenshotSupport
