// SPDX-License-Identifier: MIT
#include "WizardStepper.h"

#include <QSignalBlocker>

#include <algorithm>

WizardStepper::WizardStepper(QWidget *parent)
    : QSpinBox(parent)
{
    setRange(0, typingLimit);
    setKeyboardTracking(false);
}

void WizardStepper::showValue(int lowest, int highest, int value)
{
    m_lowest = lowest;
    m_highest = std::max(lowest, highest);
    const QSignalBlocker blocker(this);
    if (this->value() != value)
        setValue(value);
}

void WizardStepper::stepBy(int steps)
{
    const int stepped = value() + steps * singleStep();
    setValue(steps > 0 ? std::min(stepped, m_highest) : std::max(stepped, m_lowest));
    selectAll();
}

QAbstractSpinBox::StepEnabled WizardStepper::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (isReadOnly())
        return enabled;
    if (value() < m_highest)
        enabled |= StepUpEnabled;
    if (value() > m_lowest)
        enabled |= StepDownEnabled;
    return enabled;
}
