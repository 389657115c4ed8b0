// SPDX-License-Identifier: MIT
// The host and the guest tools keep separate copies of the automation folder's
// messages. Each message written by one side must read back on the other side
// as the same value, byte for byte in the same JSON, and a document one side
// refuses must be refused by the other.
#include "VMClipboardMessage.h"
#include "VMGuestAutomationHeartbeat.h"
#include "VMGuestAutomationRequest.h"
#include "VMGuestAutomationResponse.h"

#include "VMSharedFolderService.h"

#include "core/DozizidOdezuConstants.h"
#include "core/DozizidOdezuJSON.h"
#include "core/Uuid.h"
#include "core/VMClipboardMessage.h"
#include "core/VMGuestAutomationHeartbeat.h"
#include "core/VMGuestAutomationRequest.h"
#include "core/VMGuestAutomationResponse.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QMap>
#include <QUuid>

#include <chrono>
#include <map>
#include <string>

namespace Guest = GuestTools;

namespace {

const char *const identifierText = "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B";

Guest::Uuid guestIdentifier()
{
    return *Guest::Uuid::parse(identifierText);
}

QUuid hostIdentifier()
{
    return QUuid::fromString(QLatin1String(identifierText));
}

Guest::Timestamp guestTime()
{
    using namespace std::chrono;
    return sys_days(year(2024) / February / 29) + hours(23) + minutes(59) + seconds(58);
}

QDateTime hostTime()
{
    return QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC);
}

QByteArray bytes(const std::string &text)
{
    return QByteArray::fromStdString(text);
}

/// The guest's JSON reads on the host as `hostValue`, the host's reads on the guest as `guestValue`, and both texts are the same.
template <typename HostType, typename GuestType>
void expectSameMessage(const HostType &hostValue, const GuestType &guestValue)
{
    const QByteArray hostText = sharedJSONEncoder().encode(hostValue);
    const std::string guestText = Guest::DozizidOdezuJSON::encode(guestValue);
    EXPECT_EQ(hostText, bytes(guestText));
    EXPECT_EQ(sharedJSONDecoder().decode<HostType>(bytes(guestText)), hostValue);
    EXPECT_EQ(Guest::DozizidOdezuJSON::decode<GuestType>(hostText.toStdString()), guestValue);
}

template <typename HostType, typename GuestType>
void expectBothRefuse(const std::string &text)
{
    EXPECT_THROW(sharedJSONDecoder().decode<HostType>(bytes(text)), JSONDecodingError) << text;
    EXPECT_THROW(Guest::DozizidOdezuJSON::decode<GuestType>(text), Guest::ToolsError) << text;
}

} // namespace

TEST(AutomationFolderContractTest, RequestsReadTheSameOnBothSides)
{
    for (const quint64 size : {quint64(0), quint64(68719476736), quint64(18446744073709551615ULL)}) {
        expectSameMessage(VMGuestAutomationRequest{hostIdentifier(), VMGuestAutomationCommand::expandSystemAPFSContainer, hostTime(), size},
                          Guest::VMGuestAutomationRequest{guestIdentifier(), Guest::VMGuestAutomationCommand::expandSystemAPFSContainer,
                                                          guestTime(), size});
    }
}

TEST(AutomationFolderContractTest, ResponsesReadTheSameOnBothSides)
{
    for (const bool success : {true, false}) {
        const std::string message = success ? "macOS claimed the newly available space automatically."
                                            : "Kestrum Tools could not determine or resize the APFS container automatically.";
        expectSameMessage(VMGuestAutomationResponse{hostIdentifier(), success, hostTime(), QString::fromStdString(message)},
                          Guest::VMGuestAutomationResponse{guestIdentifier(), success, guestTime(), message});
    }
}

TEST(AutomationFolderContractTest, CIScriptRequestsAndAnswersReadTheSameOnBothSides)
{
    VMGuestAutomationRequest hostRequest{hostIdentifier(), VMGuestAutomationCommand::runCIScript, hostTime(), 0};
    hostRequest.timeoutSeconds = 90;
    hostRequest.environment = QMap<QString, QString>{{QStringLiteral("MODE"), QStringLiteral("two\nlines $(x)")}, {QStringLiteral("EMPTY"), QString()}};
    hostRequest.captureOutput = false;
    Guest::VMGuestAutomationRequest guestRequest{guestIdentifier(), Guest::VMGuestAutomationCommand::runCIScript, guestTime(), 0};
    guestRequest.timeoutSeconds = 90;
    guestRequest.environment = std::map<std::string, std::string>{{"MODE", "two\nlines $(x)"}, {"EMPTY", ""}};
    guestRequest.captureOutput = false;
    expectSameMessage(hostRequest, guestRequest);

    VMGuestAutomationResponse exited{hostIdentifier(), false, hostTime(), QStringLiteral("The CI script exited with code 3."), 3, {}};
    expectSameMessage(exited, Guest::VMGuestAutomationResponse{guestIdentifier(), false, guestTime(), "The CI script exited with code 3.", 3, {}});
    VMGuestAutomationResponse stopped{hostIdentifier(), false, hostTime(), QStringLiteral("Stopped."), {}, true};
    expectSameMessage(stopped, Guest::VMGuestAutomationResponse{guestIdentifier(), false, guestTime(), "Stopped.", {}, true});

    expectBothRefuse<VMGuestAutomationRequest, Guest::VMGuestAutomationRequest>(
        R"({"command": "runCIScript", "createdAt": "2024-02-29T23:59:58Z", "id": "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B",
            "requestedDiskSizeBytes": 0, "environment": {"A": 1}})");
    expectBothRefuse<VMGuestAutomationRequest, Guest::VMGuestAutomationRequest>(
        R"({"command": "runCIScript", "createdAt": "2024-02-29T23:59:58Z", "id": "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B",
            "requestedDiskSizeBytes": 0, "timeoutSeconds": "60"})");
    expectBothRefuse<VMGuestAutomationResponse, Guest::VMGuestAutomationResponse>(
        R"({"handledAt": "2024-02-29T23:59:58Z", "message": "", "requestID": "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B",
            "success": false, "timedOut": 1})");
}

TEST(AutomationFolderContractTest, HeartbeatsReadTheSameWithAndWithoutAName)
{
    expectSameMessage(VMGuestAutomationHeartbeat{QStringLiteral("3"), hostTime(), QStringLiteral("Anna’s Mac / Büro")},
                      Guest::VMGuestAutomationHeartbeat{"3", guestTime(), "Anna’s Mac / Büro"});
    expectSameMessage(VMGuestAutomationHeartbeat{QStringLiteral("3"), hostTime(), std::nullopt},
                      Guest::VMGuestAutomationHeartbeat{"3", guestTime(), std::nullopt});
}

TEST(AutomationFolderContractTest, ClipboardTextCrossesInBothDirections)
{
    for (const char *text : {"plain", "Grüße, 東京 🚀\nsecond line\t/\\\"", ""}) {
        const QString hostText = QString::fromUtf8(text);
        // The host's clipboard service encodes the text itself: UTF-8 bytes, standard Base64.
        const QString hostBase64 = QString::fromLatin1(hostText.toUtf8().toBase64());
        for (const auto source : {VMClipboardMessageSource::host, VMClipboardMessageSource::guest}) {
            const auto guestSource = source == VMClipboardMessageSource::host ? Guest::VMClipboardMessageSource::host
                                                                               : Guest::VMClipboardMessageSource::guest;
            const auto guestMessage = Guest::VMClipboardMessage::withText(guestIdentifier(), guestSource, guestTime(), text);
            expectSameMessage(VMClipboardMessage{hostIdentifier(), source, hostTime(), hostBase64}, guestMessage);

            const QByteArray fromHost = sharedJSONEncoder().encode(VMClipboardMessage{hostIdentifier(), source, hostTime(), hostBase64});
            EXPECT_EQ(Guest::DozizidOdezuJSON::decode<Guest::VMClipboardMessage>(fromHost.toStdString()).text(), text);
        }
    }
}

TEST(AutomationFolderContractTest, BothSidesRefuseTheSameFaultyDocuments)
{
    using HostRequest = VMGuestAutomationRequest;
    using GuestRequest = Guest::VMGuestAutomationRequest;
    const std::string id = std::string("\"id\":\"") + identifierText + "\"";
    expectBothRefuse<HostRequest, GuestRequest>("{" + id + R"(,"command":"expandsystemapfscontainer","createdAt":"2024-02-29T23:59:58Z","requestedDiskSizeBytes":1})");
    expectBothRefuse<HostRequest, GuestRequest>("{" + id + R"(,"command":"expandSystemAPFSContainer","createdAt":"2024-02-29T23:59:58.5Z","requestedDiskSizeBytes":1})");
    expectBothRefuse<HostRequest, GuestRequest>("{" + id + R"(,"command":"expandSystemAPFSContainer","createdAt":"2024-02-29T23:59:58Z","requestedDiskSizeBytes":-1})");
    expectBothRefuse<HostRequest, GuestRequest>("{" + id + R"(,"command":"expandSystemAPFSContainer","createdAt":"2024-02-29T23:59:58Z"})");
    expectBothRefuse<VMGuestAutomationResponse, Guest::VMGuestAutomationResponse>(
        R"({"requestID":"6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B","success":"true","handledAt":"2024-02-29T23:59:58Z","message":""})");
    expectBothRefuse<VMClipboardMessage, Guest::VMClipboardMessage>(
        "{" + id + R"(,"source":"Host","updatedAt":"2024-02-29T23:59:58Z","textBase64":""})");
    expectBothRefuse<VMClipboardMessage, Guest::VMClipboardMessage>(
        R"({"id":"1709251198-4242","source":"host","updatedAt":"2024-02-29T23:59:58Z","textBase64":""})");
    expectBothRefuse<VMGuestAutomationHeartbeat, Guest::VMGuestAutomationHeartbeat>(R"({"agentVersion":"3"})");
}

TEST(AutomationFolderContractTest, TheGuestToolsLookForTheShareWhereTheHostPutsIt)
{
    const auto host = [](QStringView text) { return text.toString().toStdString(); };
    EXPECT_EQ(host(VMSharedFolderService::automationShareName), Guest::DozizidOdezuConstants::automationShareName);
    EXPECT_EQ(host(VirtioFileSystemDeviceConfiguration::macOSGuestAutomountTag), Guest::DozizidOdezuConstants::macOSGuestShareTag);
    EXPECT_EQ(host(VMSharedFolderService::linuxGuestTag), Guest::DozizidOdezuConstants::linuxGuestShareTag);
}
