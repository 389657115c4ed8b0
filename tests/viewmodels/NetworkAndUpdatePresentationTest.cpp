// SPDX-License-Identifier: MIT
#include "GuestUpdatePresentation.h"
#include "NetworkTopologyTexts.h"

#include "QtPrinters.h"
#include "TestBundle.h"

#include <gtest/gtest.h>

namespace {

VMBundle vm(const QString &name)
{
    return TestBundle(QStringLiteral("/library/VM.vm")).named(name);
}

TEST(NetworkTopologyTextsTest, MembersOfUnknownVMsCountButGetNoRow)
{
    const VMBundle one = vm(QStringLiteral("One")), two = vm(QStringLiteral("R&D"));
    VMPrivateNetwork network{QUuid::createUuid(), QStringLiteral("Lab"), QStringLiteral("10.0.0.0/24"), {}, {}, true};
    EXPECT_EQ(NetworkTopologyTexts::subtitle(network), QStringLiteral("Subnet: 10.0.0.0/24 \u2022 0 members"));
    EXPECT_EQ(NetworkTopologyTexts::addCandidates(network, {one, two}).size(), 2);

    network.memberBundleIDs = {two.id()};
    EXPECT_EQ(NetworkTopologyTexts::subtitle(network), QStringLiteral("Subnet: 10.0.0.0/24 \u2022 1 member"));
    network.memberBundleIDs = {two.id(), QUuid::createUuid()};
    EXPECT_EQ(NetworkTopologyTexts::subtitle(network), QStringLiteral("Subnet: 10.0.0.0/24 \u2022 2 members"));
    EXPECT_EQ(NetworkTopologyTexts::memberRows(network, {one, two}), QList{two});
    EXPECT_EQ(NetworkTopologyTexts::addCandidates(network, {one, two}), QList{one});
    network.memberBundleIDs = {one.id(), two.id()};
    EXPECT_TRUE(NetworkTopologyTexts::addCandidates(network, {one, two}).isEmpty());
}

TEST(GuestUpdatePresentationTest, AFailedCheckNeverReadsAsUpToDate)
{
    using Status = GuestUpdatePresentation::Status;
    auto info = [](std::optional<QString> current, std::optional<QString> available) {
        VMMacOSUpdateInfo result;
        result.currentDisplayName = std::move(current);
        result.availableVersion = std::move(available);
        return result;
    };
    const QString cafe = QStringLiteral("Caf\u00e9 14");
    const QString cafeDecomposed = QStringLiteral("Cafe\u0301 14");
    const struct {
        std::optional<VMMacOSUpdateInfo> info;
        std::optional<QString> failure;
        Status status;
    } cases[] = {
        {std::nullopt, std::nullopt, Status::unchecked},
        {std::nullopt, QStringLiteral("offline"), Status::checkFailed},
        {info(std::nullopt, std::nullopt), QStringLiteral("no catalog"), Status::checkFailed},
        {info(std::nullopt, std::nullopt), std::nullopt, Status::upToDate},
        {info(QStringLiteral("14.2"), QStringLiteral("14.2")), std::nullopt, Status::upToDate},
        {info(cafe, cafeDecomposed), std::nullopt, Status::upToDate},
        {info(QStringLiteral("14.2 "), QStringLiteral("14.2")), std::nullopt, Status::updateAvailable},
        {info(QStringLiteral("debian"), QStringLiteral("Debian")), std::nullopt, Status::updateAvailable},
        {info(std::nullopt, QStringLiteral("14.3")), std::nullopt, Status::updateAvailable},
    };
    for (const auto &[result, failure, status] : cases)
        EXPECT_EQ(GuestUpdatePresentation::status(result, failure), status);

    EXPECT_EQ(GuestUpdatePresentation::statusTitle(Status::checkFailed, true), QStringLiteral("Could not check"));
    EXPECT_EQ(GuestUpdatePresentation::statusTitle(Status::updateAvailable, true), QStringLiteral("Newer ISO Available"));
    EXPECT_EQ(GuestUpdatePresentation::statusTitle(Status::updateAvailable, false), QStringLiteral("Update Available"));
    EXPECT_EQ(GuestUpdatePresentation::commandTitle(VMGuestOSType::macOS), QStringLiteral("Check for macOS Updates"));
    EXPECT_EQ(GuestUpdatePresentation::commandTitle(VMGuestOSType::linux), QStringLiteral("Check for Linux Updates"));
    EXPECT_EQ(GuestUpdatePresentation::commandTitle(VMGuestOSType::windows), QStringLiteral("Check for Guest Updates"));
    EXPECT_EQ(GuestUpdatePresentation::commandTitle(std::nullopt), QStringLiteral("Check for Guest Updates")) << "nothing selected";
    EXPECT_FALSE(GuestUpdatePresentation::isShown(VMGuestOSType::windows));
    EXPECT_TRUE(GuestUpdatePresentation::isShown(VMGuestOSType::linux));
    EXPECT_TRUE(GuestUpdatePresentation::isShown(std::nullopt));
    EXPECT_TRUE(GuestUpdatePresentation::canPrepare(false, false));
    EXPECT_FALSE(GuestUpdatePresentation::canPrepare(true, false));
    EXPECT_FALSE(GuestUpdatePresentation::canPrepare(false, true));
}

} // namespace
