// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include "VMGuestOSType.h"

#include <QWidget>

#include <functional>
#include <optional>

/**
 * The guide to installing, updating or repairing the guest tools inside a
 * guest: the tools' version and status as the host last read them, the
 * steps inside the guest (the installer package of a macOS guest, the
 * install script of a Linux guest), what the tools do afterwards, and a
 * button that reveals the staged installer on the host. Every text that
 * varies is shown as plain text.
 */
class GuestToolsSetupView final : public QWidget
{
    Q_OBJECT

public:
    struct Content {
        QString vmName;
        QString actionTitle;
        QString toolsVersionSummary;
        QString statusSummary;
        std::optional<QString> latestMessage;
        VMGuestOSType guest = VMGuestOSType::macOS;
    };

    GuestToolsSetupView(const Content &content, std::function<void()> revealHostFiles, QWidget *parent = nullptr);
};
