// SPDX-License-Identifier: MIT
#pragma once

#include "GuestToolsSetupContent.h"

#include <QWidget>

#include <functional>

class QVBoxLayout;

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
    using Content = GuestToolsSetupContent;

    GuestToolsSetupView(const Content &content, std::function<void()> revealHostFiles, QWidget *parent = nullptr);

private:
    static void addIntroduction(QVBoxLayout &column, const Content &content);
    static void addVersionAndStatus(QVBoxLayout &column, const Content &content);
    static void addStepsInsideTheGuest(QVBoxLayout &column, const Content &content);
    static void addWhatHappensAfter(QVBoxLayout &column, const Content &content);
    void addRevealButton(QVBoxLayout &column, std::function<void()> revealHostFiles);
};
