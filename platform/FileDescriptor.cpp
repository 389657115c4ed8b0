// SPDX-License-Identifier: MIT
#include "FileDescriptor.h"

#include <unistd.h>

void FileDescriptor::reset(int descriptor)
{
    if (m_descriptor >= 0)
        ::close(m_descriptor); // a failed close is not actionable here
    m_descriptor = descriptor;
}
