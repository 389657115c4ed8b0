// SPDX-License-Identifier: MIT
#pragma once

#include "ISOBootProbe.h"
#include "WindowsISOValidation.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <chrono>
#include <optional>

class LoggingService;

/**
 * Helps the user pick a Windows 11 ARM installation image. startScan()
 * lists likely disc images in the user's Downloads, Desktop and Documents
 * folders (direct contents only) and publishes them, newest first;
 * validate() judges one file: big enough, built for arm64 (from its name
 * and its boot loaders) and holding a Windows installation image, as far
 * as its ISO 9660 file system shows (ISOBootProbe). Both run off the GUI
 * thread within a time limit, so a slow folder, a FIFO or a huge file never
 * hangs the application; a scan overtaken by a newer one publishes nothing.
 * Published properties announce every assignment. Log lines use the
 * category "Windows".
 *
 * @code
 * provider.startScan();   // watch detectedISOsChanged()
 * const WindowsISOValidation verdict = co_await provider.validate(path);
 * @endcode
 */
class WindowsImageProvider final : public QObject
{
    Q_OBJECT

public:
    struct DetectedISO {
        QUuid id;
        QString path;
        QString fileName;
        quint64 fileSizeBytes = 0;
        QDateTime detectedAt;

        bool operator==(const DetectedISO &) const = default;
    };

    /// Files of this size or less are not listed.
    static constexpr quint64 minimumCandidateSize = 1000000000;
    /// Files below this size are too small to be a Windows image.
    static constexpr quint64 minimumImageSize = 3500000000;
    static constexpr std::chrono::seconds scanBudget{10};
    static constexpr std::chrono::seconds probeBudget{10};
    /// Entries looked at per folder.
    static constexpr int maximumFolderEntries = 10000;

    /// Downloads, Desktop and Documents as the desktop names them.
    static QStringList defaultScanFolders();

    explicit WindowsImageProvider(const LoggingService &logging, QStringList scanFolders = defaultScanFolders(), QObject *parent = nullptr);

    const QList<DetectedISO> &detectedISOs() const { return m_detectedISOs; }
    bool isScanning() const { return m_isScanning; }
    /// Whether a scan has published its findings.
    bool hasScanned() const { return m_hasScanned; }
    /// The folders a scan looks in.
    const QStringList &folders() const { return m_scanFolders; }
    const std::optional<WindowsISOValidation> &validationResult() const { return m_validationResult; }

    /// Starts a scan and returns at once; a scan still running is overtaken and publishes nothing.
    void startScan();

    /// Judges the file and publishes the verdict as validationResult, unless a later validation has started meanwhile.
    QCoro::Task<WindowsISOValidation> validate(QString path);

    /// The candidates in `folders`, unsorted. Blocking; stops at `deadline`.
    static QList<DetectedISO> scanFolders(const QStringList &folders, std::chrono::steady_clock::time_point deadline);
    static bool isCandidateName(const QString &fileName);
    /// The verdict from the file's name, size and what the probe found (none when the probe was not run).
    static WindowsISOValidation judge(const QString &fileName, quint64 size, std::optional<ISOBootProbe::Contents> contents);

Q_SIGNALS:
    void detectedISOsChanged(const QList<WindowsImageProvider::DetectedISO> &detectedISOs);
    void isScanningChanged(bool scanning);
    void validationResultChanged(const std::optional<WindowsISOValidation> &result);

private:
    QCoro::Task<> scan(quint64 generation);
    void setScanning(bool scanning);

    const LoggingService &m_logging;
    QStringList m_scanFolders;
    QList<DetectedISO> m_detectedISOs;
    bool m_isScanning = false;
    bool m_hasScanned = false;
    std::optional<WindowsISOValidation> m_validationResult;
    quint64 m_scanGeneration = 0;
    quint64 m_validationGeneration = 0;
};
