// SPDX-License-Identifier: MIT
#include "Layouts.h"

#include <QLayout>
#include <QWidget>

namespace Layouts {

void clear(QLayout &layout)
{
    while (QLayoutItem *item = layout.takeAt(0)) {
        if (QWidget *widget = item->widget())
            delete widget;
        else if (QLayout *child = item->layout())
            clear(*child);
        delete item;
    }
}

void clearLater(QLayout &layout)
{
    while (QLayoutItem *item = layout.takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        } else if (QLayout *child = item->layout()) {
            clearLater(*child);
        }
        delete item;
    }
}

} // namespace Layouts
