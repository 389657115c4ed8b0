// SPDX-License-Identifier: MIT
#include "ISOBootProbe.h"

#include "IsoImage.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Answer = ISOBootProbe::Answer;

TEST(ISOBootProbe, TellsTheProcessorFromTheUEFILoadersItCanSee)
{
    const QTemporaryDir folder;
    const QByteArray loader(4096, 'L');
    const struct {
        const char *what;
        QList<IsoImage::File> files;
        Answer expected;
    } cases[] = {
        {"arm64 loader", {{"EFI/BOOT/BOOTAA64.EFI", loader}, {"sources/install.wim", "w"}}, Answer::arm64},
        {"x64 loader", {{"efi/boot/bootx64.efi", loader}}, Answer::x86_64},
        {"ia32 loader", {{"efi/boot/bootia32.efi", loader}}, Answer::x86_64},
        {"both", {{"efi/boot/bootx64.efi", loader}, {"efi/boot/bootaa64.efi", loader}}, Answer::arm64},
        {"arm64 loader inside the El Torito image", {{"efi/microsoft/boot/efisys.bin", QByteArray(3000, 0) + "BOOTAA64EFI" + QByteArray(100, 0)}}, Answer::arm64},
        {"x64 loader inside the El Torito image", {{"efi/microsoft/boot/efisys.bin", QByteArray(3000, 0) + "BOOTX64 EFI"}}, Answer::x86_64},
        {"no loader (the files are in UDF only)", {{"README.TXT", "This disc contains a UDF file system."}}, Answer::noLoaderFound},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const QString path = folder.filePath(QString::fromUtf8(testCase.what) + QStringLiteral(".iso"));
        ASSERT_TRUE(IsoImage::write(path, testCase.files));
        EXPECT_EQ(ISOBootProbe::probe(path, std::chrono::seconds(10)), testCase.expected);
    }
}

TEST(ISOBootProbe, SeesTheWindowsInstallationImageOnlyWhereWindowsKeepsIt)
{
    const QTemporaryDir folder;
    const QByteArray loader(4096, 'L');
    const struct {
        const char *what;
        QList<IsoImage::File> files;
        bool expected;
    } cases[] = {
        {"install.wim", {{"efi/boot/bootaa64.efi", loader}, {"sources/install.wim", "w"}}, true},
        {"install.esd in capitals", {{"EFI/BOOT/BOOTAA64.EFI", loader}, {"SOURCES/INSTALL.ESD", "e"}}, true},
        {"an arm64 Linux installer", {{"efi/boot/bootaa64.efi", loader}, {"install.a64/initrd.gz", "i"}, {"pool/main/install.wim", "w"}}, false},
        {"a look-alike name", {{"sources/install.wim.txt", "t"}, {"sources/boot.wim", "b"}}, false},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const QString path = folder.filePath(QString::fromUtf8(testCase.what) + QStringLiteral(".iso"));
        ASSERT_TRUE(IsoImage::write(path, testCase.files));
        EXPECT_EQ(ISOBootProbe::inspect(path, std::chrono::seconds(10)).hasWindowsInstallImage, testCase.expected);
    }
}

TEST(ISOBootProbe, AnythingElseGivesNoArchitectureAndNeverHangs)
{
    const QTemporaryDir folder;
    const QString vhdx = folder.filePath(QStringLiteral("Win11_arm64.iso"));
    TestFiles::write(vhdx, QByteArray("vhdxfile") + QByteArray(200000, 'v'));
    EXPECT_EQ(ISOBootProbe::probe(vhdx, std::chrono::seconds(10)), Answer::notISO9660);

    const QString fifo = folder.filePath(QStringLiteral("pipe.iso"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ISOBootProbe::probe(fifo, std::chrono::seconds(10)), Answer::unknown);
    EXPECT_EQ(ISOBootProbe::probe(folder.filePath(QStringLiteral("missing.iso")), std::chrono::seconds(10)), Answer::unknown);
    EXPECT_EQ(ISOBootProbe::probe(folder.path(), std::chrono::seconds(10)), Answer::unknown);
    EXPECT_LT(clock.elapsed(), 2000);
}

} // namespace
