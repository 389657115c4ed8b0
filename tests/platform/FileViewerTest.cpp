// SPDX-License-Identifier: MIT
#include "FileViewer.h"

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

} // namespace
