// SPDX-License-Identifier: MIT
#include "ErrorBannerView.h"

#include "Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace {
constexpr int shadowRoom = 10;
}

ErrorBannerView::ErrorBannerView(QWidget *parent)
    : QFrame(parent)
    , m_icon(new QLabel)
    , m_message(new QLabel)
    , m_dismiss(new QPushButton(tr("Dismiss")))
{
    m_message->setObjectName(QStringLiteral("banner.message"));
    m_dismiss->setObjectName(QStringLiteral("banner.dismiss"));

    m_icon->setPixmap(Symbols::tinted(QStringLiteral("exclamationmark.triangle.fill"), Qt::white, 22));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_dismiss->setFlat(true);
    m_dismiss->setCursor(Qt::PointingHandCursor);
    m_dismiss->setStyleSheet(
        QStringLiteral("QPushButton { color: rgba(255,255,255,230); border: none; padding: 2px 6px; font-weight: 600; }"));
    QPalette text = m_message->palette();
    text.setColor(QPalette::WindowText, Qt::white);
    text.setColor(QPalette::Text, Qt::white);
    m_message->setPalette(text);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12 + shadowRoom);
    row->setSpacing(12);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addWidget(m_message, 1, Qt::AlignVCenter);
    row->addWidget(m_dismiss, 0, Qt::AlignVCenter);
    // In a dialog, Return belongs to the dialog's own default button, never to the banner.
    m_dismiss->setAutoDefault(false);
    connect(m_dismiss, &QPushButton::clicked, this, &ErrorBannerView::dismissed);
}

void ErrorBannerView::setMessage(const QString &message, MessageKind kind)
{
    m_message->setText(message);
    if (kind != m_kind) {
        m_kind = kind;
        const bool failure = kind == MessageKind::failure;
        m_icon->setPixmap(
            Symbols::tinted(failure ? QStringLiteral("exclamationmark.triangle.fill") : QStringLiteral("info.circle.fill"), Qt::white, 22));
        update();
    }
    adjustSize();
}

QString ErrorBannerView::message() const
{
    return m_message->text();
}

void ErrorBannerView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bar = QRectF(rect()).adjusted(0, 0, 0, -shadowRoom);
    painter.setPen(Qt::NoPen);
    for (int layer = 1; layer <= 4; ++layer) {
        painter.setBrush(QColor(0, 0, 0, 8));
        painter.drawRoundedRect(bar.translated(0, 2 * layer).adjusted(-layer, 0, layer, 0), 12 + layer, 12 + layer);
    }
    QLinearGradient fill(bar.topLeft(), bar.topRight());
    if (m_kind == MessageKind::failure) {
        fill.setColorAt(0, QColor::fromRgbF(0.98f, 0.30f, 0.34f));
        fill.setColorAt(1, QColor::fromRgbF(1.0f, 0.42f, 0.26f));
    } else {
        // Dark enough under white text in either palette, and far from the failure's red.
        fill.setColorAt(0, QColor::fromRgbF(0.30f, 0.38f, 0.50f));
        fill.setColorAt(1, QColor::fromRgbF(0.27f, 0.44f, 0.58f));
    }
    painter.setBrush(fill);
    painter.drawRoundedRect(bar, 12, 12);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 46), 1));
    painter.drawRoundedRect(bar.adjusted(0.5, 0.5, -0.5, -0.5), 11.5, 11.5);
}
