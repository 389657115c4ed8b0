// SPDX-License-Identifier: MIT
// Times the archive export of a bundle whose disk image is a large sparse
// file (8 GiB by default), then reads the archive back with libarchive and
// checks that the disk came through whole: its size (which needs the Zip64
// extensions past 4 GiB) and every byte against the source. Too slow for the
// unit tests: deflate at level 6 still has to pass over every zero of the
// holes.
//
// Usage: archive_export_bench [disk size in GiB]

#include "BenchSupport.h"
#include "FileBookmarkService.h"
#include "HostSecurityScopedAccess.h"
#include "LoggingService.h"
#include "TemporaryHome.h"
#include "VMExportService.h"
#include "VMStore.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QUuid>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr qint64 gibibyte = 1024LL * 1024 * 1024;

/// A sparse disk image with a little data at its start, across the 4 GiB mark and at its end.
bool writeSparseDisk(const QString &path, qint64 size)
{
    const int file = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return false;
    const std::vector<char> block(3 << 20, 'd');
    bool written = ::ftruncate(file, size) == 0 && ::pwrite(file, "BEGIN", 5, 0) == 5
        && ::pwrite(file, block.data(), block.size(), std::min(size / 2, 4 * gibibyte - 1000)) == ssize_t(block.size())
        && ::pwrite(file, "END", 3, size - 3) == 3;
    return ::close(file) == 0 && written;
}

/// Reads the archive through and compares the disk entry with the source; returns the bytes compared, or -1.
qint64 verifyDisk(const QString &archivePath, const QString &entryPath, const QString &sourcePath)
{
    struct Reader {
        void operator()(struct archive *archive) const { archive_read_free(archive); }
    };
    const std::unique_ptr<struct archive, Reader> archive(archive_read_new());
    archive_read_support_format_zip(archive.get());
    if (archive_read_open_filename(archive.get(), QFile::encodeName(archivePath).constData(), 1 << 16) != ARCHIVE_OK)
        return -1;
    const int source = ::open(QFile::encodeName(sourcePath).constData(), O_RDONLY | O_CLOEXEC);
    std::vector<char> data(1 << 20);
    std::vector<char> expected(1 << 20);
    qint64 compared = -1;
    archive_entry *entry = nullptr;
    while (archive_read_next_header(archive.get(), &entry) == ARCHIVE_OK) {
        if (QString::fromUtf8(archive_entry_pathname_utf8(entry)) != entryPath)
            continue;
        compared = 0;
        for (;;) {
            const la_ssize_t got = archive_read_data(archive.get(), data.data(), data.size());
            if (got <= 0) {
                if (got < 0 || compared != archive_entry_size(entry))
                    compared = -1;
                break;
            }
            if (::pread(source, expected.data(), size_t(got), compared) != got
                || std::memcmp(data.data(), expected.data(), size_t(got)) != 0) {
                compared = -1;
                break;
            }
            compared += got;
        }
        break;
    }
    ::close(source);
    return compared;
}

} // namespace

int main(int argc, char **argv)
{
    const TemporaryHome home;
    QCoreApplication application(argc, argv);
    bool valid = false;
    const qint64 gibibytes = QCoreApplication::arguments().value(1).toLongLong(&valid);
    const qint64 diskSize = (valid && gibibytes > 0 ? gibibytes : 8) * gibibyte;

    const LoggingService logging;
    FileBookmarkService bookmarks;
    HostSecurityScopedAccess access;
    BenchSupport::NoFileViewer viewer;
    VMStore store({logging, bookmarks, access, viewer});
    VMExportService exports(logging, store);

    VMBundle bundle;
    bundle.bundleURL = store.createBundleDirectory(store.rootURL(), QStringLiteral("Bench"));
    bundle.metadata.id = QUuid::createUuid();
    bundle.metadata.name = QStringLiteral("Bench");
    if (!writeSparseDisk(bundle.layout().diskImageURL(), diskSize)) {
        std::fprintf(stderr, "Cannot create the disk image\n");
        return 1;
    }
    const QString destination = home.path() + QStringLiteral("/exports");
    QDir().mkpath(destination);

    QElapsedTimer timer;
    timer.start();
    QString archive;
    try {
        archive = QCoro::waitFor(exports.exportAsArchive(bundle, destination, QStringLiteral("Bench"), VMExportConfiguration{}));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "The export failed: %s\n", error.what());
        return 1;
    }
    const qint64 exportMs = timer.restart();
    const qint64 compared = verifyDisk(archive, QStringLiteral("Bench.vm/Disk.img"), bundle.layout().diskImageURL());
    const qint64 readMs = timer.elapsed();

    QTextStream out(stdout);
    out << "archive_export_bench: " << diskSize / gibibyte << " GiB sparse disk\n";
    out << "  export: " << exportMs << " ms, archive " << QFileInfo(archive).size() << " bytes\n";
    out << "  read back: " << readMs << " ms, " << (compared == diskSize ? "disk intact" : "DISK DIFFERS") << "\n";
    return compared == diskSize ? 0 : 1;
}
