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
 * app.log in the application's Logs folder. Control characters in the
 * message (a folder name may hold a line feed) are written as escapes, so
 * one message is always one line. Logging never fails towards its caller: a
 * line that cannot be written is reported on standard output and dropped.
 * It keeps no state, so any thread may log.
 */
class LoggingService
{
public:
    /// `bundleURL` is the bundle folder's path for a message about one VM, empty otherwise.
    void log(const QString &message, const QString &category, const QString &bundleURL = {}) const noexcept;

    /// The line as it is printed and written, line feed included.
    static QString formatLine(const QString &message, const QString &category);

private:
    /**
     * Appends the line to the bundle's log. The bundle folder and its Logs
     * folder are opened without following links (a Logs link is replaced by
     * a folder of our own), so a bundle from anywhere cannot make the log
     * write elsewhere. A bundle folder that has gone, or is a link, gets no
     * log: the line goes to app.log rather than bringing back an empty
     * bundle folder. Throws PlatformError.
     */
    static void appendToBundleLog(const QString &line, const QString &bundleURL);
    static void appendToApplicationLog(const QString &line);
};
