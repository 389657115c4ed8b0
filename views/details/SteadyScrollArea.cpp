// SPDX-License-Identifier: MIT
#include "SteadyScrollArea.h"

bool SteadyScrollArea::focusNextPrevChild(bool next)
{
    const QWidget *leaving = focusWidget();
    // The focused control going away hands the focus on; a scroll there would throw the user's place away.
    if (leaving && (!leaving->isEnabled() || !leaving->isVisible()))
        return QWidget::focusNextPrevChild(next);
    return QScrollArea::focusNextPrevChild(next);
}
