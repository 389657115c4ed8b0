// SPDX-License-Identifier: MIT
#include "WizardWidgets.h"

#include "LabPalette.h"
#include "Symbols.h"
#include "TextStyle.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

namespace WizardWidgets {

QPushButton *button(const QString &text, const QString &symbol, const QString &objectName, QWidget *parent)
{
    auto *result = new QPushButton(text, parent);
    if (!symbol.isEmpty())
        result->setIcon(Symbols::icon(symbol));
    result->setObjectName(objectName);
    result->setAutoDefault(false);
    result->setDefault(false);
    return result;
}

QLabel *selectionMark(QWidget *parent)
{
    auto *mark = new QLabel(parent);
    mark->setFixedSize(20, 20);
    setSelectionMark(*mark, false);
    return mark;
}

void setSelectionMark(QLabel &mark, bool selected)
{
    const QPalette &colours = mark.palette();
    mark.setProperty("selected", selected);
    mark.setPixmap(selected ? Symbols::tinted(QStringLiteral("largecircle.fill.circle"), LabPalette::accent(colours), 18)
                            : Symbols::tinted(QStringLiteral("circle"), TextStyle::color(TextTone::secondary, colours), 18));
}

QLabel *symbolLabel(const QString &symbol, const QColor &color, int size, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(Symbols::tinted(symbol, color, size));
    label->setFixedSize(size, size);
    return label;
}

QLabel *selectableLabel(const QString &text, QWidget *parent)
{
    QLabel *label = TextStyle::label(text, TextRole::callout, true, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel *markupLabel(const QString &fixedText, bool secondary, QWidget *parent)
{
    const QStringList parts = fixedText.split(QLatin1Char('`'));
    QString html;
    for (qsizetype index = 0; index < parts.size(); ++index) {
        const QString escaped = parts[index].toHtmlEscaped();
        html += index % 2 == 1 ? QStringLiteral("<code>") + escaped + QStringLiteral("</code>") : escaped;
    }
    QLabel *label = TextStyle::label(QString(), TextRole::callout, secondary, parent);
    label->setTextFormat(Qt::RichText);
    label->setText(html);
    return label;
}

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

void checkQuietly(QRadioButton &chosen, const QList<QRadioButton *> &group)
{
    if (chosen.isChecked())
        return;
    for (QRadioButton *radio : group)
        radio->blockSignals(true);
    chosen.setChecked(true);
    for (QRadioButton *radio : group)
        radio->blockSignals(false);
}

void setShown(QWidget &widget, bool shown)
{
    if (widget.isHidden() == shown)
        widget.setVisible(shown);
}

} // namespace WizardWidgets
