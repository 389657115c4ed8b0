// SPDX-License-Identifier: MIT
#include "WriteSteps.h"

namespace WriteSteps {

namespace {

    Hook &currentHook()
    {
        static Hook hook;
        return hook;
    }

} // namespace

void setHook(Hook hook) { currentHook() = std::move(hook); }

void reach(Step step, const QString &path)
{
    if (const Hook &hook = currentHook())
        hook(step, path);
}

} // namespace WriteSteps
