// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

/**
 * A fixed-size, window-modal sheet that scrolls one guide page, padded 24 px,
 * with a Close button under it (Escape closes it too).
 */
class GuideDialog final : public QDialog
{
    Q_OBJECT

public:
    GuideDialog(QWidget *page, QSize size, QWidget *parent = nullptr);
};
