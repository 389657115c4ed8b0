// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <stdexcept>

/**
 * Writes a zip archive of folders straight from the disk, without a staging
 * copy: entries compressed with deflate at level 6, names as their own
 * bytes (flagged as UTF-8 where they are UTF-8 and not plain ASCII), and the
 * Zip64 extensions wherever an entry or the archive passes 4 GiB. Holes of
 * sparse files are not read but stored as the zeros they stand for, which
 * deflate reduces to almost nothing.
 *
 * The file is created when the writer is made (never over an existing item)
 * and is complete only once finish() returned; a writer dropped before that
 * removes its partial file. Blocking: run it off the GUI thread.
 *
 * @code
 * ZipArchiveWriter archive(path);
 * archive.addFolder(bundle, QStringLiteral("Build Agent.vm"), [](const QString &relative, const struct stat &) {
 *     return relative != QStringLiteral("Logs");
 * });
 * archive.finish();
 * @endcode
 */
class ZipArchiveWriter
{
public:
    /// Decides whether an item below the added folder travels; `relativePath` is "/"-joined from that folder.
    using Filter = std::function<bool(const QString &relativePath, const struct stat &status)>;

    /// Hears how many bytes of file content the archive has taken in so far, holes included; called after each chunk.
    using Progress = std::function<void(qint64 contentBytes)>;

    /// The compressor failed by itself. Reading the items and writing the file fail with PlatformError instead.
    class CompressionError : public std::runtime_error
    {
        using std::runtime_error::runtime_error;
    };

    /// Creates the archive file; something already at `archivePath` fails with EEXIST.
    explicit ZipArchiveWriter(const QString &archivePath);
    ~ZipArchiveWriter();
    ZipArchiveWriter(const ZipArchiveWriter &) = delete;
    ZipArchiveWriter &operator=(const ZipArchiveWriter &) = delete;

    const QString &archivePath() const;

    /**
     * The bytes of file content addFolder() takes in for `folder` with
     * `include`: the sizes of the regular files that travel, holes counted,
     * walked the same way and without following links. What progress
     * reports reaches this once the folder is added, unless files change
     * meanwhile.
     */
    static qint64 contentSize(const QString &folder, const Filter &include = {});
    /// Reports the content taken in from now on to `progress`, on the thread that writes.
    void setProgress(Progress progress);

    /**
     * Adds `folder` as the entry "<entryName>/" and then, folders before
     * their content, every item below it that `include` accepts (all without
     * a filter). A folder that is refused is left out with its content.
     * Hidden items count like any other; links are stored as links and never
     * followed; sockets, FIFOs and devices are passed over, since they hold
     * no data.
     */
    void addFolder(const QString &folder, const QString &entryName, const Filter &include = {});

    /// Writes the archive's central directory and closes the file.
    void finish();

private:
    class Archive;
    std::unique_ptr<Archive> m_archive;
};
