// SPDX-License-Identifier: MIT
#include "VirtualMachineScript.h"

void VirtualMachineScript::enqueue(Operation operation, ScriptedAnswer answer)
{
    m_answers[operation].push_back(std::move(answer));
}

ScriptedAnswer VirtualMachineScript::next(Operation operation)
{
    auto &queue = m_answers[operation];
    if (queue.empty())
        return ScriptedAnswer::success();
    ScriptedAnswer answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

qsizetype VirtualMachineScript::pending(Operation operation) const
{
    const auto found = m_answers.find(operation);
    return found == m_answers.end() ? 0 : qsizetype(found->second.size());
}
