// SPDX-License-Identifier: MIT
#pragma once

#include "HttpAnswer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

/**
 * What a download may continue from: its partial file and, in a companion
 * file, the address, the validator (a strong ETag, else Last-Modified) and
 * the whole length of the version the partial file holds. A later transfer
 * asks for the rest with Range and If-Range, and a 206 is taken only when it
 * is provably the rest of that same version: it starts at the partial
 * file's end, names the same validator and the same whole length. Anything
 * else (another version behind the same address, a server that ignores
 * If-Range, a range that starts elsewhere, 416) starts over from zero, so
 * two versions of a file are never joined.
 *
 * judge() runs on the transfer's thread, the rest on the caller's.
 *
 * @code
 * DownloadResume resume(url, partialPath, partialPath + ".resumeData");
 * request.headers += resume.rangeHeaders();
 * // in the transfer's check of the answer:
 * const DownloadResume::Judgement judgement = resume.judge(answer);
 * @endcode
 */
class DownloadResume
{
public:
    /// How an answer relates to the partial file.
    enum class Verdict {
        /// 200: the whole file, from its first byte.
        fresh,
        /// 206: the rest of the version the partial file holds.
        resumed,
        /// The partial file cannot be continued with this answer; the next transfer starts over.
        startOver,
        /// Any other status (or a 206 nobody asked for).
        other,
    };
    struct Judgement {
        Verdict verdict = Verdict::other;
        /// Where in the partial file the body starts.
        qint64 start = 0;
        /// The whole file's length; below 0 when the answer does not say.
        qint64 expectedTotal = -1;
    };

    /// Reads the companion file; saved data for another address, or without a partial file, is removed.
    DownloadResume(const QUrl &source, QString partialPath, QString resumeDataPath);

    /// Whether the transfer asks for the rest of the partial file.
    bool isResuming() const { return m_resuming; }
    /// The size of the partial file asked to be continued; 0 when not resuming.
    qint64 offset() const { return m_offset; }
    const QString &source() const { return m_source; }
    const QString &partialPath() const { return m_partialPath; }

    /// Range and If-Range when resuming, else none.
    QList<std::pair<QByteArray, QByteArray>> rangeHeaders() const;

    /// Judges a final answer; a fresh one's validator and length become what a later transfer resumes under. Throws
    /// std::runtime_error when a 200's Content-Length is not a number.
    Judgement judge(const HttpAnswer &answer);

    /// Keeps what a later transfer needs to resume the fresh body judged last, or removes it when that body has no
    /// validator. A failure to write is ignored: a break then starts over.
    void store() const;
    /// Whether a later transfer could resume from what is on disk.
    bool canResume() const;
    /// Removes the partial file and its companion.
    void discard() const;
    /// Removes only the companion (the partial file became the complete file).
    void forget() const;

    /// Whether a partial file and what a later transfer needs to resume it are on disk.
    static bool isSaved(const QString &partialPath, const QString &resumeDataPath);

    /// The validator a later range request may name: a strong ETag, else Last-Modified; empty when there is none.
    static QByteArray validatorOf(const HttpAnswer &answer);

private:
    struct Saved {
        QString url;
        QString validator;
        /// The whole length of the version; below 0 when it was not announced.
        qint64 length = -1;
    };
    static std::optional<Saved> read(const QString &path);
    bool isRestOfSavedVersion(const HttpAnswer &answer, qint64 &total) const;

    const QString m_source;
    const QString m_partialPath;
    const QString m_resumeDataPath;
    std::optional<Saved> m_saved;
    bool m_resuming = false;
    qint64 m_offset = 0;
};
