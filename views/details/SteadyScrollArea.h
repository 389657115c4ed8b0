// SPDX-License-Identifier: MIT
#pragma once

#include <QScrollArea>

/**
 * A scroll area that scrolls to the keyboard focus only when the user moves
 * it (Tab, Backtab). When the focused control is disabled or hidden, say
 * because the action it started is running, the focus still passes on to
 * the next control, but the content stays where the user left it.
 */
class SteadyScrollArea final : public QScrollArea
{
    Q_OBJECT

public:
    using QScrollArea::QScrollArea;

protected:
    bool focusNextPrevChild(bool next) override;
};
