// SPDX-License-Identifier: MIT
#include "QEMUSetupService.h"

#include "BackgroundWork.h"
#include "CappedReplyBody.h"
#include "DownloadSpace.h"
#include "ErrorText.h"
#include "FileDownload.h"
#include "FileOperations.h"
#include "HostInstallAdvice.h"
#include "HostProfile.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "NetworkReplies.h"
#include "PlatformError.h"
#include "ReplyGuard.h"
#include "SignalWaiter.h"
#include "TarArchiveExtraction.h"
#include "VirtualMachineError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryFile>
#include <QUrlQuery>
#include <QUuid>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>

namespace {

const QString category = QStringLiteral("QEMU");
const QString programName = QStringLiteral("qemu-system-aarch64");
/// The largest token answer read; a registry's is a few hundred bytes.
constexpr qint64 maximumTokenAnswerSize = 64 * 1024;

/// The service went away while a run waited; the run ends without touching it.
struct Abandoned {
};

void ensureAlive(const QPointer<QEMUSetupService> &self)
{
    if (!self)
        throw Abandoned{};
}

// Kept out of the coroutines: with UBSan and no optimisation, g++ 12 crashes on a local enumeration inside one.
enum ProgramOutcome { exited, failedToStart };

} // namespace

using NetworkReplies::httpStatus;
using NetworkReplies::timedOut;
using NetworkReplies::transportError;
using NetworkReplies::waitForReply;
using NetworkReplies::waitForReplyOrError;

QString QEMUSetupService::defaultInstallDirectory()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    return base + QStringLiteral("/Zovozu VM Lab/QEMU");
}

QString QEMUSetupService::hostSystem()
{
    return QSysInfo::kernelType() + QLatin1Char('/') + QSysInfo::currentCpuArchitecture();
}

QEMUSetupService::Source QEMUSetupService::defaultSource()
{
    return {QUrl(QStringLiteral("https://ghcr.io")), qemuGHCRRepo.toString(), qemuBottleSHA.toString(), qemuBottleSystem.toString()};
}

QEMUSetupService::Places QEMUSetupService::defaultPlaces()
{
    QStringList others{QStringLiteral("/opt/homebrew/bin/qemu-system-aarch64"), QStringLiteral("/usr/local/bin/qemu-system-aarch64")};
    others << HostProfile::qemuProgramPlaces();
    return {defaultInstallDirectory(), QDir::tempPath(), others};
}

QEMUSetupService::QEMUSetupService(const LoggingService &loggingService, QObject *parent)
    : QEMUSetupService(loggingService, defaultSource(), defaultPlaces(), parent)
{
}

QEMUSetupService::QEMUSetupService(const LoggingService &loggingService, Source source, Places places, QObject *parent)
    : QObject(parent)
    , m_logging(loggingService)
    , m_source(std::move(source))
    , m_places(std::move(places))
{
    refreshInstallState();
}

void QEMUSetupService::refreshInstallState()
{
    bool found = QFileInfo(programPath()).isFile();
    for (qsizetype index = 0; !found && index < m_places.otherProgramPaths.size(); ++index)
        found = QFileInfo(m_places.otherProgramPaths[index]).isFile();
    setQEMUInstalled(found);
}

QCoro::Task<> QEMUSetupService::downloadQEMU()
{
    if (m_isDownloading)
        co_return;
    if (!canInstallHere()) {
        // Known before a byte is fetched: ~105 MB for a package that is removed again after its check.
        const QString text = ErrorText::describe(std::make_exception_ptr(VirtualMachineError(
            VirtualMachineError::Case::runtimeError, QStringLiteral("The QEMU package offered for download is built for %1 and cannot run on this system. "
                                                                    "Install it with: %2")
                                                         .arg(m_source.system, HostInstallAdvice::qemuInstallCommand))));
        setStatusMessage(QStringLiteral("Failed: ") + text);
        m_logging.log(text, category);
        co_return;
    }
    QPointer<QEMUSetupService> self(this);
    setDownloading(true);
    setDownloadProgress(0);
    setStatusMessage(QStringLiteral("Preparing to download QEMU %1...").arg(qemuVersion));

    std::exception_ptr failure;
    try {
        co_await install();
    } catch (const Abandoned &) {
        co_return;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        const QString text = ErrorText::describe(failure);
        setStatusMessage(QStringLiteral("Failed: ") + text);
        m_logging.log(text, category);
    }
    setDownloading(false);
}

QCoro::Task<> QEMUSetupService::install()
{
    QPointer<QEMUSetupService> self(this);
    setStatusMessage(QStringLiteral("Authenticating with GitHub Container Registry..."));
    setDownloadProgress(0.05);
    const QString token = co_await requestToken();
    ensureAlive(self);

    setStatusMessage(QStringLiteral("Downloading QEMU %1 (~105 MB)...").arg(qemuVersion));
    setDownloadProgress(0.1);
    const QString downloadFolder = m_places.temporaryDirectory + QStringLiteral("/qemu-download-")
                                   + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString archive = co_await downloadBlob(token, downloadFolder);
    ensureAlive(self);

    setDownloadProgress(0.6);
    setStatusMessage(QStringLiteral("Extracting QEMU..."));
    co_await extract(archive);
    ensureAlive(self);

    setDownloadProgress(0.9);
    setStatusMessage(QStringLiteral("Verifying installation..."));
    const QString program = programPath();
    if (!QFileInfo::exists(program) && !normalizeInstallLayout()) {
        discardInstallation();
        throw VirtualMachineError(VirtualMachineError::Case::runtimeError, QStringLiteral("QEMU binary not found after extraction."));
    }
    ::chmod(QFile::encodeName(program).constData(), 0755); // a failure shows in the check that follows
    co_await verifyProgram(program);
    ensureAlive(self);
    try {
        FileOperations::removeItem(downloadFolder);
    } catch (const PlatformError &) {
        // Only a leftover in the temporary folder.
    }

    setDownloadProgress(1.0);
    setStatusMessage(QStringLiteral("QEMU %1 installed successfully.").arg(qemuVersion));
    setQEMUInstalled(true);
    m_logging.log(QStringLiteral("Installed QEMU %1 to %2").arg(qemuVersion, m_places.installDirectory), category);
}

QCoro::Task<QString> QEMUSetupService::requestToken()
{
    QPointer<QEMUSetupService> self(this);
    QUrl url = m_source.registryURL;
    url.setPath(QStringLiteral("/token"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("service"), m_source.registryURL.host());
    query.addQueryItem(QStringLiteral("scope"), QStringLiteral("repository:%1:pull").arg(m_source.repository));
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setTransferTimeout(int(std::chrono::milliseconds(tokenTimeout).count()));

    const ReplyGuard reply(m_network.get(request));
    CappedReplyBody answer(reply.get(), maximumTokenAnswerSize);
    const bool finished = co_await waitForReplyOrError(reply.get(), tokenTimeout);
    ensureAlive(self);
    if (!reply.get())
        throw Abandoned{};
    if (answer.isTooLarge())
        throw VirtualMachineError(VirtualMachineError::Case::restoreImageDownloadFailed,
                                  QStringLiteral("Failed to authenticate with GHCR: its answer is larger than %1 bytes.").arg(maximumTokenAnswerSize));
    if (!finished)
        throw timedOut();
    // The status is not looked at: whatever answer carries a token will do. An answer that failed on the way (say, it does not inflate) is cut.
    if (!httpStatus(*reply.get()) || !reply.get()->isFinished())
        throw transportError(*reply.get());
    const QByteArray body = answer.take();
    const Json json = Json::parse(body.begin(), body.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.contains("token") || !json["token"].is_string())
        throw VirtualMachineError(VirtualMachineError::Case::restoreImageDownloadFailed, QStringLiteral("Failed to authenticate with GHCR."));
    co_return QString::fromStdString(json["token"].get<std::string>());
}

QCoro::Task<QString> QEMUSetupService::downloadBlob(QString token, QString downloadFolder)
{
    QPointer<QEMUSetupService> self(this);
    QUrl url = m_source.registryURL;
    url.setPath(QStringLiteral("/v2/%1/blobs/sha256:%2").arg(m_source.repository, m_source.blobDigest));
    const FileDownload::Request request{url, {{"Authorization", "Bearer " + token.toUtf8()}}, blobIdleTimeout, blobTimeout};

    FileOperations::createFolders(downloadFolder);
    QTemporaryFile download(m_places.temporaryDirectory + QStringLiteral("/qemu-blob-XXXXXX"));
    if (!download.open())
        throw PlatformError(PlatformError::Domain::file, 0, download.errorString(), download.fileTemplate());
    download.close();

    // The body goes to the file as it arrives, hashed on the way (on the transfer's thread); 105 MB need not sit in memory.
    QCryptographicHash digest(QCryptographicHash::Sha256);
    FileDownload transfer(
        request, download.fileName(), DownloadSpace(m_places.temporaryDirectory),
        [](const HttpAnswer &answer) { return answer.status >= 200 && answer.status <= 299 ? std::optional<qint64>(0) : std::nullopt; },
        [&](QByteArrayView chunk) { digest.addData(chunk); });
    co_await transfer.run();
    ensureAlive(self);

    if (transfer.stop() == FileDownload::Stop::writeFailed)
        throw PlatformError(PlatformError::Domain::file, 0, transfer.errorString(), download.fileName());
    if (transfer.stop() == FileDownload::Stop::outOfSpace)
        throw VirtualMachineError(VirtualMachineError::Case::restoreImageDownloadFailed,
                                  QStringLiteral("There is not enough free space to download QEMU: the disk ran out of free space after %1 bytes.")
                                      .arg(transfer.received()));
    if (transfer.stop() == FileDownload::Stop::refused)
        throw VirtualMachineError(VirtualMachineError::Case::restoreImageDownloadFailed,
                                  QStringLiteral("QEMU download failed with HTTP %1").arg(transfer.answer()->status));
    if (transfer.ending() == FileDownload::Ending::timedOut)
        throw timedOut();
    if (transfer.ending() != FileDownload::Ending::complete)
        throw std::runtime_error(transfer.errorString().toStdString());
    // Nothing is unpacked that is not the very package the digest names.
    if (QString::fromLatin1(digest.result().toHex()) != m_source.blobDigest.toLower())
        throw VirtualMachineError(VirtualMachineError::Case::restoreImageDownloadFailed,
                                  QStringLiteral("The downloaded QEMU package does not match its SHA-256 digest."));

    const QString archive = downloadFolder + QStringLiteral("/qemu.tar.gz");
    if (std::rename(QFile::encodeName(download.fileName()).constData(), QFile::encodeName(archive).constData()) != 0)
        throw PlatformError::posix(errno, archive);
    download.setAutoRemove(false);
    co_return archive;
}

QCoro::Task<> QEMUSetupService::extract(QString archivePath)
{
    QPointer<QEMUSetupService> self(this);
    const QString folder = m_places.installDirectory;
    FileOperations::createFolders(folder);
    std::exception_ptr failure;
    try {
        co_await BackgroundWork::run(&TarArchiveExtraction::extract, archivePath, folder, 2);
    } catch (...) {
        failure = std::current_exception();
    }
    ensureAlive(self);
    if (!failure)
        co_return;
    // A half-unpacked package must not pass for an installed QEMU later.
    discardInstallation();
    try {
        std::rethrow_exception(failure);
    } catch (const TarArchiveExtraction::ArchiveError &error) {
        throw VirtualMachineError(VirtualMachineError::Case::runtimeError,
                                  QStringLiteral("Failed to extract QEMU (%1)").arg(QString::fromUtf8(error.what())));
    }
}

QCoro::Task<> QEMUSetupService::verifyProgram(QString program)
{
    QPointer<QEMUSetupService> self(this);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    SignalWaiter waiter;
    waiter.watch(&process, &QProcess::finished, exited);
    waiter.watchFailedStart(&process, failedToStart);
    process.start(program, {QStringLiteral("--version")}, QIODevice::ReadOnly);
    const std::optional<int> outcome = co_await waiter.wait(versionCheckTimeout);
    const bool runs = outcome == exited && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
    }
    ensureAlive(self);
    if (runs)
        co_return;
    discardInstallation();
    throw VirtualMachineError(VirtualMachineError::Case::runtimeError,
                              QStringLiteral("The downloaded QEMU cannot run on this system. Install it with: ")
                                  + HostInstallAdvice::qemuInstallCommand.toString());
}

bool QEMUSetupService::normalizeInstallLayout() const
{
    const QString folder = m_places.installDirectory;
    QDirIterator items(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (items.hasNext()) {
        const QString item = items.next();
        if (items.fileName() != programName)
            continue;
        QDir().mkdir(folder + QStringLiteral("/bin"));
        const QString program = programPath();
        if (!QFileInfo::exists(program))
            std::rename(QFile::encodeName(item).constData(), QFile::encodeName(program).constData());
        return true;
    }
    return false;
}

QString QEMUSetupService::programPath() const
{
    return m_places.installDirectory + QStringLiteral("/bin/") + programName;
}

void QEMUSetupService::discardInstallation() const
{
    try {
        FileOperations::removeItem(m_places.installDirectory);
    } catch (const PlatformError &) {
        // Nothing there, or nothing more to do about it.
    }
}

void QEMUSetupService::setQEMUInstalled(bool installed)
{
    m_isQEMUInstalled = installed;
    Q_EMIT isQEMUInstalledChanged(installed);
}

void QEMUSetupService::setDownloading(bool downloading)
{
    m_isDownloading = downloading;
    Q_EMIT isDownloadingChanged(downloading);
}

void QEMUSetupService::setDownloadProgress(double progress)
{
    m_downloadProgress = progress;
    Q_EMIT downloadProgressChanged(progress);
}

void QEMUSetupService::setStatusMessage(const QString &message)
{
    m_statusMessage = message;
    Q_EMIT statusMessageChanged(message);
}
