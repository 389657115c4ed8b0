// SPDX-License-Identifier: MIT
#include "PanelStyle.h"

#include "LabPalette.h"
#include "LabPanel.h"
#include "Symbols.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QVBoxLayout>

namespace {

qreal pointSize(PanelStyle::Text style, qreal base)
{
    switch (style) {
    case PanelStyle::Text::title2:
        return base * 1.55;
    case PanelStyle::Text::title3:
        return base * 1.35;
    case PanelStyle::Text::headline:
    case PanelStyle::Text::body:
        return base * 1.1;
    case PanelStyle::Text::subheadline:
    case PanelStyle::Text::callout:
        return base;
    case PanelStyle::Text::caption:
        return base * 0.9;
    case PanelStyle::Text::caption2:
        return base * 0.82;
    }
    return base;
}

const char *const toneProperty = "panelTone";

/**
 * Keeps the colour of secondary and tertiary labels a share of their
 * parent's text colour across palette changes (light to dark and back).
 */
class ToneKeeper final : public QObject
{
public:
    static ToneKeeper &instance()
    {
        static ToneKeeper keeper;
        return keeper;
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) {
            if (auto *label = qobject_cast<QLabel *>(watched))
                refresh(*label);
        }
        return false;
    }

    static void refresh(QLabel &label)
    {
        const QVariant tone = label.property(toneProperty);
        if (!tone.isValid())
            return;
        const QPalette parent = label.parentWidget() ? label.parentWidget()->palette() : QApplication::palette();
        const QColor wanted = LabPalette::withOpacity(parent.color(QPalette::WindowText), tone.toDouble());
        if (label.palette().color(QPalette::WindowText) == wanted)
            return;
        QPalette palette = label.palette();
        palette.setColor(QPalette::WindowText, wanted);
        label.setPalette(palette);
    }
};

constexpr double secondaryOpacity = 0.65;
constexpr double tertiaryOpacity = 0.45;

} // namespace

QLabel *PanelStyle::label(const QString &text, Text style, Tone tone, bool bold)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    applyText(*label, style, bold || style == Text::headline);
    applyTone(*label, tone);
    return label;
}

void PanelStyle::applyText(QWidget &widget, Text style, bool bold)
{
    QFont font = widget.font();
    const qreal base = QFont().pointSizeF() > 0 ? QFont().pointSizeF() : 10;
    font.setPointSizeF(pointSize(style, base));
    if (bold)
        font.setWeight(style == Text::headline ? QFont::DemiBold : QFont::Bold);
    else if (style == Text::subheadline)
        font.setWeight(QFont::Medium);
    widget.setFont(font);
}

void PanelStyle::applyTone(QLabel &label, Tone tone)
{
    switch (tone) {
    case Tone::primary:
        label.setForegroundRole(QPalette::WindowText);
        break;
    case Tone::secondary:
    case Tone::tertiary:
        label.setProperty(toneProperty, tone == Tone::secondary ? secondaryOpacity : tertiaryOpacity);
        label.installEventFilter(&ToneKeeper::instance());
        ToneKeeper::refresh(label);
        break;
    }
}

void PanelStyle::applyColor(QLabel &label, const QColor &color)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, color);
    label.setPalette(palette);
}

QColor PanelStyle::color(PanelTint tint, const QPalette &palette)
{
    switch (tint) {
    case PanelTint::accent:
        return LabPalette::accent().resolved(palette);
    case PanelTint::teal:
        return LabPalette::teal().resolved(palette);
    case PanelTint::orange:
        return LabPalette::orange().resolved(palette);
    case PanelTint::red:
        return LabPalette::systemRed().resolved(palette);
    case PanelTint::green:
        return LabPalette::isDark(palette) ? QColor(48, 209, 88) : QColor(52, 199, 89);
    case PanelTint::purple:
        return LabPalette::isDark(palette) ? QColor(191, 90, 242) : QColor(175, 82, 222);
    case PanelTint::gray:
        return QColor(142, 142, 147);
    case PanelTint::secondary:
        return secondaryText(palette);
    case PanelTint::primary:
        return palette.color(QPalette::WindowText);
    }
    return palette.color(QPalette::WindowText);
}

QColor PanelStyle::secondaryText(const QPalette &palette)
{
    return LabPalette::withOpacity(palette.color(QPalette::WindowText), secondaryOpacity);
}

QColor PanelStyle::tertiaryText(const QPalette &palette)
{
    return LabPalette::withOpacity(palette.color(QPalette::WindowText), tertiaryOpacity);
}

void PanelStyle::applyPanelMargins(QLayout &layout)
{
    const QMargins shadow = LabPanel::shadowMargins();
    layout.setContentsMargins(shadow.left() + 18, shadow.top() + 18, shadow.right() + 18, shadow.bottom() + 18);
}

void PanelStyle::clearLayout(QLayout &layout)
{
    while (QLayoutItem *item = layout.takeAt(0)) {
        if (QWidget *widget = item->widget())
            delete widget;
        else if (QLayout *child = item->layout())
            clearLayout(*child);
        delete item;
    }
}

QWidget *PanelStyle::emptyState(const QString &objectName, const QString &symbol, int symbolSize, int margin, const QString &headline, const QString &text,
                                Text textStyle, Tone textTone)
{
    auto *state = new QWidget;
    state->setObjectName(objectName);
    auto *column = new QVBoxLayout(state);
    column->setContentsMargins(0, margin, 0, margin);
    column->setSpacing(12);
    auto *icon = new QLabel;
    icon->setPixmap(Symbols::tinted(symbol, secondaryText(state->palette()), symbolSize));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    if (!headline.isEmpty())
        column->addWidget(label(headline, Text::headline, Tone::secondary), 0, Qt::AlignHCenter);
    QLabel *body = label(text, textStyle, textTone);
    body->setAlignment(Qt::AlignHCenter);
    body->setWordWrap(true);
    column->addWidget(body);
    return state;
}
