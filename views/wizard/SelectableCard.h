// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractButton>

class QHBoxLayout;

/**
 * A clickable card of the wizard: a rounded rectangle filled with the
 * palette's highlight colour and outlined in its soft accent when selected,
 * else a faint card fill with a faint border. Content goes into
 * contentLayout(); clicks anywhere on it emit clicked().
 */
class SelectableCard : public QAbstractButton
{
    Q_OBJECT

public:
    explicit SelectableCard(qreal cornerRadius = 12, QWidget *parent = nullptr);

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }
    QHBoxLayout *contentLayout() const { return m_content; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_cornerRadius;
    bool m_selected = false;
    QHBoxLayout *m_content;
};
