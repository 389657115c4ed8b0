// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

/**
 * One step of the wizard's step indicator: the step's title in a capsule,
 * semibold on the highlight colour when it is the current step, regular and
 * secondary on a faint card fill otherwise. It shows state only.
 */
class WizardStepPill final : public QWidget
{
    Q_OBJECT

public:
    WizardStepPill(const QString &title, bool current, QWidget *parent = nullptr);

    const QString &title() const { return m_title; }
    bool isCurrent() const { return m_current; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont titleFont() const;

    QString m_title;
    bool m_current;
};
