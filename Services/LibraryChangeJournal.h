// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>

/**
 * What the GUI thread changes in the library's list while reloads read the
 * disk on a worker. A reload's read may have come before a save, a deletion
 * or a registration made meanwhile; publishing it as read would undo the
 * save, bring back the deleted VM or drop the registered one. Each reload
 * marks where it began and applies the changes made since over its read.
 * Changes are kept only while a reload runs.
 *
 * @code
 * const auto since = journal.begin();
 * QList<VMBundle> read = co_await readOnAWorker();
 * read = journal.appliedSince(since, std::move(read));
 * journal.end();
 * @endcode
 */
class LibraryChangeJournal
{
public:
    using Mark = quint64;

    /// A reload begins: changes from now on are kept for it.
    Mark begin();
    /// A reload has ended; once none runs, the kept changes are dropped.
    void end();

    void recordSaved(const VMBundle &bundle);
    void recordDeleted(const QUuid &id);

    /// `read` with every change since `since` applied in order: a saved VM replaces its entry or comes first, a deleted one leaves.
    QList<VMBundle> appliedSince(Mark since, QList<VMBundle> read) const;
    /// The VMs saved or deleted since `since`.
    QSet<QUuid> changedSince(Mark since) const;

private:
    struct Change {
        QUuid id;
        std::optional<VMBundle> saved; ///< none: the VM was deleted
    };

    void record(Change change);
    /// The kept changes from `since` on.
    QList<Change> changesSince(Mark since) const;

    QList<Change> m_changes;
    /// The mark of the first kept change.
    Mark m_first = 0;
    int m_running = 0;
};
