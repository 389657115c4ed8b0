// SPDX-License-Identifier: MIT
#include "TextStyle.h"

#include "LabPalette.h"
#include "Symbols.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

namespace TextStyle {

namespace {

    struct RoleMetrics {
        qreal scale;
        QFont::Weight weight;
    };

    RoleMetrics metrics(TextRole role)
    {
        switch (role) {
        case TextRole::largeTitle:
            return {2.1, QFont::Bold};
        case TextRole::title:
            return {1.8, QFont::Bold};
        case TextRole::title2:
            return {1.5, QFont::DemiBold};
        case TextRole::title3:
            return {1.25, QFont::Normal};
        case TextRole::headline:
            return {1.0, QFont::DemiBold};
        case TextRole::body:
            return {1.0, QFont::Normal};
        case TextRole::callout:
            return {0.95, QFont::Normal};
        case TextRole::subheadline:
            return {0.95, QFont::Medium};
        case TextRole::footnote:
            return {0.9, QFont::Normal};
        case TextRole::caption:
            return {0.86, QFont::Normal};
        case TextRole::caption2:
            return {0.8, QFont::Normal};
        }
        return {1.0, QFont::Normal};
    }

    /*
     * The weaker tones are the text colour at a share of its opacity, never the
     * palette's placeholder colour: a dark palette that sets only its main roles
     * keeps the light placeholder (black at half opacity), which vanishes on a
     * dark window. At 60 % secondary text keeps a contrast of about 5:1 on white
     * and on the dark windows alike.
     */
    constexpr double secondaryOpacity = 0.6;
    constexpr double tertiaryOpacity = 0.45;
    const char *const opacityProperty = "textStyleOpacity";

    double opacity(TextTone tone)
    {
        switch (tone) {
        case TextTone::primary:
            break;
        case TextTone::secondary:
            return secondaryOpacity;
        case TextTone::tertiary:
            return tertiaryOpacity;
        }
        return 1.0;
    }

    /**
     * Keeps the colour of a secondary or tertiary label a share of its parent's
     * text colour across palette changes (light to dark and back): no palette
     * role holds that colour, so it is set on the label and set again when the
     * palette it derives from changes.
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
            const QVariant share = label.property(opacityProperty);
            if (!share.isValid())
                return;
            const QPalette parent = label.parentWidget() ? label.parentWidget()->palette() : QApplication::palette();
            const QColor wanted = LabPalette::withOpacity(parent.color(QPalette::WindowText), share.toDouble());
            if (label.palette().color(QPalette::WindowText) == wanted)
                return;
            QPalette palette = label.palette();
            palette.setColor(QPalette::WindowText, wanted);
            label.setPalette(palette);
        }
    };

    void setTextColor(QLabel &label, const QColor &color)
    {
        QPalette palette = label.palette();
        palette.setColor(QPalette::WindowText, color);
        label.setPalette(palette);
    }

    QLabel *plainTextLabel(const QString &text, QWidget *parent)
    {
        auto *result = new QLabel(text, parent);
        result->setTextFormat(Qt::PlainText);
        return result;
    }

} // namespace

QFont font(TextRole role, std::optional<QFont::Weight> weight)
{
    const RoleMetrics roleMetrics = metrics(role);
    QFont result = QApplication::font();
    if (result.pointSizeF() > 0)
        result.setPointSizeF(result.pointSizeF() * roleMetrics.scale);
    else
        result.setPixelSize(qMax(8, qRound(result.pixelSize() * roleMetrics.scale)));
    result.setWeight(weight.value_or(roleMetrics.weight));
    return result;
}

void applyFont(QWidget &widget, TextRole role, std::optional<QFont::Weight> weight)
{
    widget.setFont(font(role, weight));
}

void apply(QLabel &label, TextRole role, bool secondary)
{
    label.setFont(font(role));
    applyTone(label, secondary ? TextTone::secondary : TextTone::primary);
}

void applyTone(QLabel &label, TextTone tone)
{
    label.setForegroundRole(QPalette::WindowText);
    // A label that carries a colour of its own (an earlier tone or a tint) is kept at its parent's text colour from now on.
    if (tone == TextTone::primary && !label.palette().isBrushSet(QPalette::Active, QPalette::WindowText)) {
        label.setProperty(opacityProperty, QVariant());
        return;
    }
    label.setProperty(opacityProperty, opacity(tone));
    label.installEventFilter(&ToneKeeper::instance());
    ToneKeeper::refresh(label);
}

void tint(QLabel &label, const QColor &color)
{
    label.setProperty(opacityProperty, QVariant());
    label.setForegroundRole(QPalette::WindowText);
    setTextColor(label, color);
}

QColor color(TextTone tone, const QPalette &palette)
{
    return LabPalette::withOpacity(palette.color(QPalette::WindowText), opacity(tone));
}

QLabel *label(const QString &text, TextRole role, bool secondary, QWidget *parent)
{
    QLabel *result = plainTextLabel(text, parent);
    result->setWordWrap(true);
    apply(*result, role, secondary);
    return result;
}

QLabel *plain(const QString &text)
{
    return label(text);
}

QLabel *secondary(const QString &text)
{
    return label(text, TextRole::body, true);
}

QLabel *line(const QString &text, TextRole role, TextTone tone, std::optional<QFont::Weight> weight, const QString &objectName)
{
    QLabel *result = plainTextLabel(text, nullptr);
    result->setFont(font(role, weight));
    applyTone(*result, tone);
    if (!objectName.isEmpty())
        result->setObjectName(objectName);
    return result;
}

QWidget *symbolText(const QString &symbolName, const QString &text, const QColor &color, TextRole role, const QString &objectName)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    QLabel *words = line(text, role, TextTone::primary, std::nullopt, objectName);
    tint(*words, color);
    layout->addWidget(Symbols::label(symbolName, color, QFontMetrics(words->font()).height() - 2));
    layout->addWidget(words);
    return row;
}

} // namespace TextStyle
