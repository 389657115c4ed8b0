// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>

namespace GuestTools {

/**
 * The places inside one automation root folder. Nothing touches the disk
 * except ensureDirectories().
 */
class AutomationRoot
{
public:
    explicit AutomationRoot(std::filesystem::path rootURL);

    const std::filesystem::path &rootURL() const { return m_rootURL; }
    std::filesystem::path statusURL() const;
    std::filesystem::path requestsDirectoryURL() const;
    std::filesystem::path responsesDirectoryURL() const;
    std::filesystem::path clipboardDirectoryURL() const;
    std::filesystem::path hostClipboardURL() const;
    std::filesystem::path guestClipboardURL() const;

    /// Creates Requests, Responses and Clipboard in that order; stops at the first failure and throws it.
    void ensureDirectories() const;

private:
    std::filesystem::path m_rootURL;
};

} // namespace GuestTools
