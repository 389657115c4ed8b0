// SPDX-License-Identifier: MIT
#include "VirtualMachineError.h"

#include <array>

namespace {

QString describe(VirtualMachineError::Case errorCase, const QString &detail)
{
    using Case = VirtualMachineError::Case;
    static const std::array<const char *, VirtualMachineError::caseCount> prefixes{
        "The VM bundle could not be read: ",
        "The VM could not be added to the library: ",
        "A required VM file is missing: ",
        "The selected restore image is invalid: ",
        "The latest supported macOS restore image could not be fetched: ",
        "The restore image download failed: ",
        "The VM disk could not be created: ",
        "Auxiliary storage setup failed: ",
        "The virtual machine configuration is invalid: ",
        "macOS installation failed: ",
        "The VM state could not be saved: ",
        "The saved VM state could not be restored: ",
        "The VM clone could not be completed: ",
        "The VM backup could not be completed: ",
        "Permission is required: ",
        "This action cannot be completed: ",
        "The virtual machine encountered an error: ",
        "Virtualization is not supported on this computer.",
        "The operation was cancelled.",
    };
    const QString prefix = QString::fromUtf8(prefixes[size_t(errorCase)]);
    if (!VirtualMachineError::carriesDetail(errorCase))
        return prefix;
    Q_ASSERT(errorCase != Case::unsupportedHost && errorCase != Case::userCancelled);
    return prefix + detail;
}

} // namespace

VirtualMachineError::VirtualMachineError(Case errorCase, const QString &detail)
    : std::runtime_error(describe(errorCase, detail).toStdString())
    , m_case(errorCase)
    , m_detail(carriesDetail(errorCase) ? detail : QString())
{
}

bool VirtualMachineError::carriesDetail(Case errorCase)
{
    return errorCase != Case::unsupportedHost && errorCase != Case::userCancelled;
}

QString VirtualMachineError::errorDescription() const
{
    return QString::fromUtf8(what());
}
