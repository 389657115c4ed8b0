// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <chrono>

class LoggingService;

/**
 * Tells the views whether a qemu-system-aarch64 is present, and on request
 * installs the pinned QEMU package from the OCI container registry into the
 * application's own QEMU folder: an anonymous pull token, the one blob,
 * extraction and a check that the program runs. It publishes an installed
 * flag, a busy flag, a progress fraction and a status text, each announced
 * on every assignment; a failed run ends in the status text and the
 * application log ("QEMU"), never in a thrown error. GUI thread only.
 *
 * The registry's package is built for one system (the default one for
 * macOS on Apple silicon). On any other system nothing is fetched: a run
 * ends at once with the advice to install QEMU from the distribution, and
 * canInstallHere() lets the views offer that advice in place of the button.
 * The blob is checked against its pinned SHA-256 digest before anything is
 * unpacked, and nothing counts as installed until `--version` of the
 * unpacked program succeeds; otherwise its files are removed again.
 *
 * @code
 * QEMUSetupService setup(logging);
 * if (!setup.isQEMUInstalled())
 *     co_await setup.downloadQEMU(); // watch statusMessageChanged() meanwhile
 * @endcode
 */
class QEMUSetupService final : public QObject
{
    Q_OBJECT

public:
    static constexpr QStringView qemuVersion = u"10.2.2";
    /// The package blob's digest; the registry serves it by this digest and the download must match it.
    static constexpr QStringView qemuBottleSHA = u"fea6573542eafdf966ec8c73251ba53dda05d9a5f2bc4abddea74483ee451273";
    static constexpr QStringView qemuGHCRRepo = u"homebrew/core/qemu";
    /// The system the pinned package's programs run on, as hostSystem() names systems.
    static constexpr QStringView qemuBottleSystem = u"darwin/arm64";
    /// The firmware package is known but not fetched: the engine looks for firmware of its own.
    static constexpr QStringView edk2BottleSHA = u"f2a36b1891c4a9a7e2ac41bd8ad6b8acef3e2acf6ddff44b72842c85f93e7cef";
    static constexpr QStringView edk2GHCRRepo = u"homebrew/core/edk2";

    /// Longest wait for the token, and for the blob to make progress; the blob as a whole may take an hour.
    static constexpr std::chrono::seconds tokenTimeout{60};
    static constexpr std::chrono::seconds blobIdleTimeout{600};
    static constexpr std::chrono::seconds blobTimeout{3600};
    /// Longest wait for `qemu-system-aarch64 --version`.
    static constexpr std::chrono::seconds versionCheckTimeout{30};

    /// Where the package comes from.
    struct Source {
        /// Scheme, host and port of the registry; its host name is also the token's "service".
        QUrl registryURL;
        QString repository;
        /// Lower-case hexadecimal SHA-256 of the blob.
        QString blobDigest;
        /// The system the package's programs run on; unless it is this host's, nothing is fetched.
        QString system = hostSystem();
    };

    /// Where the program is looked for and put.
    struct Places {
        /// The application's QEMU folder; the program goes to bin/qemu-system-aarch64 inside it.
        QString installDirectory;
        /// Where each run makes its download folder.
        QString temporaryDirectory;
        /// Other programs that count as an installed QEMU, in the order they are looked at.
        QStringList otherProgramPaths;
    };

    /// This host's kernel and processor, "linux/x86_64" for example.
    static QString hostSystem();
    /// The QEMU folder under the application's data folder ("Zovozu VM Lab/QEMU"); asking does not create it.
    static QString defaultInstallDirectory();
    static Source defaultSource();
    /// The default QEMU folder, the system's temporary folder, then Homebrew's two places and this host's own.
    static Places defaultPlaces();

    explicit QEMUSetupService(const LoggingService &loggingService, QObject *parent = nullptr);
    QEMUSetupService(const LoggingService &loggingService, Source source, Places places, QObject *parent = nullptr);

    bool isQEMUInstalled() const { return m_isQEMUInstalled; }
    bool isDownloading() const { return m_isDownloading; }
    double downloadProgress() const { return m_downloadProgress; }
    const QString &statusMessage() const { return m_statusMessage; }

    /// Whether downloadQEMU() can give this host a QEMU that runs; without it the way is the distribution's package.
    bool canInstallHere() const { return m_source.system == hostSystem(); }
    /// Sets isQEMUInstalled from whether a program exists in the QEMU folder or at one of the other places.
    void refreshInstallState();
    QString qemuInstallDirectory() const { return m_places.installDirectory; }

    /**
     * Downloads, unpacks, checks and installs QEMU, publishing each step.
     * Returns at once while a run is in progress, and with the failure in
     * the status text when the package cannot run here. Never throws.
     */
    QCoro::Task<> downloadQEMU();

Q_SIGNALS:
    void isQEMUInstalledChanged(bool installed);
    void isDownloadingChanged(bool downloading);
    void downloadProgressChanged(double progress);
    void statusMessageChanged(const QString &message);

private:
    QCoro::Task<> install();
    QCoro::Task<QString> requestToken();
    QCoro::Task<QString> downloadBlob(QString token, QString downloadFolder);
    QCoro::Task<> extract(QString archivePath);
    QCoro::Task<> verifyProgram(QString program);
    bool normalizeInstallLayout() const;
    QString programPath() const;
    void discardInstallation() const;

    void setQEMUInstalled(bool installed);
    void setDownloading(bool downloading);
    void setDownloadProgress(double progress);
    void setStatusMessage(const QString &message);

    const LoggingService &m_logging;
    Source m_source;
    Places m_places;
    QNetworkAccessManager m_network;
    bool m_isQEMUInstalled = false;
    bool m_isDownloading = false;
    double m_downloadProgress = 0;
    QString m_statusMessage;
};
