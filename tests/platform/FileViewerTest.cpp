// SPDX-License-Identifier: MIT
#include "FileViewer.h"

#include "DesktopOpener.h"

#include "EventLoopWait.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

TEST(DesktopFileViewerTest, AFolderOpenerThatCannotStartOrFailsIsReported)
{
    const QString bundle = QStringLiteral("/srv/library/Debian.vm");
    const struct {
        const char *opener;
        const char *why;
    } cases[] = {
        {"/nonexistent/xdg-open", "no opener is installed"},
        {"false", "the opener found nothing to open the folder with"},
    };
    for (const auto &[opener, why] : cases) {
        SCOPED_TRACE(why);
        DesktopFileViewer viewer(QString::fromUtf8(opener), false);
        QStringList reasons;
        viewer.revealItem(bundle, [&reasons](const QString &reason) { reasons << reason; });
        ASSERT_TRUE(EventLoopWait::waitUntil([&reasons] { return !reasons.isEmpty(); }));
        EXPECT_EQ(reasons, QStringList{QStringLiteral("No file manager could be opened to show “/srv/library/Debian.vm”.")});
    }
}

TEST(DesktopOpenerTest, AWebPageNoBrowserCanShowIsReported)
{
    const QUrl page(QStringLiteral("https://example.org/download"));
    for (const char *opener : {"/nonexistent/xdg-open", "false"}) {
        SCOPED_TRACE(opener);
        QStringList reasons;
        DesktopOpener::openWebPage(page, [&reasons](const QString &reason) { reasons << reason; }, QString::fromUtf8(opener));
        ASSERT_TRUE(EventLoopWait::waitUntil([&reasons] { return !reasons.isEmpty(); }));
        EXPECT_EQ(reasons, QStringList{QStringLiteral("No web browser could be opened to show “https://example.org/download”.")});
    }
}

} // namespace
