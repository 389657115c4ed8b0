// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <exception>

/**
 * The sentence a user reads for a failure caught as std::exception_ptr:
 * every error type of the application (VirtualMachineError, PlatformError,
 * VirtualizationError, JSON errors) keeps that sentence in what().
 */
namespace ErrorText {

QString describe(const std::exception_ptr &failure);

} // namespace ErrorText
