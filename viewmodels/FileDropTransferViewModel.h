// SPDX-License-Identifier: MIT
#pragma once

#include "TransferredFile.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class VMDetailsViewModel;

/**
 * The state behind a VM's file-transfer drop zone: the host folder of the
 * VM's first shared folder, the VM's name for the prompt, and the transfers
 * made while the zone is shown (newest first, at most 50 after a success,
 * never stored). Each dropped item is copied into the shared folder on a
 * worker thread (SharedFolderDrop); its record appears when its copy ends,
 * a failure as a record with the error. Without a shared folder drops are
 * refused. Built over a details pane's view model, it follows that VM's
 * first shared folder and name. GUI thread.
 *
 * @code
 * if (model.acceptsDrops())
 *     QCoro::connect(model.drop(localPaths), this, [] {});
 * @endcode
 */
class FileDropTransferViewModel : public QObject
{
    Q_OBJECT

public:
    /// Records kept after a success trims the list.
    static constexpr int keptTransfers = 50;
    /// Records the zone lists.
    static constexpr int shownTransfers = 10;

    explicit FileDropTransferViewModel(QObject *parent = nullptr);
    /// Follows the first shared folder and the name of the VM that `details` shows, for as long as both live.
    explicit FileDropTransferViewModel(const VMDetailsViewModel &details, QObject *parent = nullptr);

    const std::optional<QString> &sharedFolder() const { return m_sharedFolder; }
    void setSharedFolder(std::optional<QString> folder);
    const QString &vmName() const { return m_vmName; }
    void setVMName(const QString &name);

    bool acceptsDrops() const { return m_sharedFolder.has_value(); }

    /**
     * Copies each of the local items into the shared folder taken now, one
     * after another; false, copying nothing, without a shared folder. The
     * task ends when the last copy has, and every item is copied even when
     * this model is destroyed before that (its records then go nowhere).
     */
    QCoro::Task<bool> drop(QStringList paths);

    /// Newest first.
    const QList<TransferredFile> &transfers() const { return m_transfers; }
    /// The ten newest.
    QList<TransferredFile> recentTransfers() const { return m_transfers.mid(0, shownTransfers); }
    /// Items dropped and not yet copied.
    int pendingCount() const { return m_pending; }

    /// "3 files transferred", failures counted too; empty while there are none.
    QString countText() const;
    /// What the zone says, while a drag hovers over it or not.
    QString promptText(bool targeted) const;
    /// "Copying 2 items…" while copies run, else empty.
    QString progressText() const;
    /// The symbol of a file by its last extension, case aside; "doc" for any other.
    static QString iconName(const QString &name);

Q_SIGNALS:
    void sharedFolderChanged();
    void vmNameChanged();
    void transfersChanged();
    void pendingCountChanged();
    /// A copy failed; `message` names the item and the reason.
    void failed(const QString &message);

private:
    void follow(const VMDetailsViewModel &details);
    void record(TransferredFile transfer);
    void setPending(int count);

    std::optional<QString> m_sharedFolder;
    QString m_vmName;
    QList<TransferredFile> m_transfers;
    int m_pending = 0;
};
