// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QUuid>

#include <optional>

class LoggingService;
class VMStore;

/**
 * The bundle a creation is building, taken out of the library and off the
 * disk again unless the creation keeps it: a creation that fails or is
 * cancelled leaves nothing behind. Only what the creation made goes: the VM
 * it registered (wherever a rename has moved it since), or else the folder
 * it was given a free name for, with its protection mirror, and the hidden
 * folder of mirrors beside it when there was none before. A folder that
 * another VM of the library lives in is left alone. Failures of the removal
 * are logged, never thrown.
 *
 * @code
 * UnfinishedBundle unfinished(store, logging, bundleURL, id);
 * co_await buildTheRest();
 * unfinished.keep();
 * @endcode
 */
class UnfinishedBundle
{
public:
    UnfinishedBundle(VMStore &store, const LoggingService &logging, QString bundleURL, QUuid id);
    ~UnfinishedBundle();
    UnfinishedBundle(const UnfinishedBundle &) = delete;
    UnfinishedBundle &operator=(const UnfinishedBundle &) = delete;

    /// The creation finished: the bundle stays.
    void keep() { m_kept = true; }

private:
    void discard() const;

    VMStore &m_store;
    const LoggingService &m_logging;
    QString m_bundleURL;
    QUuid m_id;
    /// Where the mirrors beside the bundle live, when the creation is the first to make that folder.
    std::optional<QString> m_newMirrorRoot;
    bool m_kept = false;
};
