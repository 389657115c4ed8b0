// SPDX-License-Identifier: MIT
#include "GuestDiskExpansionGuideView.h"

#include "LabGroupBox.h"
#include "LabPanel.h"
#include "TextStyle.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

using TextStyle::plain;
using TextStyle::secondary;

QWidget *GuestDiskExpansionGuideView::commandBlock(const QString &command, QWidget *parent)
{
    auto *panel = new LabPanel(14, parent);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(LabPanel::shadowMargins() + QMargins(12, 12, 12, 12));
    auto *text = new QLabel(command);
    text->setObjectName(QStringLiteral("guide.command"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(text);
    return panel;
}

GuestDiskExpansionGuideView::GuestDiskExpansionGuideView(
    const QString &vmName, const QString &capacitySummary, VMGuestOSType guest, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("diskGuide"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);
    const bool macOS = guest != VMGuestOSType::linux;
    const QString system = macOS ? QStringLiteral("macOS") : QStringLiteral("Linux");

    column->addWidget(TextStyle::label(QStringLiteral("If ") + system + QStringLiteral(" Still Shows The Old Size"), TextRole::title2));
    QLabel *intro = secondary(vmName + QStringLiteral(" now has a virtual disk capacity of ") + capacitySummary
        + QStringLiteral(". Zovozu VM Lab already completed the VM disk resize. If ") + system
        + QStringLiteral(" inside the guest still shows the old storage amount, use one of the options below so ") + system
        + QStringLiteral(" can claim the newly available space."));
    intro->setObjectName(QStringLiteral("diskGuide.introduction"));
    column->addWidget(intro);

    auto *recommended = new LabGroupBox(QStringLiteral("Recommended"));
    recommended->contentLayout()->setSpacing(10);
    const QStringList steps = macOS ? QStringList{
                                          QStringLiteral("1. Start the VM."),
                                          QStringLiteral("2. Open Disk Utility inside the guest."),
                                          QStringLiteral("3. Select the APFS container or disk that holds Macintosh HD."),
                                          QStringLiteral("4. If Disk Utility offers a resize or grow action, use it to consume the newly available space."),
                                          QStringLiteral("5. Reopen System Settings > General > Storage to confirm the new free space appears."),
                                      }
                                    : QStringList{
                                          QStringLiteral("1. Start the VM."),
                                          QStringLiteral("2. With the Kestrum Tools installed, the guest grows its root partition and file system on its own within a minute of boot."),
                                          QStringLiteral("3. Check the new size with df -h / inside the guest."),
                                      };
    for (const QString &step : steps)
        recommended->contentLayout()->addWidget(plain(step));
    column->addWidget(recommended);

    auto *terminal = new LabGroupBox(QStringLiteral("Terminal Option"));
    terminal->contentLayout()->setSpacing(12);
    if (macOS) {
        terminal->contentLayout()->addWidget(
            secondary(QStringLiteral("If Disk Utility does not expand it automatically, use Terminal inside the guest.")));
        terminal->contentLayout()->addWidget(commandBlock(QStringLiteral("diskutil apfs list")));
        terminal->contentLayout()->addWidget(
            secondary(QStringLiteral("Find the APFS container that holds Macintosh HD, then grow it to the maximum available size:")));
        terminal->contentLayout()->addWidget(commandBlock(QStringLiteral("diskutil apfs resizeContainer <containerIdentifier> 0")));
        QLabel *example = secondary(
            QStringLiteral("Example container identifiers often look like disk3s2, but you should use the identifier shown on your VM."));
        example->setFont(TextStyle::font(TextRole::footnote));
        terminal->contentLayout()->addWidget(example);
    } else {
        terminal->contentLayout()->addWidget(
            secondary(QStringLiteral("Without the tools, grow the root partition and its file system in a terminal inside the guest.")));
        terminal->contentLayout()->addWidget(commandBlock(QStringLiteral("lsblk")));
        terminal->contentLayout()->addWidget(secondary(QStringLiteral("Find the disk and the partition that hold /, then grow them:")));
        terminal->contentLayout()->addWidget(commandBlock(QStringLiteral("sudo growpart /dev/vda <partitionNumber>")));
        terminal->contentLayout()->addWidget(commandBlock(QStringLiteral("sudo resize2fs /dev/vda<partitionNumber>")));
        QLabel *example = secondary(QStringLiteral("growpart comes with the package cloud-guest-utils. On XFS use sudo xfs_growfs / "
                                                   "instead of resize2fs; on Btrfs sudo btrfs filesystem resize max /."));
        example->setFont(TextStyle::font(TextRole::footnote));
        terminal->contentLayout()->addWidget(example);
    }
    column->addWidget(terminal);

    auto *notes = new LabGroupBox(QStringLiteral("Notes"));
    notes->contentLayout()->setSpacing(10);
    notes->contentLayout()->addWidget(
        secondary(QStringLiteral("The host-side disk image remains sparse. Virtual capacity can be larger than current host usage.")));
    notes->contentLayout()->addWidget(secondary(macOS
            ? QStringLiteral(
                "Shrink is intentionally not supported for installed macOS guests because it is much riskier than grow-only expansion.")
            : QStringLiteral(
                "Shrink is intentionally not supported for installed guests because it is much riskier than grow-only expansion.")));
    notes->contentLayout()->addWidget(secondary(
        macOS ? QStringLiteral(
            "If the guest still does not show the added space after resizing the APFS container, restart the VM and check Storage again.")
              : QStringLiteral("If the guest still does not show the added space after growing the file system, restart the VM and check "
                               "df -h / again.")));
    column->addWidget(notes);
    column->addStretch(1);
}
