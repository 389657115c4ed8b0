// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

class LoggingService;

/**
 * The folders that backups and exports wrote into lately, kept in a small
 * JSON file beside the tracked-bundles registry, so that a library load can
 * look in them for what such work left behind when it was cut short (it
 * stages its result in a hidden folder there). Most recent first, each
 * folder once, at most `capacity` of them: a load looks into each, so the
 * list stays short. Used on the GUI thread; nothing here throws.
 */
class RecentDestinations
{
public:
    static constexpr qsizetype capacity = 16;

    RecentDestinations(QString url, const LoggingService &logging);

    const QString &url() const { return m_url; }

    /// The folders, most recent first; a missing or unreadable file lists none.
    QList<QString> folders() const;

    /**
     * Puts `folder` first. Called before work starts writing there; a failure
     * is logged and the work goes on (what it leaves is then found only if
     * it lies where the library is).
     */
    void remember(const QString &folder) const;

private:
    QString m_url;
    const LoggingService &m_logging;
};
