// SPDX-License-Identifier: MIT
#include "GuestToolsSetupView.h"

#include "GuestDiskExpansionGuideView.h"
#include "LabGroupBox.h"
#include "TextStyle.h"
#include "VMDetailsTexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using TextStyle::plain;
using TextStyle::secondary;

GuestToolsSetupView::GuestToolsSetupView(const Content &content, std::function<void()> revealHostFiles, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("guestTools"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);
    addIntroduction(*column, content);
    addVersionAndStatus(*column, content);
    addStepsInsideTheGuest(*column, content);
    addWhatHappensAfter(*column, content);
    addRevealButton(*column, std::move(revealHostFiles));
}

void GuestToolsSetupView::addIntroduction(QVBoxLayout &column, const Content &content)
{
    const QString tools = VMDetailsTexts::guestToolsName.toString();
    QLabel *heading = TextStyle::label(content.actionTitle, TextRole::title2);
    heading->setObjectName(QStringLiteral("guestTools.title"));
    column.addWidget(heading);
    column.addWidget(secondary(QStringLiteral("Use ") + tools + QStringLiteral(" inside ") + content.vmName
        + QStringLiteral(" to let Zovozu VM Lab complete supported guest tasks automatically after boot, including claiming newly "
                         "added disk space inside the guest and syncing plain-text clipboard content with the host.")));
}

void GuestToolsSetupView::addVersionAndStatus(QVBoxLayout &column, const Content &content)
{
    auto *version = new LabGroupBox(QStringLiteral("Version"));
    QLabel *versionText = plain(content.toolsVersionSummary);
    versionText->setObjectName(QStringLiteral("guestTools.version"));
    version->contentLayout()->addWidget(versionText);
    column.addWidget(version);

    auto *status = new LabGroupBox(QStringLiteral("Current Status"));
    status->contentLayout()->setSpacing(8);
    QLabel *statusText = plain(content.statusSummary);
    statusText->setObjectName(QStringLiteral("guestTools.status"));
    status->contentLayout()->addWidget(statusText);
    if (content.latestMessage) {
        QLabel *message = secondary(*content.latestMessage);
        message->setObjectName(QStringLiteral("guestTools.latestMessage"));
        message->setFont(TextStyle::font(TextRole::footnote));
        status->contentLayout()->addWidget(message);
    }
    column.addWidget(status);
}

void GuestToolsSetupView::addStepsInsideTheGuest(QVBoxLayout &column, const Content &content)
{
    const QString share = content.automationShareName;
    auto *steps = new LabGroupBox(QStringLiteral("Inside the VM"));
    steps->contentLayout()->setSpacing(10);
    if (content.guest != VMGuestOSType::linux) {
        for (const QString &step : {
                 QStringLiteral("1. Start the VM and sign in."),
                 QStringLiteral("2. Open the shared folder named ") + share + QStringLiteral("."),
                 QStringLiteral("3. Open DozizidOdezu.pkg inside the guest and finish the installer."),
                 QStringLiteral("4. Approve the administrator password prompt in the guest."),
                 QStringLiteral("5. Keep the VM running for a few seconds so the tools can publish their status."),
             })
            steps->contentLayout()->addWidget(plain(step));
    } else {
        const QString mountPoint = VMDetailsTexts::linuxMountPoint.toString();
        steps->contentLayout()->addWidget(plain(QStringLiteral("1. Start the VM and open a terminal.")));
        steps->contentLayout()->addWidget(plain(QStringLiteral("2. Mount the shared folder tagged ") + content.linuxShareTag
            + QStringLiteral(" unless the guest mounted it already:")));
        steps->contentLayout()->addWidget(GuestDiskExpansionGuideView::commandBlock(QStringLiteral("sudo mkdir -p ") + mountPoint
            + QStringLiteral(" && sudo mount -t virtiofs ") + content.linuxShareTag + QLatin1Char(' ') + mountPoint));
        steps->contentLayout()->addWidget(plain(QStringLiteral("3. Run the install script:")));
        steps->contentLayout()->addWidget(GuestDiskExpansionGuideView::commandBlock(
            QStringLiteral("sudo bash ") + mountPoint + QLatin1Char('/') + share + QLatin1Char('/') + content.linuxInstallerName));
        steps->contentLayout()->addWidget(
            plain(QStringLiteral("4. Keep the VM running for a few seconds so the tools can publish their status.")));
    }
    column.addWidget(steps);
}

void GuestToolsSetupView::addWhatHappensAfter(QVBoxLayout &column, const Content &content)
{
    const QString tools = VMDetailsTexts::guestToolsName.toString();
    auto *after = new LabGroupBox(QStringLiteral("What happens after setup"));
    after->contentLayout()->setSpacing(10);
    const bool macOS = content.guest != VMGuestOSType::linux;
    for (const QString &note :
        {
            macOS
                ? QStringLiteral("Future disk expansions can queue an APFS grow request automatically.")
                : QStringLiteral("Future disk expansions can queue a request that grows the root partition and file system automatically."),
            QStringLiteral("Plain-text clipboard sharing is handled by the installed ") + tools
                + QStringLiteral(" while the VM is running."),
            macOS ? QStringLiteral(
                "After installation, the tools start automatically at guest boot/login using macOS background services inside the VM.")
                  : QStringLiteral("After installation, the tools start automatically at guest boot through systemd and at desktop login."),
            QStringLiteral("If a request fails, Zovozu VM Lab still keeps the larger VM disk and shows the last agent response."),
        })
        after->contentLayout()->addWidget(secondary(note));
    column.addWidget(after);
}

void GuestToolsSetupView::addRevealButton(QVBoxLayout &column, std::function<void()> revealHostFiles)
{
    const QString tools = VMDetailsTexts::guestToolsName.toString();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *reveal = new QPushButton(QStringLiteral("Reveal ") + tools + QStringLiteral(" Installer"));
    reveal->setObjectName(QStringLiteral("guestTools.reveal"));
    reveal->setAutoDefault(false);
    connect(reveal, &QPushButton::clicked, this, [revealHostFiles = std::move(revealHostFiles)] {
        if (revealHostFiles)
            revealHostFiles();
    });
    buttons->addWidget(reveal);
    column.addLayout(buttons);
}
