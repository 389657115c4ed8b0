// SPDX-License-Identifier: MIT
#include "LinuxInstallSource.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using Kind = LinuxInstallSource::Kind;

namespace {

const QUrl iso = QUrl::fromLocalFile(QStringLiteral("/home/user/Downloads/debian-13.4.0-arm64-netinst.iso"));
const QUrl kernel = QUrl::fromLocalFile(QStringLiteral("/boot/vmlinuz-6.12"));
const QUrl initrd = QUrl::fromLocalFile(QStringLiteral("/boot/initrd.img-6.12"));

} // namespace

TEST(LinuxInstallSourceTest, Summary)
{
    const LinuxDistribution ubuntu = LinuxDistribution::catalog().first();
    const struct {
        LinuxInstallSource source;
        QString summary;
    } rows[] = {
        {LinuxInstallSource::catalogDistribution(ubuntu), QStringLiteral("Catalog Linux ISO (Ubuntu Desktop 24.04.4 LTS (arm64))")},
        {LinuxInstallSource::localISO(iso), QStringLiteral("Local Linux ISO (debian-13.4.0-arm64-netinst.iso)")},
        {LinuxInstallSource::localKernel(kernel, initrd), QStringLiteral("Local Linux Kernel (vmlinuz-6.12 + initrd.img-6.12)")},
        {LinuxInstallSource::localKernel(kernel), QStringLiteral("Local Linux Kernel (vmlinuz-6.12)")},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.source.summary(), row.summary);
}

TEST(LinuxInstallSourceTest, EachCaseCarriesOnlyItsPayloadAndComparesByCaseAndPayload)
{
    const LinuxDistribution debian = LinuxDistribution::serverCatalog()[2];
    const auto catalog = LinuxInstallSource::catalogDistribution(debian);
    EXPECT_EQ(catalog.kind(), Kind::catalogDistribution);
    EXPECT_EQ(catalog.distribution(), debian);
    EXPECT_EQ(catalog.isoURL(), std::nullopt);
    EXPECT_EQ(catalog.kernel(), std::nullopt);

    const auto local = LinuxInstallSource::localISO(iso);
    EXPECT_EQ(local.kind(), Kind::localISO);
    EXPECT_EQ(local.isoURL(), iso);
    EXPECT_EQ(local.distribution(), std::nullopt);

    const auto withRamdisk = LinuxInstallSource::localKernel(kernel, initrd);
    EXPECT_EQ(withRamdisk.kind(), Kind::localKernel);
    EXPECT_EQ(withRamdisk.kernel(), (LinuxInstallSource::LocalKernel{kernel, initrd}));

    EXPECT_EQ(local, LinuxInstallSource::localISO(iso));
    // The same location as an ISO and as a kernel are different sources.
    EXPECT_NE(local, LinuxInstallSource::localKernel(iso));
    EXPECT_NE(withRamdisk, LinuxInstallSource::localKernel(kernel));
    EXPECT_NE(catalog, LinuxInstallSource::catalogDistribution(LinuxDistribution::serverCatalog()[3]));
}
