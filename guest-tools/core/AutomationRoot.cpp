// SPDX-License-Identifier: MIT
#include "AutomationRoot.h"

#include "DozizidOdezuConstants.h"
#include "GuestFiles.h"

#include <utility>

namespace GuestTools {

AutomationRoot::AutomationRoot(std::filesystem::path rootURL)
    : m_rootURL(std::move(rootURL))
{
}

std::filesystem::path AutomationRoot::statusURL() const
{
    return m_rootURL / DozizidOdezuConstants::statusFilename;
}

std::filesystem::path AutomationRoot::requestsDirectoryURL() const
{
    return m_rootURL / DozizidOdezuConstants::requestsDirectoryName;
}

std::filesystem::path AutomationRoot::responsesDirectoryURL() const
{
    return m_rootURL / DozizidOdezuConstants::responsesDirectoryName;
}

std::filesystem::path AutomationRoot::clipboardDirectoryURL() const
{
    return m_rootURL / DozizidOdezuConstants::clipboardDirectoryName;
}

std::filesystem::path AutomationRoot::hostClipboardURL() const
{
    return clipboardDirectoryURL() / DozizidOdezuConstants::hostClipboardFilename;
}

std::filesystem::path AutomationRoot::guestClipboardURL() const
{
    return clipboardDirectoryURL() / DozizidOdezuConstants::guestClipboardFilename;
}

void AutomationRoot::ensureDirectories() const
{
    GuestFiles::createDirectories(requestsDirectoryURL());
    GuestFiles::createDirectories(responsesDirectoryURL());
    GuestFiles::createDirectories(clipboardDirectoryURL());
}

} // namespace GuestTools
