// SPDX-License-Identifier: MIT
#include "ISOBootProbe.h"

#include "FileDescriptor.h"

#include <QByteArray>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

namespace ISOBootProbe {

namespace {

struct ReaderDeleter {
    void operator()(archive *reader) const { archive_read_free(reader); }
};

struct Findings {
    bool arm64 = false;
    bool x86 = false;
    bool windowsInstallImage = false;
};

/// FAT keeps the loaders' names as 11 upper-case bytes, name padded to 8, extension to 3.
void searchBootImage(archive *reader, Findings &findings, qint64 &budgetBytes, std::chrono::steady_clock::time_point deadline)
{
    const void *buffer = nullptr;
    size_t length = 0;
    la_int64_t offset = 0;
    QByteArray tail;
    while (budgetBytes > 0 && std::chrono::steady_clock::now() < deadline
           && archive_read_data_block(reader, &buffer, &length, &offset) == ARCHIVE_OK) {
        budgetBytes -= qint64(length);
        const QByteArray block = tail + QByteArray::fromRawData(static_cast<const char *>(buffer), qsizetype(length));
        if (block.contains("BOOTAA64EFI"))
            findings.arm64 = true;
        if (block.contains("BOOTX64 EFI") || block.contains("BOOTIA32EFI"))
            findings.x86 = true;
        tail = block.right(10);
    }
}

bool isBootImageName(const QByteArray &lowerPath)
{
    return lowerPath.endsWith("efisys.bin") || lowerPath.endsWith("efisys_noprompt.bin") || lowerPath.endsWith("efiboot.img")
           || lowerPath.endsWith("efi.img");
}

bool isWindowsInstallImageName(const QByteArray &lowerPath)
{
    return lowerPath == "sources/install.wim" || lowerPath == "sources/install.esd" || lowerPath.endsWith("/sources/install.wim")
           || lowerPath.endsWith("/sources/install.esd");
}

} // namespace

Answer probe(const QString &path, std::chrono::milliseconds budget)
{
    return inspect(path, budget).answer;
}

Contents inspect(const QString &path, std::chrono::milliseconds budget)
{
    const auto deadline = std::chrono::steady_clock::now() + budget;
    // Non-blocking open, then a regular-file check: a FIFO or a device never holds the probe.
    FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    struct stat status {};
    if (!file.isValid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    const int flags = ::fcntl(file.get(), F_GETFL);
    ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);

    const std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    archive_read_support_format_iso9660(reader.get());
    if (archive_read_open_fd(reader.get(), file.get(), 64 * 1024) != ARCHIVE_OK)
        return {Answer::notISO9660};

    Findings findings;
    qint64 bootImageBudget = maximumBootImageBytes;
    archive_entry *entry = nullptr;
    int status_ = ARCHIVE_OK;
    for (int count = 0; count < maximumEntries; ++count) {
        if (std::chrono::steady_clock::now() >= deadline)
            return {};
        status_ = archive_read_next_header(reader.get(), &entry);
        if (status_ != ARCHIVE_OK && status_ != ARCHIVE_WARN)
            break;
        const QByteArray name = QByteArray(archive_entry_pathname(entry)).toLower();
        if (name.endsWith("efi/boot/bootaa64.efi"))
            findings.arm64 = true;
        else if (name.endsWith("efi/boot/bootx64.efi") || name.endsWith("efi/boot/bootia32.efi"))
            findings.x86 = true;
        else if (isBootImageName(name) && archive_entry_filetype(entry) == AE_IFREG)
            searchBootImage(reader.get(), findings, bootImageBudget, deadline);
        else if (isWindowsInstallImageName(name) && archive_entry_filetype(entry) == AE_IFREG)
            findings.windowsInstallImage = true;
    }
    Contents contents;
    contents.hasWindowsInstallImage = findings.windowsInstallImage;
    if (status_ == ARCHIVE_FATAL && !findings.arm64 && !findings.x86)
        contents.answer = Answer::unknown;
    else if (findings.arm64)
        contents.answer = Answer::arm64;
    else if (findings.x86)
        contents.answer = Answer::x86_64;
    else
        contents.answer = Answer::noLoaderFound;
    return contents;
}

} // namespace ISOBootProbe
