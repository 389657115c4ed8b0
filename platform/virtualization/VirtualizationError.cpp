// SPDX-License-Identifier: MIT
#include "VirtualizationError.h"

VirtualizationError::VirtualizationError(Code code, const QString &description)
    : std::runtime_error(description.toStdString())
    , m_code(code)
{
}
