// SPDX-License-Identifier: MIT
#include "RestoreImageCatalogService.h"

#include "AppDirectories.h"
#include "CappedReplyBody.h"
#include "ErrorText.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "NetworkReplies.h"
#include "ReplyGuard.h"
#include "VersionString.h"
#include "VirtualMachineError.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkRequest>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <exception>

namespace {

const QString category = QStringLiteral("RestoreImage");

const QString everySourceFailedText = QStringLiteral(
    "Apple's restore image catalog is unavailable, and no fallback catalog could be loaded. Choose a local restore image instead.");

VirtualMachineError fetchFailed(const QString &detail)
{
    return VirtualMachineError(VirtualMachineError::Case::restoreImageFetchFailed, detail);
}

/// One image of the feed; every key is required and typed, others are ignored.
struct FeedImage {
    QString name;
    QString build;
    QString version;
    QString channel;
    QString requirements;
    QString url;
};

FeedImage decodeFeedImage(const Json &json)
{
    const JSONObjectReader reader(json);
    return {reader.required<QString>("name"),    reader.required<QString>("build"),        reader.required<QString>("version"),
            reader.required<QString>("channel"), reader.required<QString>("requirements"), reader.required<QString>("url")};
}

const Json &requiredArray(const Json &json, const char *key)
{
    if (!json.is_object())
        throw JSONDecodingError(JSONDecodingError::Kind::typeMismatch, "Expected to decode Dictionary but found something else.");
    const auto found = json.find(key);
    if (found == json.end())
        throw JSONDecodingError(JSONDecodingError::Kind::keyNotFound, std::string("No value associated with key \"") + key + "\"");
    if (!found->is_array())
        throw JSONDecodingError(JSONDecodingError::Kind::typeMismatch, "Expected to decode Array but found something else.", key);
    return *found;
}

} // namespace

RestoreImageCatalogService::RestoreImageCatalogService(const LoggingService &logging, QUrl remoteCatalogURL, ApplicationResources resources)
    : RestoreImageCatalogService(logging, std::move(remoteCatalogURL), std::move(resources), Options())
{
}

RestoreImageCatalogService::RestoreImageCatalogService(const LoggingService &logging, QUrl remoteCatalogURL, ApplicationResources resources,
                                                       Options options, QObject *parent)
    : QObject(parent)
    , m_logging(logging)
    , m_remoteCatalogURL(std::move(remoteCatalogURL))
    , m_resources(std::move(resources))
    , m_options(std::move(options))
{
}

// MARK: Operations

QCoro::Task<RestoreImageInfo> RestoreImageCatalogService::fetchLatestRestoreImage()
{
    QPointer<RestoreImageCatalogService> self(this);
    std::exception_ptr platformFailure;
    try {
        const MacOSRestoreImage image = co_await m_options.platformImages.fetchLatestSupported();
        RestoreImageInfo info = infoFromPlatformImage(image);
        info.downloadState = RestoreImageInfo::DownloadState::availableRemotely;
        co_return info;
    } catch (...) {
        platformFailure = std::current_exception();
    }
    if (!self)
        throw fetchFailed(everySourceFailedText);
    log(QStringLiteral("Apple restore image catalog fetch failed: ") + ErrorText::describe(platformFailure)
        + QStringLiteral(". Falling back to curated IPSW catalog."));

    RestoreImageCatalog catalog;
    bool loaded = false;
    try {
        catalog = co_await loadCuratedCatalog();
        loaded = true;
    } catch (...) {
    }
    if (!self || !loaded)
        throw fetchFailed(everySourceFailedText);
    RestoreImageCatalog::Entry entry;
    try {
        entry = selectAutomaticInstallEntry(catalog);
    } catch (const VirtualMachineError &) {
        throw fetchFailed(everySourceFailedText);
    }
    log(QStringLiteral("Using curated restore image catalog fallback: %1 (%2)").arg(entry.displayName, entry.build));
    co_return infoFromEntry(entry);
}

QCoro::Task<QList<RestoreImageInfo>> RestoreImageCatalogService::loadAutomaticInstallCatalog(int limit)
{
    QPointer<RestoreImageCatalogService> self(this);
    std::exception_ptr remembered;
    try {
        const RestoreImageCatalog catalog = co_await loadCuratedCatalog();
        if (!self)
            throw fetchFailed(everySourceFailedText);
        QList<RestoreImageInfo> infos;
        for (const RestoreImageCatalog::Entry &entry : stableImages(catalog, limit))
            infos.append(infoFromEntry(entry));
        if (!infos.isEmpty())
            co_return infos;
        remembered = std::make_exception_ptr(fetchFailed(QStringLiteral("No stable restore images were available in the automatic-install catalog.")));
    } catch (...) {
        remembered = std::current_exception();
    }
    if (!self)
        std::rethrow_exception(remembered);
    try {
        const RestoreImageInfo latest = co_await fetchLatestRestoreImage();
        co_return QList<RestoreImageInfo>{latest};
    } catch (...) {
    }
    std::rethrow_exception(remembered);
}

QCoro::Task<RestoreImageInfo> RestoreImageCatalogService::loadRestoreImage(QUrl fileURL)
{
    try {
        const MacOSRestoreImage image = co_await m_options.platformImages.load(fileURL.toLocalFile());
        RestoreImageInfo info = infoFromPlatformImage(image);
        info.localFileURL = fileURL;
        info.downloadState = RestoreImageInfo::DownloadState::selectedLocalFile;
        co_return info;
    } catch (const VirtualMachineError &) {
        throw;
    } catch (...) {
        throw VirtualMachineError(VirtualMachineError::Case::invalidRestoreImage, ErrorText::describe(std::current_exception()));
    }
}

// MARK: Steps

QCoro::Task<RestoreImageCatalog> RestoreImageCatalogService::loadCuratedCatalog()
{
    QPointer<RestoreImageCatalogService> self(this);
    std::optional<RestoreImageCatalog> remote;
    try {
        remote = co_await fetchRemoteFallbackCatalog();
    } catch (...) {
        // Not logged: the fallback files say which one is used.
    }
    if (!self)
        throw fetchFailed(everySourceFailedText);
    if (!remote)
        co_return loadFallbackCatalog();
    try {
        cacheCatalog(*remote);
    } catch (...) {
        // The remote catalog is good all the same.
    }
    co_return *remote;
}

QCoro::Task<RestoreImageCatalog> RestoreImageCatalogService::fetchRemoteFallbackCatalog()
{
    QPointer<RestoreImageCatalogService> self(this);
    QNetworkRequest request(m_remoteCatalogURL);
    request.setTransferTimeout(int(m_options.fetchTimeout.count()));
    const ReplyGuard reply(m_network.get(request));
    // The feed is read into memory, so an endless or huge answer is cut off.
    CappedReplyBody body(reply.get(), maximumFeedSize);
    const bool finished = co_await NetworkReplies::waitForReplyOrError(reply.get(), m_options.fetchTimeout);
    if (!self || !reply.get())
        throw fetchFailed(everySourceFailedText);
    if (body.isTooLarge())
        throw fetchFailed(QStringLiteral("The remote fallback catalog is larger than %1 bytes.").arg(maximumFeedSize));
    if (!finished)
        throw NetworkReplies::timedOut();
    const std::optional<int> status = NetworkReplies::httpStatus(*reply.get());
    if (!status)
        throw NetworkReplies::transportError(*reply.get());
    if (*status < 200 || *status > 299)
        throw fetchFailed(QStringLiteral("Remote fallback catalog returned HTTP %1.").arg(*status));
    if (reply.get()->error() != QNetworkReply::NoError)
        throw NetworkReplies::transportError(*reply.get());

    RestoreImageCatalog catalog = convertFeed(body.take());
    if (catalog.images.isEmpty())
        throw fetchFailed(QStringLiteral("The remote fallback catalog holds no usable restore image."));
    co_return catalog;
}

RestoreImageCatalog RestoreImageCatalogService::convertFeed(const QByteArray &body) const
{
    const Json json = sharedJSONDecoder().parse(body);
    const Json &requirementSets = requiredArray(json, "requirementSets");
    const Json &restoreImages = requiredArray(json, "restoreImages");

    QMap<QString, QString> minimumHostVersions;
    for (const Json &set : requirementSets) {
        const JSONObjectReader reader(set);
        const QString id = reader.required<QString>("id");
        const QString minimum = reader.required<QString>("minVersionHost");
        if (minimumHostVersions.contains(id))
            throw fetchFailed(QStringLiteral("The remote fallback catalog names the requirement set \"%1\" twice.").arg(id));
        minimumHostVersions.insert(id, minimum);
    }
    QList<FeedImage> images;
    for (const Json &image : restoreImages)
        images.append(decodeFeedImage(image));

    const std::optional<QString> host = hostVersionString();
    RestoreImageCatalog catalog;
    catalog.schemaVersion = 1;
    catalog.updatedAt = QDateTime::currentDateTimeUtc();
    for (const FeedImage &image : images) {
        if (image.channel != QStringLiteral("regular"))
            continue;
        if (host && minimumHostVersions.contains(image.requirements)
            && VersionString::compare(*host, minimumHostVersions.value(image.requirements)) < 0)
            continue;
        const QUrl url(image.url, QUrl::StrictMode);
        if (!VersionString::isWellFormedVersion(image.version) || !VersionString::isWellFormedBuild(image.build)
            || !isAcceptableDownloadURL(url))
            continue;
        catalog.images.append({image.name, image.version, image.build, RestoreImageCatalog::Entry::Channel::regular, url});
    }
    return catalog;
}

void RestoreImageCatalogService::cacheCatalog(const RestoreImageCatalog &catalog) const
{
    const QString path = cacheFilePath();
    FileOperations::createFolders(QFileInfo(path).absolutePath());
    FileOperations::writeAtomically(path, sharedJSONEncoder().encode(catalog));
}

RestoreImageCatalog RestoreImageCatalogService::loadFallbackCatalog() const
{
    try {
        const RestoreImageCatalog cached = sharedJSONDecoder().decode<RestoreImageCatalog>(FileOperations::readFile(cacheFilePath(), maximumFeedSize));
        log(QStringLiteral("Using cached restore image catalog fallback."));
        return cached;
    } catch (...) {
        // Missing, unreadable or undecodable: the shipped catalog stands in.
    }
    log(QStringLiteral("Using bundled restore image catalog fallback."));
    const std::optional<QString> shipped = m_resources.resourcePath(shippedCatalogName.toString());
    if (!shipped)
        throw fetchFailed(QStringLiteral("The bundled fallback restore image catalog is missing."));
    return sharedJSONDecoder().decode<RestoreImageCatalog>(FileOperations::readFile(*shipped, maximumFeedSize));
}

RestoreImageCatalog::Entry RestoreImageCatalogService::selectAutomaticInstallEntry(const RestoreImageCatalog &catalog) const
{
    const QList<RestoreImageCatalog::Entry> sorted = regularNewestFirst(catalog);
    if (sorted.isEmpty())
        throw fetchFailed(QStringLiteral("The fallback catalog did not contain any automatic-install restore images."));
    for (const RestoreImageCatalog::Entry &entry : sorted) {
        if (fitsHostMajor(entry))
            return entry;
    }
    return sorted.first();
}

QList<RestoreImageCatalog::Entry> RestoreImageCatalogService::stableImages(const RestoreImageCatalog &catalog, int limit) const
{
    QList<RestoreImageCatalog::Entry> taken;
    QSet<qint64> majors;
    for (const RestoreImageCatalog::Entry &entry : regularNewestFirst(catalog)) {
        if (taken.size() >= limit)
            break;
        const qint64 major = VersionString::majorNumber(entry.version);
        if (!fitsHostMajor(entry) || majors.contains(major))
            continue;
        majors.insert(major);
        taken.append(entry);
    }
    return taken;
}

std::optional<QString> RestoreImageCatalogService::hostVersionString() const
{
    if (!m_options.hostVersion)
        return std::nullopt;
    const HostVersion &version = *m_options.hostVersion;
    return VersionString::fromComponents(version.majorVersion, version.minorVersion, version.patchVersion);
}

QString RestoreImageCatalogService::cacheFilePath() const
{
    QString folder;
    if (m_options.cacheFolder) {
        folder = *m_options.cacheFolder;
    } else {
        try {
            folder = AppDirectories::cacheDirectory();
        } catch (const std::exception &) {
            folder = QDir::tempPath() + QStringLiteral("/DuvuzodOvevavRestoreCache");
        }
    }
    return folder + QLatin1Char('/') + cacheFileName.toString();
}

bool RestoreImageCatalogService::isAcceptableDownloadURL(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QStringLiteral("https"))
        return true;
    return url.scheme() == QStringLiteral("http") && QHostAddress(url.host()).isLoopback();
}

RestoreImageInfo RestoreImageCatalogService::infoFromEntry(const RestoreImageCatalog::Entry &entry)
{
    return {entry.displayName, entry.version, entry.build, entry.sourceURL, std::nullopt, RestoreImageInfo::DownloadState::availableRemotely};
}

RestoreImageInfo RestoreImageCatalogService::infoFromPlatformImage(const MacOSRestoreImage &image)
{
    const MacOSRestoreImage::OperatingSystemVersion &os = image.operatingSystemVersion;
    const QString version = VersionString::fromComponents(os.majorVersion, os.minorVersion, os.patchVersion);
    RestoreImageInfo info;
    info.displayName = QStringLiteral("macOS ") + version;
    info.version = version;
    info.build = image.buildVersion;
    info.sourceURL = QUrl(image.url);
    return info;
}

QList<RestoreImageCatalog::Entry> RestoreImageCatalogService::regularNewestFirst(const RestoreImageCatalog &catalog)
{
    QList<RestoreImageCatalog::Entry> regular;
    std::copy_if(catalog.images.begin(), catalog.images.end(), std::back_inserter(regular),
                 [](const RestoreImageCatalog::Entry &entry) { return entry.channel == RestoreImageCatalog::Entry::Channel::regular; });
    std::stable_sort(regular.begin(), regular.end(), [](const RestoreImageCatalog::Entry &left, const RestoreImageCatalog::Entry &right) {
        return VersionString::compare(left.version, right.version) > 0;
    });
    return regular;
}

bool RestoreImageCatalogService::fitsHostMajor(const RestoreImageCatalog::Entry &entry) const
{
    return !m_options.hostVersion || VersionString::majorNumber(entry.version) <= m_options.hostVersion->majorVersion;
}

void RestoreImageCatalogService::log(const QString &message) const
{
    m_logging.log(message, category);
}
