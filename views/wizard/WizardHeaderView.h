// SPDX-License-Identifier: MIT
#pragma once

#include "VMGuestOSType.h"

#include <QStringList>
#include <QWidget>

class QHBoxLayout;
class QLabel;

/**
 * The top of the new-VM wizard: the guest's title, subtitle and symbol on
 * the panel gradient, and a row of step pills with the current one marked.
 * Children: "wizard.title", "wizard.subtitle", "wizard.symbol",
 * "wizard.stepIndicator" holding one WizardStepPill per step.
 */
class WizardHeaderView final : public QWidget
{
    Q_OBJECT

public:
    explicit WizardHeaderView(QWidget *parent = nullptr);

    void setGuest(VMGuestOSType guest);
    /// One pill per title, in order; the pill at `current` is marked.
    void setSteps(const QStringList &titles, qsizetype current);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void paintSymbol();

    QLabel *m_title;
    QLabel *m_subtitle;
    QLabel *m_symbol;
    QWidget *m_indicator;
    QHBoxLayout *m_pills;
    VMGuestOSType m_guest = VMGuestOSType::macOS;
    QStringList m_stepTitles;
    qsizetype m_currentStep = -1;
};
