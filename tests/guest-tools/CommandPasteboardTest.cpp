// SPDX-License-Identifier: MIT
#include "clipboard-agent/CommandPasteboard.h"

#include "GuestTestSupport.h"

using namespace GuestTools;
using namespace GuestTestSupport;

/// Fake wl-copy and wl-paste that keep the clipboard in a file; "no text" is a missing file.
class CommandPasteboardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string store = "'" + clipboard.string() + "'";
        writeScript(directory.path() / "wl-copy", "echo \"$@\" >> '" + (directory.path() / "copy-calls").string() + "'\n"
                                                  "if [ \"$1\" = --clear ]; then rm -f " + store + "; else cat > " + store + "; fi\n");
        writeScript(directory.path() / "wl-paste", "[ -f " + store + " ] || { echo 'Nothing is copied' >&2; exit 1; }\n"
                                                   "echo 'a warning on standard error' >&2\n"
                                                   "cat " + store + "\n");
    }

    CommandPasteboard pasteboard() const
    {
        return CommandPasteboard(CommandPasteboard::wayland(directory.path() / "wl-copy", directory.path() / "wl-paste"));
    }

    TemporaryDirectory directory;
    const fs::path clipboard = directory.path() / "clipboard";
};

TEST_F(CommandPasteboardTest, WritesAndReadsTheTextExactly)
{
    CommandPasteboard board = pasteboard();
    EXPECT_EQ(board.text(), std::nullopt);
    const std::string text = "two lines\nwith ünïcødé and a trailing newline\n";
    board.setText(text);
    EXPECT_EQ(readFile(clipboard), text);
    EXPECT_EQ(board.text(), text);
    EXPECT_EQ(readFile(directory.path() / "copy-calls"), "--type text/plain;charset=utf-8\n");

    board.clearContents();
    EXPECT_EQ(board.text(), std::nullopt);
}

TEST_F(CommandPasteboardTest, CountsItsOwnWritesAndOutsideChangesOnly)
{
    CommandPasteboard board = pasteboard();
    const auto start = board.changeCount();
    EXPECT_EQ(board.changeCount(), start);

    board.clearContents();
    board.setText("from the host");
    const auto afterWrite = board.changeCount();
    EXPECT_EQ(afterWrite, start + 2);
    EXPECT_EQ(board.changeCount(), afterWrite);

    writeFile(clipboard, "copied by the user");
    const auto afterOutsideChange = board.changeCount();
    EXPECT_EQ(afterOutsideChange, afterWrite + 1);
    EXPECT_EQ(board.text(), "copied by the user");
    EXPECT_EQ(board.changeCount(), afterOutsideChange);

    fs::remove(clipboard);
    EXPECT_EQ(board.changeCount(), afterOutsideChange + 1);
    EXPECT_EQ(board.text(), std::nullopt);
}

TEST_F(CommandPasteboardTest, WithoutItsToolNothingIsReadAndNothingChanges)
{
    CommandPasteboard board(CommandPasteboard::x11(directory.path() / "missing-xclip"));
    EXPECT_EQ(board.text(), std::nullopt);
    const auto start = board.changeCount();
    board.clearContents();
    board.setText("nowhere to go");
    EXPECT_EQ(board.changeCount(), start);
    EXPECT_EQ(board.text(), std::nullopt);
}
