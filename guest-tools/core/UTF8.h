// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace GuestTools::UTF8 {

/// Whether the bytes are well-formed UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
bool isValid(std::string_view bytes);

} // namespace GuestTools::UTF8
