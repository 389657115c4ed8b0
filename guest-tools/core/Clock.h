// SPDX-License-Identifier: MIT
#pragma once

#include "ISO8601.h"

#include <chrono>
#include <functional>

namespace GuestTools {

/// Where the tools take "now" from; tests give a fixed one.
using Clock = std::function<Timestamp()>;

/// The system's current time, cut to the whole second.
inline Timestamp systemNow()
{
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

} // namespace GuestTools
