// SPDX-License-Identifier: MIT
#include "CappedReplyBody.h"

#include "FakeHttpServer.h"
#include "NetworkReplies.h"
#include "ReplyGuard.h"
#include "TaskOutcome.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace {

using Response = FakeHttpServer::Response;

constexpr qint64 cap = 256 * 1024;

Response answer(QByteArray body, std::optional<qint64> announced, bool endless = false, std::optional<qint64> stallAfter = std::nullopt)
{
    Response response(200, std::move(body));
    response.announcedLength = announced;
    response.endless = endless;
    if (stallAfter) {
        response.cutAfter = stallAfter;
        response.stall = true;
    }
    return response;
}

TEST(CappedReplyBody, HoldsNoMoreThanItsCapAndRefusesTheMomentItIsPassed)
{
    const QByteArray whole(cap, 'a');
    const struct {
        const char *what;
        Response response;
        bool tooLarge;
    } cases[] = {
        {"exactly the cap, announced", answer(whole, std::nullopt), false},
        {"exactly the cap, up to the close", answer(whole, -1), false},
        {"endless, with no length", answer("{", -1, true), true},
        // Both stall with the connection open: only a refusal ends them before the time limit.
        {"a length above the cap, sent slowly", answer("{", cap + 1, false, 1), true},
        {"one byte past the cap, then nothing", answer(whole + 'b', -1, false, cap + 1), true},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        FakeHttpServer server([&](const FakeHttpServer::Request &) { return testCase.response; });
        QNetworkAccessManager network;
        const ReplyGuard reply(network.get(QNetworkRequest(server.url(QStringLiteral("/body")))));
        CappedReplyBody body(reply.get(), cap);
        // Bounded, the network layer stops reading the socket while the body waits; unbounded, it queues whatever the server sends.
        EXPECT_GT(reply.get()->readBufferSize(), 0);
        EXPECT_LE(reply.get()->readBufferSize(), cap);
        // Connected after the body's own handler: sees what is held once each arrival was dealt with.
        qint64 mostHeld = 0;
        QObject::connect(reply.get(), &QIODevice::readyRead, [&] { mostHeld = std::max(mostHeld, body.size() + reply.get()->bytesAvailable()); });

        const bool finished = waitForOutcome(NetworkReplies::waitForReply(reply.get(), std::chrono::seconds(30))).get();
        EXPECT_TRUE(finished);
        EXPECT_EQ(body.isTooLarge(), testCase.tooLarge);
        EXPECT_LE(mostHeld, cap);
        EXPECT_LE(body.size(), cap);
        if (testCase.tooLarge) {
            EXPECT_EQ(reply.get()->error(), QNetworkReply::OperationCanceledError);
            EXPECT_TRUE(body.take().isEmpty());
        } else {
            EXPECT_EQ(reply.get()->error(), QNetworkReply::NoError);
            EXPECT_EQ(body.take(), whole);
        }
    }
}

} // namespace
