// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <stdexcept>

/**
 * A failure of the virtualization layer: a configuration it refuses, an
 * operation the machine cannot do in its state, or QEMU failing underneath.
 * what() and localizedDescription() are the sentence a user may read; the
 * code lets callers branch without looking at the text.
 */
class VirtualizationError : public std::runtime_error
{
public:
    enum class Code {
        internalError,
        invalidConfiguration,
        invalidState,
        notSupported,
        operationCancelled,
        saveFailed,
        restoreFailed,
        /// QEMU read the saved state and found it unusable for this machine; anything else that fails a restore is restoreFailed.
        savedStateRejected,
        networkError,
    };

    VirtualizationError(Code code, const QString &description);

    Code code() const { return m_code; }
    QString localizedDescription() const { return QString::fromUtf8(what()); }

private:
    Code m_code;
};
