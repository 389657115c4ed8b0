// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractButton>

class QLabel;

/**
 * A choice among a few, drawn as a card: a radio mark, a title and a
 * sentence below it, on a rounded rectangle that is highlighted while the
 * card is checked. Checkable; put the cards of one choice in an exclusive
 * QButtonGroup. Both texts are plain. Children: "optionCard.title",
 * "optionCard.description".
 */
class OptionCard final : public QAbstractButton
{
    Q_OBJECT

public:
    OptionCard(const QString &title, const QString &description, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_title;
    QLabel *m_description;
};
