// SPDX-License-Identifier: MIT
#include "SignalWaiter.h"

#include "TaskRunner.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

class Sender : public QObject
{
    Q_OBJECT

Q_SIGNALS:
    void happened(int value);
};

TEST(SignalWaiterTest, SettlesOnTheFirstAcceptedSignalEvenBeforeTheWait)
{
    Sender first;
    Sender second;
    SignalWaiter waiter;
    waiter.watch(&first, &Sender::happened, 1, [](int value) { return value == 2; });
    waiter.watch(&second, &Sender::happened, 2);

    Q_EMIT first.happened(1);
    EXPECT_FALSE(waiter.outcome().has_value()) << "the filter refused the first emission";
    Q_EMIT first.happened(2);
    Q_EMIT second.happened(0);
    EXPECT_EQ(TaskRunner::run(waiter.wait(1s)), std::optional<int>(1));
}

TEST(SignalWaiterTest, ResumesWhenTheSenderDiesOrTheTimeRunsOut)
{
    auto sender = std::make_unique<Sender>();
    SignalWaiter dying;
    dying.watch(sender.get(), &Sender::happened, 1);
    dying.watchDestruction(sender.get(), 2);
    QTimer::singleShot(20, [&sender] { sender.reset(); });
    EXPECT_EQ(TaskRunner::run(dying.wait(5s)), std::optional<int>(2));

    Sender silent;
    SignalWaiter idle;
    idle.watch(&silent, &Sender::happened, 1);
    EXPECT_EQ(TaskRunner::run(idle.wait(30ms)), std::nullopt);
}

} // namespace

#include "SignalWaiterTest.moc"
