// SPDX-License-Identifier: MIT
#include "ReplyToFile.h"

#include "FakeHttpServer.h"
#include "NetworkReplies.h"
#include "ReplyGuard.h"
#include "TaskOutcome.h"
#include "TemporaryHome.h"
#include "TestFiles.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

namespace {

using Response = FakeHttpServer::Response;
using Stop = ReplyToFile::Stop;

constexpr qint64 mebibyte = 1024 * 1024;

Response stalledAfter(QByteArray body, qint64 sent)
{
    Response response(200, std::move(body));
    response.cutAfter = sent;
    response.stall = true;
    return response;
}

TEST(ReplyToFile, WritesTheBodyWhereTheAnswerSaysItStartsAndStopsForEachReason)
{
    const QByteArray body = "the rest of the file";
    const QByteArray endless(mebibyte, 'x');
    const struct {
        const char *what;
        Response response;
        QByteArray before; // what the file holds already
        std::optional<qint64> start; // the check's answer
        quint64 freeBeyondReserve;
        bool cancelAfterFirstChunk;
        Stop stop;
        QByteArray after;
    } cases[] = {
        { "a fresh body replaces the file", Response(200, body), "stale", 0, mebibyte, false, Stop::none, body },
        { "a resumed body is appended", Response(206, body), "12345", 5, mebibyte, false, Stop::none, "12345" + body },
        { "a refused answer leaves the file alone", Response(500, body), "12345", std::nullopt, mebibyte, false, Stop::refused, "12345" },
        { "a body the disk cannot hold stops while the reserve is free", Response(200, endless), "", 0, 0, false, Stop::outOfSpace, "" },
        { "cancel keeps what arrived", stalledAfter(body, 4), "", 0, mebibyte, true, Stop::cancelled, body.left(4) },
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const TemporaryHome home;
        const QString path = home.path() + QStringLiteral("/download.part");
        TestFiles::write(path, testCase.before);
        FakeHttpServer server([&](const FakeHttpServer::Request &) { return testCase.response; });
        QNetworkAccessManager network;
        const ReplyGuard reply(network.get(QNetworkRequest(server.url(QStringLiteral("/file")))));
        QFile file(path);
        int judged = 0;
        QByteArray seen;
        ReplyToFile transfer(
            reply.get(), file,
            DownloadSpace(home.path(), [&](const QString &) { return DownloadSpace::reserve + testCase.freeBeyondReserve; }),
            [&](QNetworkReply &) {
                ++judged;
                return testCase.start;
            },
            [&](const QByteArray &chunk) {
                seen += chunk;
                if (testCase.cancelAfterFirstChunk)
                    transfer.cancel();
            },
            qint64(testCase.before.size()));
        EXPECT_EQ(transfer.received(), testCase.before.size()) << "the offset asked for counts until the answer says otherwise";

        EXPECT_TRUE(waitForOutcome(NetworkReplies::waitForReply(reply.get(), std::chrono::seconds(20))).get());
        transfer.finish();
        EXPECT_EQ(transfer.stop(), testCase.stop);
        EXPECT_EQ(judged, 1);
        EXPECT_FALSE(file.isOpen());
        EXPECT_EQ(TestFiles::read(path), testCase.after);
        EXPECT_EQ(seen, testCase.start ? testCase.after.mid(*testCase.start) : QByteArray());
        EXPECT_EQ(transfer.received(), testCase.start ? testCase.after.size() : testCase.before.size());
    }
}

TEST(ReplyToFile, AFileThatCannotBeOpenedStopsTheTransferWithItsReason)
{
    const TemporaryHome home;
    FakeHttpServer server([](const FakeHttpServer::Request &) { return Response(200, "body"); });
    QNetworkAccessManager network;
    const ReplyGuard reply(network.get(QNetworkRequest(server.url(QStringLiteral("/file")))));
    QFile file(home.path() + QStringLiteral("/missing folder/download.part"));
    ReplyToFile transfer(reply.get(), file, DownloadSpace(home.path()), [](QNetworkReply &) { return std::optional<qint64>(0); });
    waitForOutcome(NetworkReplies::waitForReply(reply.get(), std::chrono::seconds(20))).get();
    transfer.finish();
    EXPECT_EQ(transfer.stop(), Stop::writeFailed);
    EXPECT_FALSE(transfer.errorString().isEmpty());
    EXPECT_EQ(transfer.written(), 0);
}

} // namespace
