// SPDX-License-Identifier: MIT
#include "MetricCard.h"

#include "LabPalette.h"
#include "PerformanceDashboardPresentation.h"
#include "Symbols.h"
#include "TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

/// The usage bar: the tint at 15 % over the full width, and the tint over the fraction.
class UsageBar final : public QWidget
{
public:
    UsageBar()
    {
        setFixedHeight(6);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    void set(PanelTint tint, double fraction)
    {
        m_tint = tint;
        m_fraction = PerformanceDashboardPresentation::clampedFraction(fraction);
        update();
    }

    double fraction() const { return m_fraction; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const QColor tint = LabPalette::tint(m_tint, palette());
        painter.setBrush(LabPalette::withOpacity(tint, 0.15));
        painter.drawRoundedRect(QRectF(rect()), 3, 3);
        if (m_fraction > 0) {
            painter.setBrush(tint);
            painter.drawRoundedRect(QRectF(0, 0, width() * m_fraction, height()), 3, 3);
        }
    }

private:
    PanelTint m_tint = PanelTint::accent;
    double m_fraction = 0;
};

} // namespace

MetricCard::MetricCard(const QString &name, const QString &symbol, const QString &title, bool hasBar, QWidget *parent)
    : CardFrame(14, parent)
    , m_symbol(symbol)
    , m_icon(new QLabel)
    , m_value(TextStyle::line(QString(), TextRole::title2, TextTone::primary, QFont::Bold))
    , m_detail(TextStyle::line(QString(), TextRole::caption2, TextTone::tertiary))
{
    setObjectName(name);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(10);
    auto *header = new QHBoxLayout;
    header->setSpacing(6);
    header->addWidget(m_icon);
    QLabel *titleLabel = TextStyle::line(title, TextRole::caption, TextTone::secondary);
    QFont font = titleLabel->font();
    font.setWeight(QFont::Medium);
    titleLabel->setFont(font);
    header->addWidget(titleLabel);
    header->addStretch(1);
    column->addLayout(header);
    m_value->setObjectName(name + QStringLiteral(".value"));
    QFont valueFont = m_value->font();
    valueFont.setStyleHint(QFont::Monospace);
    m_value->setFont(valueFont);
    column->addWidget(m_value);
    if (hasBar) {
        m_bar = new UsageBar;
        m_bar->setObjectName(name + QStringLiteral(".bar"));
        column->addWidget(m_bar);
    }
    m_detail->setObjectName(name + QStringLiteral(".detail"));
    column->addWidget(m_detail);
    repaintSymbol();
}

void MetricCard::setTint(PanelTint tint)
{
    if (tint == m_tint)
        return;
    m_tint = tint;
    repaintSymbol();
    if (m_bar)
        static_cast<UsageBar *>(m_bar)->set(tint, static_cast<UsageBar *>(m_bar)->fraction());
}

void MetricCard::setValue(const QString &value)
{
    m_value->setText(value);
}

void MetricCard::setDetail(const QString &detail)
{
    m_detail->setText(detail);
}

void MetricCard::setFraction(double fraction)
{
    if (m_bar)
        static_cast<UsageBar *>(m_bar)->set(m_tint, fraction);
}

void MetricCard::changeEvent(QEvent *event)
{
    CardFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        repaintSymbol();
}

void MetricCard::repaintSymbol()
{
    m_icon->setPixmap(Symbols::tinted(m_symbol, LabPalette::tint(m_tint, palette()), 16));
    m_icon->setProperty("tint", int(m_tint));
}
