// SPDX-License-Identifier: MIT
#pragma once

#include <QSpinBox>

/**
 * A stepper of the wizard's General step. Its arrows and keys move within
 * the stepping range (the host's limits), while typing may go past them:
 * a value the wizard refuses is then kept and the wizard says why, instead
 * of a keystroke being dropped (18 GB turning into 1 GB over a 12 GB
 * limit). The value is announced once typing is finished.
 */
class WizardStepper final : public QSpinBox
{
    Q_OBJECT

public:
    /// The largest value that can be typed; beyond it every stepper's limit has long been passed.
    static constexpr int typingLimit = 999999;

    explicit WizardStepper(QWidget *parent = nullptr);

    /// Sets the range of the arrows and shows `value`, which may lie outside it, without announcing either.
    void showValue(int lowest, int highest, int value);
    int steppingMinimum() const { return m_lowest; }
    int steppingMaximum() const { return m_highest; }

    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_lowest = 0;
    int m_highest = 0;
};
