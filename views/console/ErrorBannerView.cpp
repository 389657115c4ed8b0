// SPDX-License-Identifier: MIT
#include "ErrorBannerView.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyle>

ErrorBannerView::ErrorBannerView(QWidget *parent)
    : QFrame(parent)
    , m_message(new QLabel(this))
    , m_dismiss(new QPushButton(tr("Dismiss"), this))
{
    auto *icon = new QLabel(this);
    const QIcon warning = QIcon::fromTheme(QStringLiteral("dialog-warning"), style()->standardIcon(QStyle::SP_MessageBoxWarning));
    icon->setPixmap(warning.pixmap(24, 24));
    m_message->setObjectName(QStringLiteral("banner.message"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_dismiss->setObjectName(QStringLiteral("banner.dismiss"));
    m_dismiss->setFlat(true);
    m_dismiss->setCursor(Qt::PointingHandCursor);

    QPalette white = palette();
    white.setColor(QPalette::WindowText, Qt::white);
    white.setColor(QPalette::ButtonText, QColor(255, 255, 255, 230));
    m_message->setPalette(white);
    m_dismiss->setPalette(white);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    layout->addWidget(icon, 0, Qt::AlignVCenter);
    layout->addWidget(m_message, 1, Qt::AlignVCenter);
    layout->addWidget(m_dismiss, 0, Qt::AlignVCenter);
    connect(m_dismiss, &QPushButton::clicked, this, &ErrorBannerView::dismissed);
}

void ErrorBannerView::setMessage(const QString &message) { m_message->setText(message); }

QString ErrorBannerView::message() const { return m_message->text(); }

void ErrorBannerView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF strip = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient gradient(strip.topLeft(), strip.topRight());
    gradient.setColorAt(0, QColor::fromRgbF(0.98f, 0.30f, 0.34f));
    gradient.setColorAt(1, QColor::fromRgbF(1.0f, 0.42f, 0.26f));
    QPainterPath path;
    path.addRoundedRect(strip, 12, 12);
    painter.fillPath(path, gradient);
    painter.setPen(QPen(QColor(255, 255, 255, 46), 1));
    painter.drawPath(path);
}
