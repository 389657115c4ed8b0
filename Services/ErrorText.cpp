// SPDX-License-Identifier: MIT
#include "ErrorText.h"

#include <stdexcept>

namespace ErrorText {

QString describe(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("An unknown error occurred.");
    }
}

} // namespace ErrorText
