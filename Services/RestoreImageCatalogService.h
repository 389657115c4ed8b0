// SPDX-License-Identifier: MIT
#pragma once

#include "ApplicationResources.h"
#include "MacOSRestoreImage.h"
#include "RestoreImageCatalog.h"
#include "RestoreImageInfo.h"

#include <QCoroTask>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class LoggingService;

/**
 * Answers which macOS restore image to install: the latest supported one,
 * a short list of recent stable images for the create wizard, or what a
 * restore-image file on disk holds. The virtualization layer's own service
 * is asked first; when it fails (always, on this host) the remote JSON feed
 * is read, then the copy of it cached on disk, then the catalog shipped in
 * the application's resources. Keeps no state between calls apart from the
 * cache file. GUI thread only; log lines use the category "RestoreImage".
 *
 * The feed is untrusted: only images with a well-formed version and build
 * (they become cache file names) and an https address are kept, the fetch is
 * capped in time and size, and a feed that yields no image or repeats a
 * requirement-set id counts as failed, so the cached copy is used instead.
 *
 * This host has no macOS version. Without a host version no image is
 * filtered out or capped by it.
 *
 * @code
 * RestoreImageCatalogService catalog(logging, feedURL, ApplicationResources::standard());
 * const QList<RestoreImageInfo> offered = co_await catalog.loadAutomaticInstallCatalog(3);
 * @endcode
 */
class RestoreImageCatalogService final : public QObject
{
    Q_OBJECT

public:
    /// The virtualization layer's restore-image entry points; tests script them.
    struct PlatformImages {
        std::function<QCoro::Task<MacOSRestoreImage>()> fetchLatestSupported = &MacOSRestoreImage::fetchLatestSupported;
        std::function<QCoro::Task<MacOSRestoreImage>(QString)> load = &MacOSRestoreImage::load;
    };

    /// The running macOS version; absent on this host.
    using HostVersion = MacOSRestoreImage::OperatingSystemVersion;

    static constexpr std::chrono::seconds fetchTimeout{30};
    static constexpr qint64 maximumFeedSize = 8 * 1024 * 1024;
    static constexpr QStringView cacheFileName = u"macOSRestoreCatalog.json";
    static constexpr QStringView shippedCatalogName = u"macOSRestoreCatalog.json";

    struct Options {
        /// Where macOSRestoreCatalog.json is cached; by default the restore-image cache folder.
        std::optional<QString> cacheFolder;
        std::optional<HostVersion> hostVersion;
        PlatformImages platformImages;
        std::chrono::milliseconds fetchTimeout = RestoreImageCatalogService::fetchTimeout;
    };

    RestoreImageCatalogService(const LoggingService &logging, QUrl remoteCatalogURL, ApplicationResources resources);
    RestoreImageCatalogService(const LoggingService &logging, QUrl remoteCatalogURL, ApplicationResources resources, Options options,
                               QObject *parent = nullptr);

    /// The image to install for "latest supported macOS". Throws VirtualMachineError (restoreImageFetchFailed).
    QCoro::Task<RestoreImageInfo> fetchLatestRestoreImage();
    /// The newest image of each of up to `limit` major versions, newest first. Throws the first error met.
    QCoro::Task<QList<RestoreImageInfo>> loadAutomaticInstallCatalog(int limit);
    /// What the restore-image file holds. Throws VirtualMachineError (invalidRestoreImage).
    QCoro::Task<RestoreImageInfo> loadRestoreImage(QUrl fileURL);

    // The steps, public so that each can be checked on its own.

    /// The remote feed (cached when good), else the fallback files.
    QCoro::Task<RestoreImageCatalog> loadCuratedCatalog();
    /// Reads and converts the remote feed; throws on any failure.
    QCoro::Task<RestoreImageCatalog> fetchRemoteFallbackCatalog();
    /// Converts a feed body; throws when it does not decode or repeats a requirement-set id.
    RestoreImageCatalog convertFeed(const QByteArray &body) const;
    void cacheCatalog(const RestoreImageCatalog &catalog) const;
    /// The cached copy, else the shipped catalog.
    RestoreImageCatalog loadFallbackCatalog() const;
    RestoreImageCatalog::Entry selectAutomaticInstallEntry(const RestoreImageCatalog &catalog) const;
    QList<RestoreImageCatalog::Entry> stableImages(const RestoreImageCatalog &catalog, int limit) const;

    /// "major.minor[.patch]" of the host, absent without a host version.
    std::optional<QString> hostVersionString() const;
    QString cacheFilePath() const;

    /// https, or http to this machine only (where a test server or a local mirror answers).
    static bool isAcceptableDownloadURL(const QUrl &url);
    static RestoreImageInfo infoFromEntry(const RestoreImageCatalog::Entry &entry);
    static RestoreImageInfo infoFromPlatformImage(const MacOSRestoreImage &image);

private:
    /// Entries in feed order, newest first by version; the order of equal versions is kept.
    static QList<RestoreImageCatalog::Entry> regularNewestFirst(const RestoreImageCatalog &catalog);
    bool fitsHostMajor(const RestoreImageCatalog::Entry &entry) const;
    void log(const QString &message) const;

    const LoggingService &m_logging;
    QUrl m_remoteCatalogURL;
    ApplicationResources m_resources;
    Options m_options;
    QNetworkAccessManager m_network;
};
