// SPDX-License-Identifier: MIT
#include "TextStyle.h"

#include <QApplication>
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
        return {0.92, QFont::Normal};
    case TextRole::footnote:
        return {0.86, QFont::Normal};
    case TextRole::caption:
        return {0.82, QFont::Normal};
    case TextRole::caption2:
        return {0.76, QFont::Normal};
    }
    return {1.0, QFont::Normal};
}

} // namespace

QFont font(TextRole role)
{
    const RoleMetrics roleMetrics = metrics(role);
    QFont result = QApplication::font();
    if (result.pointSizeF() > 0)
        result.setPointSizeF(result.pointSizeF() * roleMetrics.scale);
    else
        result.setPixelSize(qMax(8, qRound(result.pixelSize() * roleMetrics.scale)));
    result.setWeight(roleMetrics.weight);
    return result;
}

void apply(QLabel &label, TextRole role, bool secondary)
{
    label.setFont(font(role));
    label.setForegroundRole(secondary ? QPalette::PlaceholderText : QPalette::WindowText);
}

QLabel *label(const QString &text, TextRole role, bool secondary, QWidget *parent)
{
    auto *result = new QLabel(text, parent);
    result->setTextFormat(Qt::PlainText);
    result->setWordWrap(true);
    apply(*result, role, secondary);
    return result;
}

} // namespace TextStyle
