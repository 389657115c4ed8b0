// SPDX-License-Identifier: MIT
#include "DestructiveConfirmation.h"
#include "ViewCommand.h"

#include <QApplication>
#include <QCoroTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>

namespace {

QCoro::Task<> failLater(QString message)
{
    QTimer timer;
    timer.start(10);
    co_await timer;
    throw std::runtime_error(message.toStdString());
}

QCoro::Task<> finishLater(bool &finished)
{
    QTimer timer;
    timer.start(10);
    co_await timer;
    finished = true;
}

QMessageBox *openBox(const QString &objectName)
{
    QMessageBox *found = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (widget->objectName() == objectName && widget->isVisible())
                    found = qobject_cast<QMessageBox *>(widget);
            }
            return found != nullptr;
        },
        5000);
    return found;
}

const DestructiveConfirmation deletion{QStringLiteral("test.deleteAlert"), QStringLiteral("Delete?"), QStringLiteral("It is gone for good."),
                                       QStringLiteral("Delete")};

} // namespace

TEST(ViewCommandTest, AFailureThatEscapesTheTaskReachesTheReport)
{
    QObject context;
    std::optional<QString> reported;
    ViewCommand::start(context, failLater(QStringLiteral("disk full")), [&](const QString &message) { reported = message; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return reported.has_value(); }, 5000));
    EXPECT_EQ(*reported, QStringLiteral("disk full"));
}

TEST(ViewCommandTest, TheTaskRunsToItsEndAfterItsWidgetWentAndReportsNothingThere)
{
    bool finished = false;
    bool reported = false;
    {
        QObject context;
        ViewCommand::start(context, finishLater(finished), [&](const QString &) { reported = true; });
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 5000));

    {
        QObject context;
        ViewCommand::start(context, failLater(QStringLiteral("late")), [&](const QString &) { reported = true; });
    }
    QTest::qWait(50);
    EXPECT_FALSE(reported);
}

TEST(DestructiveConfirmationTest, AskAnswersWhichButtonWasPressed)
{
    for (const bool confirm : {true, false}) {
        QWidget window;
        window.show();
        std::optional<bool> answer;
        QCoro::connect(deletion.ask(&window), &window, [&](bool confirmed) { answer = confirmed; });
        QMessageBox *box = openBox(deletion.objectName);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->defaultButton()->objectName(), QStringLiteral("test.deleteAlert.cancel"));
        box->findChild<QPushButton *>(confirm ? QStringLiteral("test.deleteAlert.confirm") : QStringLiteral("test.deleteAlert.cancel"))->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
        EXPECT_EQ(*answer, confirm);
    }
}

TEST(DestructiveConfirmationTest, AskAnswersNoWhenTheBoxGoesWithItsWindow)
{
    auto window = std::make_unique<QWidget>();
    window->show();
    QObject context;
    std::optional<bool> answer;
    QCoro::connect(deletion.ask(window.get()), &context, [&](bool confirmed) { answer = confirmed; });
    ASSERT_NE(openBox(deletion.objectName), nullptr);
    window.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
    EXPECT_FALSE(*answer);
}
