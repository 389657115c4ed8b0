// SPDX-License-Identifier: MIT
// A FUSE folder that mirrors a backing folder and takes writes no faster than
// a given rate, as a slow disk would: the restore-image bench downloads into
// it to see whether memory grows while the disk lags behind the network.
// Zeros written past a file's end are not stored, only the length, so a
// multi-gigabyte download of zeros stays sparse in the backing folder.
//
// Usage: slow_write_folder <backing folder> <MiB per second> <mount point> [FUSE options]
// Unmount with: fusermount3 -u <mount point>

#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string backing;
double bytesPerSecond = 0;
std::mutex pace;
std::chrono::steady_clock::time_point nextFree;

std::string real(const char *path)
{
    return backing + path;
}

int result(int value)
{
    return value < 0 ? -errno : 0;
}

/// Holds the caller while the disk is more than a moment behind: on average it takes no more than the rate, whatever the size of each write.
void throttle(size_t size)
{
    constexpr std::chrono::milliseconds slack{20};
    std::chrono::steady_clock::time_point until;
    {
        const std::lock_guard lock(pace);
        const auto now = std::chrono::steady_clock::now();
        nextFree = std::max(nextFree, now)
                   + std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(double(size) / bytesPerSecond));
        if (nextFree - now <= slack)
            return;
        until = nextFree - slack;
    }
    std::this_thread::sleep_until(until);
}

int getattrOf(const char *path, struct stat *status, fuse_file_info *)
{
    return result(::lstat(real(path).c_str(), status));
}

int readdirOf(const char *path, void *buffer, fuse_fill_dir_t fill, off_t, fuse_file_info *, fuse_readdir_flags)
{
    DIR *folder = ::opendir(real(path).c_str());
    if (!folder)
        return -errno;
    while (const dirent *entry = ::readdir(folder))
        fill(buffer, entry->d_name, nullptr, 0, fuse_fill_dir_flags(0));
    ::closedir(folder);
    return 0;
}

int mkdirOf(const char *path, mode_t mode)
{
    return result(::mkdir(real(path).c_str(), mode));
}

int unlinkOf(const char *path)
{
    return result(::unlink(real(path).c_str()));
}

int rmdirOf(const char *path)
{
    return result(::rmdir(real(path).c_str()));
}

int renameOf(const char *from, const char *to, unsigned int flags)
{
    if (flags != 0)
        return -EINVAL;
    return result(::rename(real(from).c_str(), real(to).c_str()));
}

int chmodOf(const char *path, mode_t mode, fuse_file_info *)
{
    return result(::chmod(real(path).c_str(), mode));
}

int truncateOf(const char *path, off_t size, fuse_file_info *file)
{
    return result(file ? ::ftruncate(int(file->fh), size) : ::truncate(real(path).c_str(), size));
}

int utimensOf(const char *path, const timespec times[2], fuse_file_info *)
{
    return result(::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int createOf(const char *path, mode_t mode, fuse_file_info *file)
{
    const int fd = ::open(real(path).c_str(), file->flags | O_CREAT, mode);
    if (fd < 0)
        return -errno;
    file->fh = uint64_t(fd);
    return 0;
}

int openOf(const char *path, fuse_file_info *file)
{
    const int fd = ::open(real(path).c_str(), file->flags);
    if (fd < 0)
        return -errno;
    file->fh = uint64_t(fd);
    return 0;
}

int readOf(const char *, char *buffer, size_t size, off_t offset, fuse_file_info *file)
{
    const ssize_t got = ::pread(int(file->fh), buffer, size, offset);
    return got < 0 ? -errno : int(got);
}

int writeOf(const char *, const char *buffer, size_t size, off_t offset, fuse_file_info *file)
{
    throttle(size);
    const int fd = int(file->fh);
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return -errno;
    if (file->flags & O_APPEND)
        offset = status.st_size;
    const bool zeros = std::all_of(buffer, buffer + size, [](char byte) { return byte == 0; });
    if (zeros && offset >= status.st_size)
        return ::ftruncate(fd, off_t(offset + off_t(size))) == 0 ? int(size) : -errno;
    const ssize_t done = ::pwrite(fd, buffer, size, offset);
    return done < 0 ? -errno : int(done);
}

int statfsOf(const char *, struct statvfs *status)
{
    return result(::statvfs(backing.c_str(), status));
}

int flushOf(const char *, fuse_file_info *)
{
    return 0;
}

int releaseOf(const char *, fuse_file_info *file)
{
    ::close(int(file->fh));
    return 0;
}

int fsyncOf(const char *, int, fuse_file_info *file)
{
    return result(::fsync(int(file->fh)));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: slow_write_folder <backing folder> <MiB per second> <mount point> [FUSE options]\n");
        return 2;
    }
    char *resolved = ::realpath(argv[1], nullptr);
    if (!resolved) {
        std::perror(argv[1]);
        return 1;
    }
    backing = resolved;
    std::free(resolved);
    bytesPerSecond = std::atof(argv[2]) * 1024 * 1024;
    if (bytesPerSecond <= 0)
        return 2;

    fuse_operations operations{};
    operations.getattr = getattrOf;
    operations.readdir = readdirOf;
    operations.mkdir = mkdirOf;
    operations.unlink = unlinkOf;
    operations.rmdir = rmdirOf;
    operations.rename = renameOf;
    operations.chmod = chmodOf;
    operations.truncate = truncateOf;
    operations.utimens = utimensOf;
    operations.create = createOf;
    operations.open = openOf;
    operations.read = readOf;
    operations.write = writeOf;
    operations.statfs = statfsOf;
    operations.flush = flushOf;
    operations.release = releaseOf;
    operations.fsync = fsyncOf;

    // Foreground and single-threaded: the bench ends the process, and one writer at a time keeps the pace.
    std::vector<char *> arguments{argv[0], argv[3], const_cast<char *>("-f"), const_cast<char *>("-s")};
    for (int index = 4; index < argc; ++index)
        arguments.push_back(argv[index]);
    return fuse_main(int(arguments.size()), arguments.data(), &operations, nullptr);
}
