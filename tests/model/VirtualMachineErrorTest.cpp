// SPDX-License-Identifier: MIT
#include "VirtualMachineError.h"

#include <gtest/gtest.h>

using Case = VirtualMachineError::Case;

TEST(VirtualMachineErrorTest, EveryCaseHasItsCodeAndText)
{
    const struct {
        Case errorCase;
        int code;
        const char *text;
    } table[] = {
        {Case::invalidBundle, 0, "The VM bundle could not be read: D"},
        {Case::libraryRegistrationFailed, 1, "The VM could not be added to the library: D"},
        {Case::missingBundleFile, 2, "A required VM file is missing: D"},
        {Case::invalidRestoreImage, 3, "The selected restore image is invalid: D"},
        {Case::restoreImageFetchFailed, 4, "The latest supported macOS restore image could not be fetched: D"},
        {Case::restoreImageDownloadFailed, 5, "The restore image download failed: D"},
        {Case::diskCreationFailed, 6, "The VM disk could not be created: D"},
        {Case::auxiliaryStorageFailed, 7, "Auxiliary storage setup failed: D"},
        {Case::configurationValidationFailed, 8, "The virtual machine configuration is invalid: D"},
        {Case::installFailed, 9, "macOS installation failed: D"},
        {Case::saveStateFailed, 10, "The VM state could not be saved: D"},
        {Case::savedStateRestoreFailed, 11, "The saved VM state could not be restored: D"},
        {Case::cloneFailed, 12, "The VM clone could not be completed: D"},
        {Case::backupFailed, 13, "The VM backup could not be completed: D"},
        {Case::permissionDenied, 14, "Permission is required: D"},
        {Case::invalidOperation, 15, "This action cannot be completed: D"},
        {Case::runtimeError, 16, "The virtual machine encountered an error: D"},
        {Case::unsupportedHost, 17, "Virtualization is not supported on this computer."},
        {Case::userCancelled, 18, "The operation was cancelled."},
    };
    static_assert(std::size(table) == VirtualMachineError::caseCount);
    for (const auto &row : table) {
        const VirtualMachineError error(row.errorCase, QStringLiteral("D"));
        EXPECT_EQ(error.code(), row.code);
        EXPECT_EQ(error.errorDescription(), QString::fromUtf8(row.text));
        EXPECT_STREQ(error.what(), row.text);
    }
}

TEST(VirtualMachineErrorTest, DetailIsAppendedAsGiven)
{
    EXPECT_EQ(VirtualMachineError(Case::permissionDenied).errorDescription(), QStringLiteral("Permission is required: "));
    const auto refusal = VirtualMachineError::invalidOperation(QStringLiteral("Stop the virtual machine before deleting it."));
    EXPECT_EQ(refusal.errorDescription(), QStringLiteral("This action cannot be completed: Stop the virtual machine before deleting it."));
    EXPECT_TRUE(VirtualMachineError(Case::userCancelled, QStringLiteral("ignored")).detail().isEmpty());
}
