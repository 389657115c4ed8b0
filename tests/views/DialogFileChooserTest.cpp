// SPDX-License-Identifier: MIT
#include "DialogFileChooser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
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

void choose(DialogFileChooser &chooser, QObject &context, PendingChoice &pending, const QString &startFolder = QString())
{
    FileChoiceRequest request;
    request.title = QStringLiteral("Export Here");
    request.startFolder = startFolder;
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

TEST(DialogFileChooserTest, AFolderTypedIntoTheNameFieldIsTheChoiceAndAnyOtherNameIsRefused)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("exports/old")));
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("exp")));
    const QString shown = QDir(root.path()).canonicalPath();
    const QString exports = shown + QStringLiteral("/exports");
    struct Case {
        QString typed;
        QString expected; // none: refused, the dialog stays open
    };
    const Case cases[] = {
        {exports, exports},
        {exports + QLatin1Char('/'), exports},
        {QStringLiteral("exports"), exports},
        {QStringLiteral("exports/old"), exports + QStringLiteral("/old")},
        {QString(), shown},
        {shown + QStringLiteral("/missing"), QString()},
        {QStringLiteral("missing"), QString()},
    };
    QWidget window;
    DialogFileChooser chooser(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // Typed keys can reach the field before the dialog has the focus, as when typing starts right as it opens.
    for (const bool focused : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE((focused ? "focused: " : "not focused: ") + c.typed.toStdString());
            QObject context;
            PendingChoice pending;
            choose(chooser, context, pending, shown);
            QFileDialog *dialog = openDialog();
            ASSERT_TRUE(dialog);
            ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            ASSERT_TRUE(name);
            if (focused) {
                name->setFocus();
                ASSERT_TRUE(QTest::qWaitFor([&] { return name->hasFocus(); }, 5000));
            } else {
                name->clearFocus();
            }
            QTest::keyClicks(name, c.typed);
            QTest::keyClick(name, Qt::Key_Return);
            if (c.expected.isEmpty()) {
                EXPECT_TRUE(dialog->isVisible()) << "a name that is no folder was taken";
                auto *refusal = dialog->findChild<QMessageBox *>(QStringLiteral("noSuchFolder"));
                ASSERT_TRUE(refusal) << "the refusal was not shown";
                EXPECT_TRUE(refusal->isVisible());
                refusal->accept();
                dialog->reject();
                ASSERT_TRUE(QTest::qWaitFor([&] { return pending.answered; }, 5000));
                EXPECT_EQ(pending.choice, std::nullopt);
                continue;
            }
            ASSERT_TRUE(QTest::qWaitFor([&] { return pending.answered; }, 5000)) << "Enter did not choose";
            ASSERT_TRUE(pending.choice);
            EXPECT_EQ(QFileInfo(*pending.choice).canonicalFilePath(), c.expected);
        }
    }
}

} // namespace
