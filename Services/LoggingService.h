// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * The application's one log sink. Each message becomes one line
 *
 *   [2026-12-10T12:55:52.123Z] [Store] message
 *
 * printed to standard output and appended to the log of the bundle it
 * concerns (<bundle>/Logs/duvuzodovevav.log) or, without a bundle, to
 * app.log in the application's Logs folder. Logging never fails towards its
 * caller: a line that cannot be written is reported on standard output and
 * dropped. Used on the GUI thread only.
 */
class LoggingService
{
public:
    /// `bundleURL` is the bundle folder's path for a message about one VM, empty otherwise.
    void log(const QString &message, const QString &category, const QString &bundleURL = {}) const noexcept;

    /**
     * The file a line goes to. A bundle's Logs folder is only created inside
     * a bundle folder that still exists; the line of a bundle that has gone
     * goes to app.log rather than bringing back an empty bundle folder.
     * Throws PlatformError when the folder cannot be created.
     */
    QString logFileURL(const QString &bundleURL) const;

    /// Appends the line's UTF-8 bytes to the file, creating it; a link there is not followed (a bundle may come from anywhere). Throws PlatformError.
    static void append(const QString &line, const QString &filePath);

    /// The line as it is printed and written, line feed included.
    static QString formatLine(const QString &message, const QString &category);
};
