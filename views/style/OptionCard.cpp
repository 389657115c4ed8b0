// SPDX-License-Identifier: MIT
#include "OptionCard.h"

#include "LabPalette.h"
#include "TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int padding = 12;
constexpr int markSize = 16;
constexpr qreal cornerRadius = 10;
} // namespace

OptionCard::OptionCard(const QString &title, const QString &description, QWidget *parent)
    : QAbstractButton(parent)
    , m_title(TextStyle::label(title, TextRole::body))
    , m_description(TextStyle::label(description, TextRole::caption, true))
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(title);
    setAccessibleDescription(description);
    m_title->setObjectName(QStringLiteral("optionCard.title"));
    m_description->setObjectName(QStringLiteral("optionCard.description"));
    QFont titleFont = m_title->font();
    titleFont.setWeight(QFont::Medium);
    m_title->setFont(titleFont);
    for (QLabel *label : {m_title, m_description})
        label->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(m_title);
    texts->addWidget(m_description);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(padding + markSize + 12, padding, padding, padding);
    layout->addLayout(texts, 1);
}

QSize OptionCard::sizeHint() const
{
    return layout()->sizeHint();
}

QSize OptionCard::minimumSizeHint() const
{
    return layout()->minimumSize();
}

void OptionCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colors = palette();
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor accent = LabPalette::accent(colors);

    painter.setBrush(isChecked() ? LabPalette::highlight().resolved(colors) : QColor(Qt::transparent));
    painter.setPen(QPen(isChecked() ? LabPalette::withOpacity(LabPalette::accentSoft().resolved(colors), 0.5)
                                    : LabPalette::withOpacity(LabPalette::border().resolved(colors), hasFocus() ? 1.0 : 0.3),
        1.0));
    painter.drawRoundedRect(shape, cornerRadius, cornerRadius);

    // The radio mark: a filled dot inside a ring while checked, a plain ring otherwise.
    const QRectF mark(padding, (height() - markSize) / 2.0, markSize, markSize);
    painter.setBrush(Qt::NoBrush);
    if (isChecked()) {
        painter.setPen(QPen(accent, 1.6));
        painter.drawEllipse(mark.adjusted(0.8, 0.8, -0.8, -0.8));
        painter.setPen(Qt::NoPen);
        painter.setBrush(accent);
        painter.drawEllipse(mark.adjusted(4, 4, -4, -4));
    } else {
        painter.setPen(QPen(TextStyle::color(TextTone::secondary, colors), 1.2));
        painter.drawEllipse(mark.adjusted(0.6, 0.6, -0.6, -0.6));
    }
}
