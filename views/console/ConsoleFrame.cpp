// SPDX-License-Identifier: MIT
#include "ConsoleFrame.h"

#include "ConsoleDisplayArea.h"
#include "ConsoleHeader.h"
#include "ErrorBannerView.h"
#include "GuestDisplayConnection.h"

#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>

ConsoleFrame::ConsoleFrame(QWidget *parent, std::unique_ptr<GuestDisplayConnection> connection)
    : QWidget(parent)
    , m_bannerRow(new QWidget(this))
    , m_banner(new ErrorBannerView(m_bannerRow))
    , m_header(new ConsoleHeader(this))
    , m_displayArea(new ConsoleDisplayArea(this, std::move(connection)))
{
    m_banner->setObjectName(QStringLiteral("console.banner"));
    // As the header's buttons, the banner's never take the keyboard from the guest's display.
    for (QPushButton *button : m_banner->findChildren<QPushButton *>())
        button->setFocusPolicy(Qt::NoFocus);
    auto *bannerLayout = new QVBoxLayout(m_bannerRow);
    bannerLayout->setContentsMargins(11, 11, 11, 11);
    bannerLayout->addWidget(m_banner);
    m_bannerRow->hide();

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_bannerRow);
    layout->addWidget(m_header);
    layout->addWidget(divider);
    layout->addWidget(m_displayArea, 1);
}

ConsoleFrame::~ConsoleFrame() = default;

void ConsoleFrame::showMessage(const std::optional<QString> &message, MessageKind kind)
{
    m_banner->setMessage(message.value_or(QString()), kind);
    m_bannerRow->setVisible(message.has_value());
}
