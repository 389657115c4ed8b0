// SPDX-License-Identifier: MIT
#include "WindowsImageProvider.h"

#include "BackgroundWork.h"
#include "LoggingService.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QString category = QStringLiteral("Windows");

bool containsAny(const QString &text, std::initializer_list<const char *> needles)
{
    return std::any_of(needles.begin(), needles.end(), [&](const char *needle) { return text.contains(QLatin1String(needle)); });
}

std::optional<ISOBootProbe::Contents> probeFile(const QString &path)
{
    return ISOBootProbe::inspect(path, WindowsImageProvider::probeBudget);
}

} // namespace

QStringList WindowsImageProvider::defaultScanFolders()
{
    return {QStandardPaths::writableLocation(QStandardPaths::DownloadLocation), QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)};
}

WindowsImageProvider::WindowsImageProvider(const LoggingService &logging, QStringList scanFolders, QObject *parent)
    : QObject(parent)
    , m_logging(logging)
    , m_scanFolders(std::move(scanFolders))
{
}

void WindowsImageProvider::startScan()
{
    setScanning(true);
    QCoro::connect(scan(++m_scanGeneration), this, [] {});
}

QCoro::Task<> WindowsImageProvider::scan(quint64 generation)
{
    QPointer<WindowsImageProvider> self(this);
    const auto deadline = std::chrono::steady_clock::now() + scanBudget;
    QList<DetectedISO> found = co_await BackgroundWork::run(&WindowsImageProvider::scanFolders, m_scanFolders, deadline);
    if (!self || generation != m_scanGeneration)
        co_return;
    std::stable_sort(found.begin(), found.end(), [](const DetectedISO &a, const DetectedISO &b) { return a.detectedAt > b.detectedAt; });
    m_detectedISOs = found;
    m_hasScanned = true;
    Q_EMIT detectedISOsChanged(m_detectedISOs);
    setScanning(false);
    if (!found.isEmpty())
        m_logging.log(QStringLiteral("Auto-detected %1 Windows ISO candidate(s)").arg(found.size()), category);
}

QList<WindowsImageProvider::DetectedISO> WindowsImageProvider::scanFolders(const QStringList &folders, std::chrono::steady_clock::time_point deadline)
{
    QList<DetectedISO> found;
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        // Direct contents only, hidden items skipped; a link counts only when it leads to a regular file.
        QDirIterator items(folder, QDir::Files | QDir::NoDotAndDotDot);
        for (int count = 0; items.hasNext() && count < maximumFolderEntries; ++count) {
            if (std::chrono::steady_clock::now() >= deadline)
                return found;
            items.next();
            const QFileInfo info = items.fileInfo();
            if (!isCandidateName(info.fileName()) || !info.isFile() || quint64(info.size()) <= minimumCandidateSize)
                continue;
            found.append({QUuid::createUuid(), info.absoluteFilePath(), info.fileName(), quint64(info.size()), QDateTime::currentDateTimeUtc()});
        }
    }
    return found;
}

bool WindowsImageProvider::isCandidateName(const QString &fileName)
{
    const QString lower = fileName.toLower();
    const QString extension = QFileInfo(lower).suffix();
    if (extension != QStringLiteral("iso") && extension != QStringLiteral("vhdx") && extension != QStringLiteral("img"))
        return false;
    return containsAny(lower, {"win", "windows", "w11", "w10", "arm64", "aarch64"});
}

QCoro::Task<WindowsISOValidation> WindowsImageProvider::validate(QString path)
{
    QPointer<WindowsImageProvider> self(this);
    const quint64 generation = ++m_validationGeneration;
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    const quint64 size = info.isFile() ? quint64(info.size()) : 0;
    std::optional<ISOBootProbe::Contents> answer;
    const WindowsISOValidation byName = judge(fileName, size, std::nullopt);
    // Only a file that passes on size and name is opened.
    if (byName.status == WindowsISOValidation::Status::valid)
        answer = co_await BackgroundWork::run(&probeFile, path);
    const WindowsISOValidation result = judge(fileName, size, answer);
    if (self && generation == m_validationGeneration) {
        m_validationResult = result;
        Q_EMIT validationResultChanged(m_validationResult);
    }
    co_return result;
}

WindowsISOValidation WindowsImageProvider::judge(const QString &fileName, quint64 size, std::optional<ISOBootProbe::Contents> contents)
{
    using Status = WindowsISOValidation::Status;
    WindowsISOValidation result;
    result.fileName = fileName;
    result.fileSizeBytes = size;
    const auto refuse = [&result](const QString &architecture) {
        result.status = Status::invalidArchitecture;
        result.architectureText = architecture;
        result.detectedArchitecture = architecture;
        return result;
    };
    if (size < minimumImageSize) {
        result.status = Status::tooSmall;
        return result;
    }
    const QString lower = fileName.toLower();
    if (containsAny(lower, {"x64", "amd64"}))
        return refuse(QStringLiteral("x86_64 (Intel/AMD)"));
    if (lower.contains(QLatin1String("x86")))
        return refuse(QStringLiteral("x86 (32-bit)"));

    switch (contents.value_or(ISOBootProbe::Contents {}).answer) {
    case ISOBootProbe::Answer::arm64:
        // An arm64 loader alone is any arm64 installer (a Linux one, say): Windows brings its installation image too.
        result.status = contents->hasWindowsInstallImage ? Status::valid : Status::notWindowsInstaller;
        result.detectedArchitecture = QStringLiteral("arm64");
        return result;
    case ISOBootProbe::Answer::x86_64:
        return refuse(QStringLiteral("x86_64"));
    case ISOBootProbe::Answer::notISO9660:
        result.status = Status::notBootable;
        return result;
    case ISOBootProbe::Answer::noLoaderFound:
    case ISOBootProbe::Answer::unknown:
        break;
    }
    // Nothing seen inside (an image whose files only UDF shows, or no probe): the name decides.
    result.status = Status::valid;
    if (containsAny(lower, {"arm64", "aarch64"}))
        result.detectedArchitecture = QStringLiteral("arm64");
    else
        result.detectedArchitecture = QStringLiteral("arm64 (assumed)");
    return result;
}

void WindowsImageProvider::setScanning(bool scanning)
{
    m_isScanning = scanning;
    Q_EMIT isScanningChanged(scanning);
}
