// SPDX-License-Identifier: MIT
#include "VirtualMachine.h"

#include <QMetaEnum>

VirtualMachine::VirtualMachine(QObject *parent)
    : QObject(parent)
{
}

QString VirtualMachine::stateName(State state)
{
    return QString::fromLatin1(QMetaEnum::fromType<State>().valueToKey(int(state)));
}

void VirtualMachine::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

void VirtualMachine::requireState(bool allowed, const QString &operation) const
{
    if (!allowed)
        throw VirtualizationError(VirtualizationError::Code::invalidState,
                                  QStringLiteral("The virtual machine cannot %1 while it is %2.").arg(operation, stateName(m_state)));
}
