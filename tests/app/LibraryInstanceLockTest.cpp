// SPDX-License-Identifier: MIT
#include "LibraryInstanceLock.h"

#include "../Services/FileSystemTraps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace {

using Acquisition = LibraryInstanceLock::Acquisition;

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

class LibraryInstanceLockTest : public ::testing::Test
{
protected:
    QString root() const { return m_folder.path(); }
    QString lockPath() const { return root() + QStringLiteral("/Library.lock"); }

    QTemporaryDir m_folder;
};

TEST_F(LibraryInstanceLockTest, OnlyALockThatIsHeldKeepsTheLibrary)
{
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    const struct {
        const char *what;
        std::function<void()> leave;
    } leftovers[] = {
        {"nothing", [] {}},
        {"an empty file, as a crash while it was written leaves", [&] { writeFile(lockPath(), {}); }},
        {"a record cut short", [&] { writeFile(lockPath(), "4242\nDuvuzodOv"); }},
        {"the zeros a power cut can leave of a write", [&] { writeFile(lockPath(), QByteArray(24, '\0')); }},
        {"an earlier version's lock", [&] { writeFile(lockPath(), "4242\nDuvuzodOvevav\n" + host + "\n0123456789abcdef\n1234567\n"); }},
        {"another machine's owner", [&] { writeFile(lockPath(), "4242\nDuvuzodOvevav\nsome-other-machine\n"); }},
        {"a process of this machine that holds nothing", [&] { writeFile(lockPath(), "1\nDuvuzodOvevav\n" + host + '\n'); }},
        {"an unreadable file", [&] {
             writeFile(lockPath(), "1234\n");
             ASSERT_EQ(::chmod(QFile::encodeName(lockPath()).constData(), 0), 0);
         }},
    };
    for (const auto &leftover : leftovers) {
        SCOPED_TRACE(leftover.what);
        leftover.leave();
        std::optional<LibraryInstanceLock> first(std::in_place, root());
        ASSERT_EQ(first->acquire(), Acquisition::acquired) << first->unavailableText().toStdString();
        EXPECT_TRUE(QFileInfo(lockPath()).isFile() && !QFileInfo(lockPath()).isSymLink());

        // Held now: another instance of the library is refused, until the first one goes.
        LibraryInstanceLock second(root());
        EXPECT_EQ(second.acquire(), Acquisition::heldElsewhere);
        first.reset();
        LibraryInstanceLock third(root());
        EXPECT_EQ(third.acquire(), Acquisition::acquired);

        // Each case starts from a clean folder.
        QFile::remove(lockPath());
    }
}

TEST_F(LibraryInstanceLockTest, WhatTheApplicationDidNotMakeIsLeftAsItIsAndNamed)
{
    const QString elsewhere = root() + QStringLiteral("/elsewhere.txt");
    const QByteArray path = QFile::encodeName(lockPath());
    const auto contentOf = [](const QString &file) {
        QFile opened(file);
        return opened.open(QIODevice::ReadOnly) ? opened.readAll() : QByteArray("(unreadable)");
    };
    const struct {
        const char *what;
        const char *named;
        std::function<void()> leave;
        std::function<bool()> isUntouched;
    } items[] = {
        {"a folder with the user's files", "a folder",
         [&] {
             ASSERT_TRUE(QDir().mkpath(lockPath() + QStringLiteral("/sub")));
             writeFile(lockPath() + QStringLiteral("/sub/mine.txt"), "mine");
         },
         [&] { return contentOf(lockPath() + QStringLiteral("/sub/mine.txt")) == "mine"; }},
        {"a dangling link", "a link", [&] { ASSERT_EQ(::symlink("/nonexistent/zovozu-lock", path.constData()), 0); },
         [&] { return QFileInfo(lockPath()).symLinkTarget() == QStringLiteral("/nonexistent/zovozu-lock"); }},
        {"a link to another file", "a link",
         [&] {
             writeFile(elsewhere, "keep me");
             ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), path.constData()), 0);
         },
         [&] { return QFileInfo(lockPath()).isSymLink() && contentOf(elsewhere) == "keep me"; }},
        {"a pipe", "a pipe", [&] { ASSERT_EQ(::mkfifo(path.constData(), 0600), 0); },
         [&] {
             struct stat status {
             };
             return ::lstat(path.constData(), &status) == 0 && S_ISFIFO(status.st_mode);
         }},
        {"a file of the user's", "a file that it did not make", [&] { writeFile(lockPath(), QByteArrayLiteral("\x00\xff\x7f not a lock")); },
         [&] { return contentOf(lockPath()) == QByteArrayLiteral("\x00\xff\x7f not a lock"); }},
        {"a text of the user's", "a file that it did not make", [&] { writeFile(lockPath(), "notes\nabout my library\n"); },
         [&] { return contentOf(lockPath()) == "notes\nabout my library\n"; }},
        {"a second name of another file", "a file that it did not make",
         [&] {
             writeFile(elsewhere, "1234\n");
             ASSERT_EQ(::link(QFile::encodeName(elsewhere).constData(), path.constData()), 0);
         },
         [&] { return contentOf(elsewhere) == "1234\n" && contentOf(lockPath()) == "1234\n"; }},
    };
    for (const auto &item : items) {
        SCOPED_TRACE(item.what);
        item.leave();
        LibraryInstanceLock lock(root());
        EXPECT_EQ(lock.acquire(), Acquisition::unavailable);
        EXPECT_EQ(lock.unavailableText(), QStringLiteral("Zovozu VM Lab cannot open its library because %1 lies where it keeps its lock file: %2. "
                                                         "Nothing there was changed. Move it elsewhere, then start again.")
                                              .arg(QString::fromUtf8(item.named), lockPath()));
        EXPECT_TRUE(item.isUntouched());

        // Once the user has moved it away, the library opens.
        ASSERT_TRUE(QFileInfo(lockPath()).isDir() ? QDir(lockPath()).removeRecursively() : ::unlink(path.constData()) == 0);
        QFile::remove(elsewhere);
        LibraryInstanceLock after(root());
        EXPECT_EQ(after.acquire(), Acquisition::acquired) << after.unavailableText().toStdString();
        QFile::remove(lockPath());
    }
}

TEST_F(LibraryInstanceLockTest, AnOwnerRunningInAnotherProcessKeepsTheLibrary)
{
    // flock(1) holds the lock until its shell reads the end of its input.
    QProcess owner;
    owner.start(QStringLiteral("flock"), {lockPath(), QStringLiteral("-c"), QStringLiteral("echo held; read line")});
    ASSERT_TRUE(owner.waitForStarted());
    while (!owner.readAllStandardOutput().contains("held"))
        ASSERT_TRUE(owner.waitForReadyRead()) << "flock(1) did not take the lock";

    LibraryInstanceLock second(root());
    EXPECT_EQ(second.acquire(), Acquisition::heldElsewhere);
    EXPECT_FALSE(second.bringRunningInstanceForward()) << "no instance of ours listens";

    owner.closeWriteChannel();
    ASSERT_TRUE(owner.waitForFinished());
    LibraryInstanceLock after(root());
    EXPECT_EQ(after.acquire(), Acquisition::acquired);
}

TEST_F(LibraryInstanceLockTest, AFolderThatCannotBeWrittenIsSaidPlainly)
{
    writeFile(lockPath(), {});
    const QByteArray folder = QFile::encodeName(root());
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    // Root ignores the mode; an immutable folder stops root as well.
    std::optional<FileSystemTraps::ImmutableFile> immutable;
    if (::access(folder.constData(), W_OK) == 0)
        immutable.emplace(root());
    const bool readOnly = ::access(folder.constData(), W_OK) != 0;

    LibraryInstanceLock lock(root());
    const Acquisition acquisition = lock.acquire();
    immutable.reset();
    ::chmod(folder.constData(), 0755);
    if (!readOnly)
        GTEST_SKIP() << "no way to make a folder read-only here";

    EXPECT_EQ(acquisition, Acquisition::unavailable);
    EXPECT_TRUE(lock.unavailableText().startsWith(QStringLiteral("Zovozu VM Lab cannot open its library because its data folder cannot be written to: ")
                                                  + root() + QStringLiteral(" ("))) << lock.unavailableText().toStdString();
}

TEST_F(LibraryInstanceLockTest, WithoutADataFolderTheLibraryIsNotOpened)
{
    // Two starts would otherwise share the library of the temporary folder, unguarded.
    LibraryInstanceLock unexplained{QString()};
    EXPECT_EQ(unexplained.acquire(), Acquisition::unavailable);
    EXPECT_TRUE(unexplained.unavailableText().startsWith(QStringLiteral("Zovozu VM Lab cannot open its library because it has no data folder.")))
        << unexplained.unavailableText().toStdString();
    EXPECT_FALSE(unexplained.bringRunningInstanceForward());

    LibraryInstanceLock explained(QString(), QStringLiteral("Permission denied: /read-only/Zovozu VM Lab"));
    EXPECT_EQ(explained.acquire(), Acquisition::unavailable);
    EXPECT_TRUE(explained.unavailableText().startsWith(
        QStringLiteral("Zovozu VM Lab cannot open its library because it has no data folder (Permission denied: /read-only/Zovozu VM Lab).")))
        << explained.unavailableText().toStdString();
}

} // namespace
