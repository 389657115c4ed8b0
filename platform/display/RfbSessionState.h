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
 * `mutex`. After each update the worker leaves its finished picture in
 * `frame` and adds what the update drew to `dirty`; the GUI thread takes the
 * picture as it is (the image's data is shared, not copied), takes `dirty`
 * with it and leaves the picture it showed before in `spare` for the worker
 * to draw the next update into. Nobody writes into a picture while it is
 * here. When the GUI thread falls behind, the worker takes `frame` back,
 * draws the next update on top and leaves it again with both updates in
 * `dirty`.
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
    /// The newest picture of the screen, until the GUI thread takes it.
    QImage frame;
    /// What changed in `frame` since the picture the GUI thread took before.
    QRegion dirty;
    /// `frame` has a new size (or follows one) and shares nothing with the picture the GUI thread shows.
    bool resized = false;
    /// The picture the GUI thread showed before it took `frame`, for the worker to draw into.
    QImage spare;
    /// The next update request, sent by the GUI thread when it takes `frame`, so a slow reader never builds a backlog.
    QByteArray heldRequest;
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
