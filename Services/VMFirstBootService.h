// SPDX-License-Identifier: MIT
#pragma once

#include "ApplicationResources.h"
#include "FirstBootBootstrapRequest.h"
#include "VMBundle.h"
#include "VMFirstBootConfig.h"

#include <QString>
#include <QStringView>

#include <optional>

class LoggingService;

/**
 * Fills a new VM's Bootstrap folder, which the guest sees read-only: the
 * first-boot script (the user's, the application's or a default one), a
 * README and the user's further files. Nothing on the host runs the script.
 * Holds no state; GUI thread; logs under "FirstBoot".
 *
 * @code
 * bundle.firstBootConfig = firstBoot.prepareBootstrapFolder(bundle, installRequest.bootstrapRequest);
 * @endcode
 */
class VMFirstBootService
{
public:
    static constexpr QStringView scriptFileName = u"firstboot.sh";
    static constexpr QStringView readmeFileName = u"README.txt";
    /// The store writes the bundle's first-boot manifest under this name, so no payload file may take it.
    static constexpr QStringView manifestFileName = u"manifest.json";

    VMFirstBootService(const LoggingService &logging, ApplicationResources resources);

    /**
     * Empties the bundle's Bootstrap folder (making it when missing) and,
     * for an enabled request, writes the script, the README and a copy of
     * each further file, and returns the configuration the bundle is to
     * store. A disabled or missing request leaves the folder empty and
     * returns none. The first file-system failure is thrown as
     * PlatformError; what was written before it stays.
     */
    std::optional<VMFirstBootConfig> prepareBootstrapFolder(
        const VMBundle &bundle, const std::optional<FirstBootBootstrapRequest> &request) const;

    /// Adds the execute bits (0111) to the file's permissions. A link is refused, never followed; failures are thrown.
    static void makeExecutable(const QString &path);

    /**
     * A free place for a file called `name` in `folder`: the name cleaned of
     * characters that file systems or shares refuse, then numbered
     * ("a 2.txt", "a 3.txt", ...) while something is there or the name is
     * manifest.json.
     */
    static QString uniqueDestinationURL(const QString &name, const QString &folder);

    /// The application's own first-boot script, when it ships one.
    std::optional<QString> resourceScriptURL() const;

    static QString defaultScriptText();
    static QString readmeText();

private:
    static void clearFolder(const QString &folder);
    static void copyReplacingItem(const QString &source, const QString &destination);
    static std::optional<QString> relativePath(const QString &path, const QString &bundleFolder);

    const LoggingService &m_logging;
    ApplicationResources m_resources;
};
