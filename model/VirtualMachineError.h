// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <stdexcept>

/**
 * The one error type of the host application. Services throw it with a case
 * and, for all but the last two cases, a detail text; views show
 * errorDescription(), a fixed prefix per case followed by the detail.
 */
class VirtualMachineError : public std::runtime_error
{
public:
    /// The numeric value of each case is its error code.
    enum class Case {
        invalidBundle,
        libraryRegistrationFailed,
        missingBundleFile,
        invalidRestoreImage,
        restoreImageFetchFailed,
        restoreImageDownloadFailed,
        diskCreationFailed,
        auxiliaryStorageFailed,
        configurationValidationFailed,
        installFailed,
        saveStateFailed,
        savedStateRestoreFailed,
        cloneFailed,
        backupFailed,
        permissionDenied,
        invalidOperation,
        runtimeError,
        unsupportedHost,
        userCancelled,
    };

    static constexpr int caseCount = 19;
    static constexpr const char *domain = "DuvuzodOvevav.VirtualMachineError";

    /// The detail is ignored for unsupportedHost and userCancelled, which carry none.
    VirtualMachineError(Case errorCase, const QString &detail = {});

    static VirtualMachineError invalidBundle(const QString &detail) { return {Case::invalidBundle, detail}; }
    static VirtualMachineError missingBundleFile(const QString &detail) { return {Case::missingBundleFile, detail}; }
    static VirtualMachineError invalidOperation(const QString &detail) { return {Case::invalidOperation, detail}; }

    Case errorCase() const { return m_case; }
    int code() const { return int(m_case); }
    const QString &detail() const { return m_detail; }
    static bool carriesDetail(Case errorCase);

    /// The text a user reads: the case's prefix and the detail.
    QString errorDescription() const;

private:
    Case m_case;
    QString m_detail;
};
