// SPDX-License-Identifier: MIT
#pragma once

#include "MessageKind.h"

#include <QWidget>

#include <memory>
#include <optional>

class ConsoleDisplayArea;
class ConsoleHeader;
class ErrorBannerView;
class GuestDisplayConnection;

/**
 * What every console shows, top to bottom: the message banner ("console.banner",
 * present only with a message), the header with the VM's name, run state and
 * buttons, a divider, and the display area, which takes all the room left.
 * The consoles of the two kinds of VM fill it from their view models. No
 * button of the frame takes the keyboard focus: it stays with the display.
 */
class ConsoleFrame : public QWidget
{
    Q_OBJECT

public:
    ~ConsoleFrame() override;

    ConsoleDisplayArea *displayArea() const { return m_displayArea; }

protected:
    explicit ConsoleFrame(QWidget *parent, std::unique_ptr<GuestDisplayConnection> connection);

    ErrorBannerView *banner() const { return m_banner; }
    ConsoleHeader *header() const { return m_header; }
    void showMessage(const std::optional<QString> &message, MessageKind kind = MessageKind::failure);

private:
    QWidget *m_bannerRow;
    ErrorBannerView *m_banner;
    ConsoleHeader *m_header;
    ConsoleDisplayArea *m_displayArea;
};
