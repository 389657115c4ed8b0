// SPDX-License-Identifier: MIT
#pragma once

#include "VMTemplate.h"

#include <QAbstractButton>

class QLabel;
class QToolButton;

/**
 * One template of the template library as a card: its icon, name (with a
 * "BUILT-IN" badge for the built-in ones), category, description (two
 * lines at most) and hardware. Clicking anywhere on the card emits
 * clicked(); a user template's trash button, shown only when the card is
 * made deletable, emits deleteRequested() instead. Texts are plain.
 *
 * Children: "templateCard.icon", "templateCard.name", "templateCard.badge",
 * "templateCard.category", "templateCard.description", "templateCard.cpu",
 * "templateCard.memory", "templateCard.disk", "templateCard.delete".
 */
class TemplateCard final : public QAbstractButton
{
    Q_OBJECT

public:
    TemplateCard(const VMTemplate &shown, bool deletable, QWidget *parent = nullptr);

    const VMTemplate &shownTemplate() const { return m_template; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    /// The symbol the card shows: the template's own when the symbol table knows it, else its category's.
    static QString iconSymbol(const VMTemplate &shown);

Q_SIGNALS:
    void deleteRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refreshColours();

    VMTemplate m_template;
    QLabel *m_icon = nullptr;
    QLabel *m_badge = nullptr;
    QToolButton *m_delete = nullptr;
};
