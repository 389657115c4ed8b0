// SPDX-License-Identifier: MIT
#include "DownloadResume.h"

#include "FileOperations.h"
#include "JSONCoding.h"
#include "PlatformError.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <stdexcept>

namespace {

qint64 fileSize(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

struct ContentRange {
    qint64 first = 0;
    qint64 last = 0;
    qint64 total = 0;
};

/// "bytes a-b/total", when the header reads so and describes a range inside the file.
std::optional<ContentRange> parseContentRange(const QByteArray &header)
{
    static const QRegularExpression pattern(QStringLiteral("^bytes (\\d{1,18})-(\\d{1,18})/(\\d{1,18})$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(header.trimmed()));
    if (!match.hasMatch())
        return std::nullopt;
    const ContentRange range{match.captured(1).toLongLong(), match.captured(2).toLongLong(), match.captured(3).toLongLong()};
    if (range.first > range.last || range.last >= range.total)
        return std::nullopt;
    return range;
}

bool isEntityTag(const QString &validator)
{
    return validator.startsWith(QLatin1Char('"')) || validator.startsWith(QStringLiteral("W/"));
}

} // namespace

DownloadResume::DownloadResume(const QUrl &source, QString partialPath, QString resumeDataPath)
    : m_source(source.toString(QUrl::FullyEncoded))
    , m_partialPath(std::move(partialPath))
    , m_resumeDataPath(std::move(resumeDataPath))
    , m_saved(read(m_resumeDataPath))
{
    if (m_saved && m_saved->url != m_source)
        m_saved.reset();
    if (m_saved && fileSize(m_partialPath) > 0 && (m_saved->length < 0 || fileSize(m_partialPath) < m_saved->length)) {
        m_resuming = true;
        m_offset = fileSize(m_partialPath);
    } else if (QFileInfo::exists(m_resumeDataPath)) {
        // Data we cannot resume from (another address, no partial file, a partial file longer than its version): start afresh.
        forget();
        m_saved.reset();
    }
}

QList<std::pair<QByteArray, QByteArray>> DownloadResume::rangeHeaders() const
{
    if (!m_resuming)
        return {};
    // The validator makes a changed file come whole (200) instead of as a range of another file.
    return {{"Range", "bytes=" + QByteArray::number(m_offset) + '-'}, {"If-Range", m_saved->validator.toUtf8()}};
}

QByteArray DownloadResume::validatorOf(const HttpAnswer &answer)
{
    // A weak entity tag says two versions mean the same, not that their bytes are the same: no range may join them.
    const QByteArray etag = answer.header("etag").trimmed();
    if (etag.startsWith('"'))
        return etag;
    return answer.header("last-modified").trimmed();
}

DownloadResume::Judgement DownloadResume::judge(const HttpAnswer &answer)
{
    Judgement judgement;
    if (answer.status == 206 && m_resuming) {
        qint64 total = -1;
        if (!isRestOfSavedVersion(answer, total))
            return {Verdict::startOver, m_offset, -1};
        return {Verdict::resumed, m_offset, total};
    }
    if (answer.status == 416 && m_resuming)
        return {Verdict::startOver, m_offset, -1};
    if (answer.status != 200)
        return {Verdict::other, m_offset, -1};

    // A fresh body: to a range request it means the file changed, so the partial data is worthless.
    judgement = {Verdict::fresh, 0, answer.announcedLength().value_or(-1)};
    const QByteArray validator = validatorOf(answer);
    if (validator.isEmpty())
        m_saved.reset();
    else
        m_saved = Saved{m_source, QString::fromLatin1(validator), judgement.expectedTotal};
    return judgement;
}

bool DownloadResume::isRestOfSavedVersion(const HttpAnswer &answer, qint64 &total) const
{
    const std::optional<ContentRange> range = parseContentRange(answer.header("content-range"));
    if (!range || range->first != m_offset)
        return false;
    if (m_saved->length >= 0 && range->total != m_saved->length)
        return false;
    // A server that ignores If-Range answers with the new version's range: only the validator tells.
    const QByteArray validator = isEntityTag(m_saved->validator) ? answer.header("etag").trimmed() : answer.header("last-modified").trimmed();
    if (QString::fromLatin1(validator) != m_saved->validator)
        return false;
    try {
        const std::optional<qint64> length = answer.announcedLength();
        if (length && *length != range->last - range->first + 1)
            return false;
    } catch (const std::runtime_error &) {
        return false;
    }
    total = range->total;
    return true;
}

void DownloadResume::store() const
{
    try {
        if (!m_saved) {
            forget();
            return;
        }
        JSONObjectWriter writer;
        writer.set("url", m_saved->url);
        writer.set("validator", m_saved->validator);
        if (m_saved->length >= 0)
            writer.set("length", m_saved->length);
        FileOperations::createFolders(QFileInfo(m_resumeDataPath).absolutePath());
        FileOperations::writeAtomically(m_resumeDataPath, sharedJSONEncoder().encodeJson(writer.take()));
    } catch (const PlatformError &) {
        // Without resume data a break starts over; the download itself goes on.
    }
}

bool DownloadResume::canResume() const
{
    return m_saved && fileSize(m_partialPath) > 0 && QFileInfo::exists(m_resumeDataPath);
}

bool DownloadResume::isSaved(const QString &partialPath, const QString &resumeDataPath)
{
    return fileSize(partialPath) > 0 && read(resumeDataPath).has_value();
}

void DownloadResume::discard() const
{
    forget();
    QFile::remove(m_partialPath);
}

void DownloadResume::forget() const
{
    QFile::remove(m_resumeDataPath);
}

std::optional<DownloadResume::Saved> DownloadResume::read(const QString &path)
{
    try {
        const Json json = sharedJSONDecoder().parse(FileOperations::readFile(path, 64 * 1024));
        const JSONObjectReader reader(json);
        Saved saved{reader.required<QString>("url"), reader.required<QString>("validator"), reader.optional<qint64>("length").value_or(-1)};
        if (saved.validator.isEmpty())
            return std::nullopt;
        return saved;
    } catch (...) {
        return std::nullopt;
    }
}
