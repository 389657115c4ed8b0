// SPDX-License-Identifier: MIT
#include "WindowsImageProvider.h"

#include "BusyThreadPool.h"
#include "IsoImage.h"
#include "LoggingService.h"
#include "TaskOutcome.h"
#include "TemporaryHome.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Status = WindowsISOValidation::Status;

void makeSparse(const QString &path, qint64 size)
{
    TestFiles::write(path, {});
    ASSERT_TRUE(QFile::resize(path, size));
}

class WindowsImageProviderTest : public ::testing::Test
{
protected:
    QString folder(const char *name) const { return m_home.path() + QLatin1Char('/') + QString::fromUtf8(name); }
    QString appLog() const { return QString::fromUtf8(TestFiles::read(m_home.applicationData() + QStringLiteral("/Logs/app.log"))); }

    QStringList scanNames(WindowsImageProvider &provider)
    {
        QSignalSpy published(&provider, &WindowsImageProvider::detectedISOsChanged);
        // Held until released, the scan is seen running; a free worker could finish it before startScan() returns.
        BusyThreadPool pool;
        provider.startScan();
        EXPECT_TRUE(provider.isScanning());
        EXPECT_TRUE(published.isEmpty());
        pool.release();
        EXPECT_TRUE(published.wait(5000));
        EXPECT_FALSE(provider.isScanning());
        QStringList names;
        for (const WindowsImageProvider::DetectedISO &iso : provider.detectedISOs())
            names << iso.fileName;
        names.sort();
        return names;
    }

    TemporaryHome m_home;
    LoggingService m_logging;
};

TEST_F(WindowsImageProviderTest, ScanListsLargeLikelyImagesInTheTopOfEachFolder)
{
    const QString downloads = folder("Downloads");
    makeSparse(downloads + QStringLiteral("/Win11_ARM64.iso"), 1000000001);
    makeSparse(downloads + QStringLiteral("/win-small.iso"), 900000000);
    makeSparse(downloads + QStringLiteral("/ubuntu-arm64.iso"), 2000000000);
    makeSparse(downloads + QStringLiteral("/Windows.zip"), 2000000000);
    makeSparse(downloads + QStringLiteral("/.win-hidden.iso"), 2000000000);
    makeSparse(downloads + QStringLiteral("/nested/win-nested.iso"), 2000000000);
    makeSparse(downloads + QStringLiteral("/W11.ISO"), 2000000000);
    makeSparse(folder("Desktop") + QStringLiteral("/Win10.VHDX"), 2000000000);
    makeSparse(downloads + QStringLiteral("/holiday.iso"), 2000000000);
    ASSERT_EQ(::mkfifo(QFile::encodeName(downloads + QStringLiteral("/win-pipe.iso")).constData(), 0600), 0);

    WindowsImageProvider provider(m_logging, {downloads, folder("Desktop"), folder("Documents")});
    EXPECT_EQ(scanNames(provider), QString::fromUtf8("W11.ISO Win10.VHDX Win11_ARM64.iso ubuntu-arm64.iso").split(QLatin1Char(' ')));
    EXPECT_TRUE(appLog().contains(QStringLiteral("Auto-detected 4 Windows ISO candidate(s)")));
    for (const WindowsImageProvider::DetectedISO &iso : provider.detectedISOs())
        EXPECT_GT(iso.fileSizeBytes, WindowsImageProvider::minimumCandidateSize);
}

TEST_F(WindowsImageProviderTest, AnEmptyScanLogsNothingAndAnOvertakenScanNeverPublishes)
{
    WindowsImageProvider provider(m_logging, {folder("Downloads")});
    EXPECT_TRUE(scanNames(provider).isEmpty());
    EXPECT_FALSE(appLog().contains(QStringLiteral("Auto-detected")));

    // The first scan may still be running when the second starts; its older list must never replace the newer one.
    QSignalSpy published(&provider, &WindowsImageProvider::detectedISOsChanged);
    provider.startScan();
    makeSparse(folder("Downloads") + QStringLiteral("/win.iso"), 2000000000);
    provider.startScan();
    ASSERT_TRUE(QTest::qWaitFor([&] { return provider.detectedISOs().size() == 1; }, 5000));
    // Both scans are done once the pool is idle; the overtaken one's wake-up is then posted, and delivered here.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(provider.detectedISOs().size(), 1);
    EXPECT_FALSE(provider.isScanning());
    EXPECT_LE(published.size(), 2);
}

TEST_F(WindowsImageProviderTest, ValidationWeighsSizeNameAndBootLoaders)
{
    const QString images = folder("images");
    const QByteArray loader(2048, 'L');
    auto iso = [&](const char *name, const QList<IsoImage::File> &files, qint64 size = 3500000000) {
        const QString path = images + QLatin1Char('/') + QString::fromUtf8(name);
        QDir().mkpath(images);
        EXPECT_TRUE(IsoImage::write(path, files, size));
        return path;
    };
    auto sparse = [&](const char *name, qint64 size) {
        const QString path = images + QLatin1Char('/') + QString::fromUtf8(name);
        makeSparse(path, size);
        return path;
    };
    const struct {
        const char *what;
        QString path;
        Status status;
        std::optional<QString> architecture;
        QString message;
    } cases[] = {
        {"arm64 loader and install.wim", iso("Win11_24H2_English.iso", {{"efi/boot/bootaa64.efi", loader}, {"sources/install.wim", "wim"}}),
         Status::valid, QStringLiteral("arm64"), QStringLiteral("Valid Windows 11 ARM64 ISO")},
        {"arm64 loader and install.esd", iso("Win11_24H2_ESD.iso", {{"EFI/BOOT/BOOTAA64.EFI", loader}, {"SOURCES/INSTALL.ESD", "esd"}}),
         Status::valid, QStringLiteral("arm64"), QStringLiteral("Valid Windows 11 ARM64 ISO")},
        {"an arm64 Linux installer under a Windows name", iso("Win11_ARM64_debian.iso", {{"efi/boot/bootaa64.efi", loader}, {"install.a64/vmlinuz", "k"},
         {"boot/sources/install.wim.txt", "not it"}}), Status::notWindowsInstaller, QStringLiteral("arm64"),
         QStringLiteral("This ISO is not a Windows installation image: it holds no sources/install.wim or sources/install.esd.")},
        {"x64 loader under a neutral name", iso("Win11_24H2_English_b.iso", {{"efi/boot/bootx64.efi", loader}}), Status::invalidArchitecture,
         QStringLiteral("x86_64"), QStringLiteral("This ISO is x86_64 — it cannot run here: Windows VMs on this host are ARM64 machines and need an ARM64 image.")},
        {"x64 in the name", sparse("Win11_x64.iso", 5000000000), Status::invalidArchitecture, QStringLiteral("x86_64 (Intel/AMD)"),
         QStringLiteral("This ISO is x86_64 (Intel/AMD) — it cannot run here: Windows VMs on this host are ARM64 machines and need an ARM64 image.")},
        {"x86 in the name", sparse("Win10_x86.iso", 5000000000), Status::invalidArchitecture, QStringLiteral("x86 (32-bit)"),
         QStringLiteral("This ISO is x86 (32-bit) — it cannot run here: Windows VMs on this host are ARM64 machines and need an ARM64 image.")},
        {"one byte short", sparse("Win11_arm64_short.iso", 3499999999), Status::tooSmall, std::nullopt,
         QStringLiteral("This file is too small to be a Windows ISO (minimum ~4 GB expected).")},
        {"not an ISO", sparse("Win11_ARM64.vhdx", 3500000000), Status::notBootable, std::nullopt,
         QStringLiteral("This file does not appear to be a bootable ISO image.")},
        {"files in UDF only, arm64 name", iso("Win11_ARM64_udf.iso", {{"README.TXT", "UDF"}}), Status::valid, QStringLiteral("arm64"),
         QStringLiteral("Valid Windows 11 ARM64 ISO")},
        {"files in UDF only, neutral name", iso("Win11_udf.iso", {{"README.TXT", "UDF"}}), Status::valid, QStringLiteral("arm64 (assumed)"),
         QStringLiteral("Valid Windows 11 ARM64 ISO")},
        {"missing", images + QStringLiteral("/gone.iso"), Status::tooSmall, std::nullopt,
         QStringLiteral("This file is too small to be a Windows ISO (minimum ~4 GB expected).")},
    };
    WindowsImageProvider provider(m_logging, {});
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QSignalSpy published(&provider, &WindowsImageProvider::validationResultChanged);
        const WindowsISOValidation result = waitForOutcome(provider.validate(testCase.path)).get();
        EXPECT_EQ(result.status, testCase.status);
        EXPECT_EQ(result.detectedArchitecture, testCase.architecture);
        EXPECT_EQ(result.message(), testCase.message);
        EXPECT_EQ(result.fileName, QFileInfo(testCase.path).fileName());
        EXPECT_EQ(provider.validationResult(), result);
        EXPECT_EQ(published.size(), 1);
    }
}

TEST(WindowsISOValidation, EveryStatusHasItsSentence)
{
    WindowsISOValidation result;
    result.status = Status::unknown;
    EXPECT_EQ(result.message(), QStringLiteral("Could not validate this file."));
    result.status = Status::notBootable;
    EXPECT_EQ(result.message(), QStringLiteral("This file does not appear to be a bootable ISO image."));
}

} // namespace
