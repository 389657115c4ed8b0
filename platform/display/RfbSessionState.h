// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QMutex>
#include <QPoint>
#include <QRegion>
#include <QString>

#include <optional>

/**
 * What a display session's worker thread hands to the GUI thread, guarded by
 * `mutex`: the worker decodes into `framebuffer` and adds what it redrew to
 * `dirty`; the GUI thread copies the dirty part into its own image and clears
 * it. News accumulate until the GUI thread takes them, so a GUI thread that
 * falls behind takes several server updates in one copy.
 */
struct RfbSessionState {
    /// What the server said about itself; the latest word counts.
    struct Server {
        bool extendedKeys = false;
        bool resizes = false;
        bool refusedResize = false;
        quint32 screenId = 0;
        quint32 screenFlags = 0;
    };
    struct Cursor {
        QImage shape;
        QPoint hotSpot;
    };

    QMutex mutex;
    QImage framebuffer;
    QRegion dirty;
    /// The framebuffer was replaced (a new size) since the GUI thread last took it.
    bool resized = false;
    bool connected = false;
    QString desktopName;
    Server server;
    std::optional<Cursor> cursor;
    /// Set when the session ended: the sentence for the user, empty when it was stopped.
    std::optional<QString> ending;
    /// The session ended because the server hung up.
    bool endedByServer = false;
    /// A notification is on its way to the GUI thread.
    bool notified = false;
};
