// SPDX-License-Identifier: MIT
#include "ClipboardPasteboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include <gtest/gtest.h>

TEST(ClipboardPasteboardTest, EveryChangeMovesTheCountAndOnlyTextReadsAsAString)
{
    ClipboardPasteboard pasteboard(*QApplication::clipboard());
    const qint64 start = pasteboard.changeCount();
    pasteboard.setString(QStringLiteral("grüße"));
    EXPECT_GT(pasteboard.changeCount(), start);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("grüße"));

    const qint64 afterText = pasteboard.changeCount();
    auto *image = new QMimeData;
    image->setData(QStringLiteral("image/png"), QByteArray("\x89PNG", 4));
    QApplication::clipboard()->setMimeData(image); // someone copies something that is not text
    EXPECT_GT(pasteboard.changeCount(), afterText);
    EXPECT_EQ(pasteboard.string(), std::nullopt);

    pasteboard.clearContents();
    EXPECT_EQ(pasteboard.string(), std::nullopt);
}
