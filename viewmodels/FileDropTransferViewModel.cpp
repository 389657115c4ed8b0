// SPDX-License-Identifier: MIT
#include "FileDropTransferViewModel.h"

#include "BackgroundWork.h"
#include "ErrorText.h"
#include "SharedFolderDrop.h"
#include "VMDetailsViewModel.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPointer>

FileDropTransferViewModel::FileDropTransferViewModel(QObject *parent)
    : QObject(parent)
{
}

FileDropTransferViewModel::FileDropTransferViewModel(const VMDetailsViewModel &details, QObject *parent)
    : QObject(parent)
{
    follow(details);
    connect(&details, &VMDetailsViewModel::bundleChanged, this, [this, &details] { follow(details); });
}

void FileDropTransferViewModel::follow(const VMDetailsViewModel &details)
{
    const std::optional<QUrl> share = details.firstSharedFolderURL();
    setSharedFolder(share ? std::optional<QString>(share->toLocalFile()) : std::nullopt);
    setVMName(details.displayTitle());
}

void FileDropTransferViewModel::setSharedFolder(std::optional<QString> folder)
{
    m_sharedFolder = std::move(folder);
    Q_EMIT sharedFolderChanged();
}

void FileDropTransferViewModel::setVMName(const QString &name)
{
    m_vmName = name;
    Q_EMIT vmNameChanged();
}

QCoro::Task<bool> FileDropTransferViewModel::drop(QStringList paths)
{
    if (!m_sharedFolder)
        co_return false;
    const QString folder = *m_sharedFolder;
    QPointer<FileDropTransferViewModel> self(this);
    setPending(m_pending + int(paths.size()));
    // An accepted drop is copied whole: the user was told it was taken. Once the pane has gone
    // (another VM selected), the copies go on with nobody to show them to.
    for (const QString &path : paths) {
        TransferredFile transfer;
        transfer.id = QUuid::createUuid();
        transfer.name = QFileInfo(QDir::cleanPath(path)).fileName();
        try {
            transfer.sizeBytes = co_await BackgroundWork::run(&SharedFolderDrop::copyInto, path, folder);
            transfer.success = true;
        } catch (...) {
            transfer.errorMessage = ErrorText::describe(std::current_exception());
        }
        if (!self)
            continue;
        transfer.transferredAt = QDateTime::currentDateTimeUtc();
        setPending(m_pending - 1);
        record(std::move(transfer));
    }
    co_return true;
}

void FileDropTransferViewModel::record(TransferredFile transfer)
{
    const bool success = transfer.success;
    const std::optional<QString> error = transfer.errorMessage;
    const QString name = transfer.name;
    m_transfers.prepend(std::move(transfer));
    if (success && m_transfers.size() > keptTransfers)
        m_transfers.resize(keptTransfers);
    Q_EMIT transfersChanged();
    if (error)
        Q_EMIT failed(tr("“%1” could not be copied to the shared folder. %2").arg(name, *error));
}

void FileDropTransferViewModel::setPending(int count)
{
    m_pending = count;
    Q_EMIT pendingCountChanged();
}

QString FileDropTransferViewModel::countText() const
{
    const qsizetype count = m_transfers.size();
    if (count == 0)
        return {};
    return QString::number(count) + (count == 1 ? QStringLiteral(" file transferred") : QStringLiteral(" files transferred"));
}

QString FileDropTransferViewModel::promptText(bool targeted) const
{
    return targeted ? QStringLiteral("Drop to transfer") : QStringLiteral("Drag files here to send to ") + m_vmName;
}

QString FileDropTransferViewModel::progressText() const
{
    if (m_pending == 0)
        return {};
    return m_pending == 1 ? QStringLiteral("Copying 1 item…") : QStringLiteral("Copying %1 items…").arg(m_pending);
}

QString FileDropTransferViewModel::iconName(const QString &name)
{
    static const QHash<QString, QString> symbols {
        {QStringLiteral("swift"), QStringLiteral("doc.text")},
        {QStringLiteral("py"), QStringLiteral("doc.text")},
        {QStringLiteral("js"), QStringLiteral("doc.text")},
        {QStringLiteral("ts"), QStringLiteral("doc.text")},
        {QStringLiteral("c"), QStringLiteral("doc.text")},
        {QStringLiteral("cpp"), QStringLiteral("doc.text")},
        {QStringLiteral("h"), QStringLiteral("doc.text")},
        {QStringLiteral("m"), QStringLiteral("doc.text")},
        {QStringLiteral("rs"), QStringLiteral("doc.text")},
        {QStringLiteral("png"), QStringLiteral("photo")},
        {QStringLiteral("jpg"), QStringLiteral("photo")},
        {QStringLiteral("jpeg"), QStringLiteral("photo")},
        {QStringLiteral("gif"), QStringLiteral("photo")},
        {QStringLiteral("svg"), QStringLiteral("photo")},
        {QStringLiteral("webp"), QStringLiteral("photo")},
        {QStringLiteral("pdf"), QStringLiteral("doc.richtext")},
        {QStringLiteral("zip"), QStringLiteral("doc.zipper")},
        {QStringLiteral("tar"), QStringLiteral("doc.zipper")},
        {QStringLiteral("gz"), QStringLiteral("doc.zipper")},
        {QStringLiteral("dmg"), QStringLiteral("doc.zipper")},
        {QStringLiteral("app"), QStringLiteral("app.gift")},
        {QStringLiteral("pkg"), QStringLiteral("shippingbox")},
    };
    return symbols.value(QFileInfo(name).suffix().toLower(), QStringLiteral("doc"));
}
