// SPDX-License-Identifier: MIT
#include "LibraryChangeJournal.h"

#include <algorithm>

LibraryChangeJournal::Mark LibraryChangeJournal::begin()
{
    ++m_running;
    return m_first + Mark(m_changes.size());
}

void LibraryChangeJournal::end()
{
    if (m_running > 0 && --m_running == 0) {
        m_first += Mark(m_changes.size());
        m_changes.clear();
    }
}

void LibraryChangeJournal::recordSaved(const VMBundle &bundle)
{
    record(Change{bundle.id(), bundle});
}

void LibraryChangeJournal::recordDeleted(const QUuid &id)
{
    record(Change{id, std::nullopt});
}

void LibraryChangeJournal::record(Change change)
{
    if (m_running > 0)
        m_changes.append(std::move(change));
}

QList<LibraryChangeJournal::Change> LibraryChangeJournal::changesSince(Mark since) const
{
    const Mark skipped = since > m_first ? since - m_first : 0;
    return skipped >= Mark(m_changes.size()) ? QList<Change>() : m_changes.mid(qsizetype(skipped));
}

QList<VMBundle> LibraryChangeJournal::appliedSince(Mark since, QList<VMBundle> read) const
{
    for (const Change &change : changesSince(since)) {
        const auto sameVM = [&change](const VMBundle &entry) { return entry.id() == change.id; };
        if (!change.saved) {
            read.removeIf(sameVM);
            continue;
        }
        const auto existing = std::find_if(read.begin(), read.end(), sameVM);
        if (existing != read.end())
            *existing = *change.saved;
        else
            read.prepend(*change.saved);
    }
    return read;
}

QSet<QUuid> LibraryChangeJournal::changedSince(Mark since) const
{
    QSet<QUuid> ids;
    for (const Change &change : changesSince(since))
        ids.insert(change.id);
    return ids;
}
