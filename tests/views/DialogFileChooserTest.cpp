// SPDX-License-Identifier: MIT
#include "DialogFileChooser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

/// One choice in flight: its answer once it came.
struct PendingChoice {
    bool answered = false;
    std::optional<QString> choice;
};

void choose(DialogFileChooser &chooser, QObject &context, PendingChoice &pending)
{
    FileChoiceRequest request;
    request.title = QStringLiteral("Export Here");
    request.canChooseDirectories = true;
    request.canChooseFiles = false;
    QCoro::connect(chooser.choose(request), &context, [&pending](const std::optional<QString> &choice) {
        pending.choice = choice;
        pending.answered = true;
    });
}

QFileDialog *openDialog()
{
    QFileDialog *found = nullptr;
    const bool opened = QTest::qWaitFor(
        [&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (widget->objectName() == QStringLiteral("fileChooser") && widget->isVisible())
                    found = qobject_cast<QFileDialog *>(widget);
            }
            return found != nullptr;
        },
        5000);
    return opened ? found : nullptr;
}

TEST(DialogFileChooserTest, AChooserThatGoesAwayWithItsWindowAnswersAsCancelled)
{
    DialogFileChooser chooser;
    QObject context;
    auto window = std::make_unique<QWidget>();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    PendingChoice pending;
    choose(chooser, context, pending);
    QFileDialog *dialog = openDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->parentWidget(), window.get());
    window.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pending.answered; }, 5000)) << "the choice never ended";
    EXPECT_EQ(pending.choice, std::nullopt);
}

TEST(DialogFileChooserTest, WithNoWindowActiveTheDialogOpensOverTheChoosersWindowAndGivesTheChoice)
{
    QWidget window;
    DialogFileChooser chooser(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(nullptr);
    QTemporaryDir folder;
    QObject context;

    PendingChoice pending;
    choose(chooser, context, pending);
    QFileDialog *dialog = openDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->parentWidget(), &window);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    dialog->setDirectory(folder.path());
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_TRUE(QTest::qWaitFor([&] { return pending.answered; }, 5000));
    ASSERT_TRUE(pending.choice);
    EXPECT_EQ(QFileInfo(*pending.choice).canonicalFilePath(), QDir(folder.path()).canonicalPath());
}

TEST(DialogFileChooserTest, TheDialogOpensLargeEnoughForItsColumnsWithinTheScreen)
{
    QWidget window;
    DialogFileChooser chooser(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QObject context;
    PendingChoice pending;
    choose(chooser, context, pending);
    QFileDialog *dialog = openDialog();
    ASSERT_TRUE(dialog);
    const QRect available = dialog->screen()->availableGeometry();
    EXPECT_GT(dialog->width(), 632);
    EXPECT_GT(dialog->height(), 412);
    EXPECT_LE(dialog->width(), available.width());
    EXPECT_LE(dialog->height(), available.height());
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir::home().canonicalPath()) << "a choice without a folder of its own";
    dialog->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pending.answered; }, 5000));
}

} // namespace
