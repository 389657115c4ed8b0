// SPDX-License-Identifier: MIT
#include "ConsoleHeader.h"

#include "TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

ConsoleHeader::ConsoleHeader(QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_state(new QLabel(this))
    , m_buttons(new QHBoxLayout)
{
    m_title->setObjectName(QStringLiteral("console.name"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(TextStyle::font(TextRole::title2));
    m_state->setObjectName(QStringLiteral("console.state"));
    m_state->setTextFormat(Qt::PlainText);

    auto *names = new QVBoxLayout;
    names->setSpacing(4);
    names->addWidget(m_title);
    names->addWidget(m_state);
    m_buttons->setSpacing(12);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addLayout(names);
    layout->addStretch(1);
    layout->addLayout(m_buttons);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ConsoleHeader::setTitle(const QString &title)
{
    m_title->setText(title);
}

void ConsoleHeader::setRuntimeState(VMRuntimeState state)
{
    m_state->setText(displayName(state));
    QPalette palette = m_state->palette();
    palette.setColor(QPalette::WindowText, tint(state));
    m_state->setPalette(palette);
}

QPushButton *ConsoleHeader::addButton(const QString &objectName, const QString &text)
{
    auto *button = new QPushButton(text, this);
    button->setObjectName(objectName);
    // The keyboard belongs to the guest's display: a pressed button that then hides (Pause, Resume) would
    // otherwise pass the focus on to the next one, and the next Space would press Close.
    button->setFocusPolicy(Qt::NoFocus);
    m_buttons->addWidget(button);
    return button;
}

QColor ConsoleHeader::tint(VMRuntimeState state)
{
    switch (state) {
    case VMRuntimeState::stopped:
    case VMRuntimeState::stopping:
        return QColor(0x8e, 0x8e, 0x93);
    case VMRuntimeState::starting:
        return QColor(0x0a, 0x84, 0xff);
    case VMRuntimeState::running:
        return QColor(0x30, 0xb0, 0xc7);
    case VMRuntimeState::paused:
    case VMRuntimeState::saving:
    case VMRuntimeState::restoring:
        return QColor(0xff, 0x95, 0x00);
    case VMRuntimeState::error:
        return QColor(0xff, 0x3b, 0x30);
    }
    return QColor(0x8e, 0x8e, 0x93);
}

void ConsoleHeader::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient gradient(QPointF(0, 0), QPointF(width(), height()));
    QColor panel = palette().color(QPalette::Window);
    panel.setAlphaF(0.96f);
    QColor secondary = palette().color(QPalette::AlternateBase);
    secondary.setAlphaF(0.96f);
    gradient.setColorAt(0, panel);
    gradient.setColorAt(1, secondary);
    painter.fillRect(rect(), gradient);
}
