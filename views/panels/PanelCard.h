// SPDX-License-Identifier: MIT
#pragma once

#include <QFrame>

/**
 * A row's rounded card inside a feature panel: a rounded rectangle filled
 * with the palette's card background, repainted when the palette changes.
 * Children are laid out on top of it.
 */
class PanelCard : public QFrame
{
    Q_OBJECT

public:
    explicit PanelCard(qreal cornerRadius, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_cornerRadius;
};
