// SPDX-License-Identifier: MIT
#include "TransferSpeed.h"

#include <QList>

#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace {

TEST(TransferSpeedTest, TheSpeedFollowsWhatArrivesAndFallsWhileNothingDoes)
{
    constexpr qint64 stallTime = 1000;
    const struct {
        const char *what;
        QList<std::pair<qint64, qint64>> samples; // bytes received so far, at a time in ms
        std::optional<double> speed;
        bool stalled;
    } cases[] = {
        {"nothing yet", {{0, 350}, {0, 700}}, std::nullopt, false},
        {"a steady 1 MB/s", {{350'000, 350}, {700'000, 700}, {1'050'000, 1050}}, 1'000'000.0, false},
        {"smoothed, not jumping", {{350'000, 350}, {1'050'000, 700}}, 0.7 * 1'000'000 + 0.3 * 2'000'000, false},
        {"one empty interval lowers it and still promises", {{350'000, 350}, {350'000, 700}}, 0.7 * 1'000'000, false},
        {"a stall: falling, and stalled", {{350'000, 350}, {350'000, 700}, {350'000, 1050}, {350'000, 1400}},
         1'000'000.0 * 0.7 * 0.7 * 0.7, true},
        {"bytes again after a stall", {{350'000, 350}, {350'000, 1400}, {700'000, 1750}}, 0.7 * 700'000 + 0.3 * 1'000'000, false},
        {"a sample at the same moment changes nothing", {{350'000, 350}, {900'000, 350}}, 1'000'000.0, false},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        TransferSpeed speed(stallTime);
        for (const auto &[bytes, now] : testCase.samples)
            speed.sample(bytes, now);
        ASSERT_EQ(speed.bytesPerSecond().has_value(), testCase.speed.has_value());
        if (testCase.speed) {
            EXPECT_NEAR(*speed.bytesPerSecond(), *testCase.speed, 1e-6 * *testCase.speed);
            EXPECT_EQ(speed.isStalled(), testCase.stalled);
        }
    }
}

} // namespace
