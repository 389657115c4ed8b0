// SPDX-License-Identifier: MIT
#include "VMGuestAutomationService.h"

#include "ClipboardText.h"
#include "ExtendedAttributes.h"
#include "FileOperations.h"
#include "FileViewer.h"
#include "ItemAttributes.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "SecurityScope.h"
#include "SparseCopy.h"
#include "VMLinuxGuestToolsService.h"
#include "VMSharedFolderService.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace {

const QString category = QStringLiteral("GuestAutomation");

QString name(QStringView view) { return view.toString(); }

/// The extension as a file manager sees it: the text after the last dot, unless that dot begins the name.
bool hasJSONExtension(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && QStringView(fileName).mid(dot + 1) == u"json";
}

/// Now, to the second: the files carry whole seconds, and a record handed back must equal what was written.
QDateTime wholeSecondNow()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return now.addMSecs(-now.time().msec());
}

bool isModifiedLater(const ConfinedFolder::Entry &first, const ConfinedFolder::Entry &second)
{
    // An entry whose date cannot be read counts as the distant past.
    const auto time = [](const ConfinedFolder::Entry &entry) {
        return entry.status ? std::pair(entry.status->modificationTime.tv_sec, entry.status->modificationTime.tv_nsec)
                            : std::pair(std::numeric_limits<time_t>::min(), 0L);
    };
    if (time(first) != time(second))
        return time(first) > time(second);
    return first.name > second.name; // equal dates: a fixed order, so every refresh shows the same response
}

template <typename Record> Record decodeFile(const ConfinedFolder &folder, const QString &fileName, qint64 maximumSize)
{
    return sharedJSONDecoder().decode<Record>(folder.readFile(fileName, maximumSize));
}

} // namespace

VMGuestAutomationService::VMGuestAutomationService(
    const LoggingService &logging, SecurityScopedAccess &access, FileViewer &fileViewer, ApplicationResources resources)
    : m_logging(logging)
    , m_access(access)
    , m_fileViewer(fileViewer)
    , m_resources(std::move(resources))
{
}

// ---- The folder -------------------------------------------------------------------------------

void VMGuestAutomationService::ensureAutomationRoot(const VMBundle &bundle) const
{
    const ConfinedFolder automation = createAutomationFolders(bundle);

    if (!automation.contains(name(markerFileName)))
        automation.writeFileAtomically(name(markerFileName), {});

    const QByteArray readme = automationReadmeText(bundle).toUtf8();
    bool readmeIsCurrent = false;
    try {
        readmeIsCurrent = automation.readFile(name(readmeFileName), maximumRecordSize) == readme;
    } catch (const PlatformError &) {
        // Missing or unreadable: written below.
    }
    if (!readmeIsCurrent)
        automation.writeFileAtomically(name(readmeFileName), readme);

    stageToolsPackage(automation);

    for (const QStringView legacy : legacyFileNames) {
        if (automation.contains(name(legacy)))
            FileOperations::removeItem(automation.pathOf(name(legacy)));
    }

    removeQuarantine(automation.path());
}

ConfinedFolder VMGuestAutomationService::createAutomationFolders(const VMBundle &bundle)
{
    ConfinedFolder automation = ConfinedFolder::create(bundle.layout().automationDirectoryURL());
    automation.createSubfolder(name(requestsDirectoryName));
    automation.createSubfolder(name(responsesDirectoryName));
    automation.createSubfolder(name(clipboardDirectoryName));
    return automation;
}

QString VMGuestAutomationService::automationReadmeText(const VMBundle &bundle)
{
    const auto quoted = [](QStringView text) { return QLatin1Char('"') + text.toString() + QLatin1Char('"'); };
    QStringList lines {
        QStringLiteral("Kestrum Tools for Zovozu VM Lab"),
        QString(),
        QStringLiteral("VM: ") + bundle.metadata.name,
        QString(),
    };
    switch (bundle.metadata.guestOSType.value_or(VMGuestOSType::macOS)) {
    case VMGuestOSType::macOS:
        lines << QStringLiteral("This shared folder is reserved for the optional Kestrum Tools installer.")
              << QStringLiteral("Install Kestrum Tools inside the macOS VM once to enable automatic background tasks such as claiming newly "
                                "added disk space on the next boot and syncing plain-text clipboard content with the host.")
              << QString() << QStringLiteral("Inside the guest:")
              << QStringLiteral("1. Open the shared folder named ") + quoted(VMSharedFolderService::automationShareName) + QLatin1Char('.')
              << QStringLiteral("2. Open ") + quoted(packageFileName) + QStringLiteral(" and complete the guest installer.")
              << QStringLiteral("3. Approve the administrator prompt inside the guest.") << QString()
              << QStringLiteral("After installation, Kestrum Tools will start automatically at guest boot/login so supported tasks and "
                                "plain-text clipboard sync keep working in the background.");
        break;
    case VMGuestOSType::linux: {
        const QString mountPoint = VMLinuxGuestToolsService::mountPoint.toString();
        const QString tag = VMSharedFolderService::linuxGuestTag.toString();
        lines << QStringLiteral("This shared folder holds the optional Kestrum Tools for Linux.")
              << QStringLiteral("Install them inside the Linux VM once to enable automatic background tasks such as growing the root file "
                                "system after its disk was enlarged and syncing plain-text clipboard content with the host.")
              << QString() << QStringLiteral("Inside the guest, in a terminal:")
              << QStringLiteral("1. Mount the shared folder tagged ") + quoted(tag) + QStringLiteral(" unless the guest mounted it already:")
              << QStringLiteral("   sudo mkdir -p ") + mountPoint + QStringLiteral(" && sudo mount -t virtiofs ") + tag + QLatin1Char(' ')
                + mountPoint
              << QStringLiteral("2. Run the installer:")
              << QStringLiteral("   sudo bash ") + mountPoint + QLatin1Char('/') + VMSharedFolderService::automationShareName.toString()
                + QLatin1Char('/') + VMLinuxGuestToolsService::installerFileName.toString()
              << QString()
              << QStringLiteral("After installation, the background agent starts at guest boot through systemd, and clipboard sync when the "
                                "desktop user logs in. ")
                + quoted(VMLinuxGuestToolsService::readmeFileName)
                + QStringLiteral(" in this folder tells more: the clipboard tools it needs, starting without systemd, and where the logs are.");
        break;
    }
    case VMGuestOSType::windows:
        lines << QStringLiteral("Kestrum Tools are not available for Windows guests, so there is nothing to install inside this VM: "
                                "disk growth inside the guest and clipboard sync with the host are not automatic for it.")
              << QStringLiteral("This folder stays with the VM's bundle and is not shared into the Windows guest.");
        break;
    }
    return lines.join(QLatin1Char('\n'));
}

std::optional<QString> VMGuestAutomationService::toolsPackageSourceURL() const
{
    const QString package = name(packageFileName);
    std::optional<QString> found = m_resources.resourcePath(package);
    if (!found)
        found = m_resources.resourcePath(QStringLiteral("GuestTools/") + package);
    if (!found)
        found = m_resources.sourceTreePath(QStringLiteral("guest-tools/.build-artifacts/") + package);
    if (!found)
        return std::nullopt;
    // A resource may be a link to the real package; what is measured and copied is the package itself.
    return QFileInfo(*found).canonicalFilePath();
}

void VMGuestAutomationService::stageToolsPackage(const ConfinedFolder &automation) const
{
    const QString package = name(packageFileName);
    const QString staged = automation.pathOf(package);
    const std::optional<QString> source = toolsPackageSourceURL();
    if (!source) {
        if (automation.contains(package))
            FileOperations::removeItem(staged);
        return;
    }

    const ItemAttributes::Status sourceStatus = ItemAttributes::status(*source);
    if (automation.contains(package)) {
        try {
            const ItemAttributes::Status stagedStatus = ItemAttributes::status(staged);
            if (stagedStatus.kind == ItemAttributes::Status::Kind::file && stagedStatus.size == sourceStatus.size
                && stagedStatus.hasSameModificationTime(sourceStatus))
                return;
        } catch (const PlatformError &) {
            // Unreadable: replaced below.
        }
        FileOperations::removeItem(staged);
    }
    SparseCopy::copyFile(*source, staged);
    // The copy carries the source's date, so the next call finds it current and copies nothing.
    ItemAttributes::setModificationTime(staged, sourceStatus.modificationTime);
}

void VMGuestAutomationService::removeQuarantineAttribute(const QString &path) { ExtendedAttributes::removeQuarantine(path); }

void VMGuestAutomationService::removeQuarantine(const QString &folder)
{
    removeQuarantineAttribute(folder);
    // Only from what the host keeps here. Everything else below is the guest's: it may hold any number of items,
    // which a walk would make every start and every status read pay for, or items the guest made unreadable. A mark
    // on those was not put there by the host, and the host shares nothing through them.
    const QString hostItems[] {name(requestsDirectoryName), name(responsesDirectoryName), name(clipboardDirectoryName), name(markerFileName),
        name(readmeFileName), name(packageFileName), name(clipboardDirectoryName) + QLatin1Char('/') + name(hostClipboardFileName)};
    for (const QString &item : hostItems) {
        try {
            ExtendedAttributes::removeQuarantine(folder + QLatin1Char('/') + item);
        } catch (const PlatformError &) {
            // A guest may have put something in the item's place that the kernel refuses to change: it keeps its mark.
        }
    }
}

// ---- Requests and status ----------------------------------------------------------------------

VMGuestAutomationQueueResult VMGuestAutomationService::enqueueRequest(const VMBundle &bundle) const
{
    {
        const SecurityScope scope(m_access, bundle.bundleURL);
        ensureAutomationRoot(bundle);
    }

    const ConfinedFolder requests = ConfinedFolder::open(bundle.layout().automationDirectoryURL()).subfolder(name(requestsDirectoryName));
    removePendingRequests(requests);

    VMGuestAutomationRequest request;
    request.id = QUuid::createUuid();
    request.command = VMGuestAutomationCommand::expandSystemAPFSContainer;
    request.createdAt = wholeSecondNow();
    request.requestedDiskSizeBytes = bundle.metadata.diskSizeBytes;
    const QString id = request.id.toString(QUuid::WithoutBraces).toUpper();
    requests.writeFileAtomically(id + QStringLiteral(".json"), sharedJSONEncoder().encode(request));

    const VMGuestAutomationStatusSnapshot status = agentStatus(bundle);
    m_logging.log(QStringLiteral("Queued guest automation request ") + id + QStringLiteral(" for ") + bundle.metadata.name, category,
        bundle.bundleURL);
    return VMGuestAutomationQueueResult { request, status.availability };
}

void VMGuestAutomationService::removePendingRequests(const ConfinedFolder &requests)
{
    for (const ConfinedFolder::Entry &entry : requests.entries()) {
        if (!hasJSONExtension(entry.name))
            continue;
        try {
            // A CI run waits for its own request's answer: only an older disk request is replaced.
            if (decodeFile<VMGuestAutomationRequest>(requests, entry.name, maximumRecordSize).command
                != VMGuestAutomationCommand::expandSystemAPFSContainer)
                continue;
        } catch (const std::exception &) {
            continue; // unreadable or not a request: left for the user to see
        }
        requests.removeFile(entry.name);
    }
}

VMGuestAutomationStatusSnapshot VMGuestAutomationService::agentStatus(const VMBundle &bundle) const
{
    ensureAutomationRootIgnoringFailure(bundle);
    const QString automation = bundle.layout().automationDirectoryURL();

    VMGuestAutomationStatusSnapshot snapshot;
    if (const auto found = heartbeat(automation)) {
        snapshot.availability = VMGuestAutomationAvailability::installed;
        snapshot.reportedVersion = found->agentVersion;
        snapshot.lastSeenAt = found->lastSeenAt;
    }
    snapshot.pendingRequestCount = pendingRequestCount(automation);
    snapshot.latestResponse = latestResponse(automation);
    return snapshot;
}

std::optional<VMGuestAutomationHeartbeat> VMGuestAutomationService::heartbeat(const QString &automationFolder)
{
    try {
        return decodeFile<VMGuestAutomationHeartbeat>(ConfinedFolder::open(automationFolder), name(statusFileName), maximumRecordSize);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

std::optional<VMGuestAutomationResponse> VMGuestAutomationService::latestResponse(const QString &automationFolder)
{
    try {
        const ConfinedFolder responses = ConfinedFolder::open(automationFolder).subfolder(name(responsesDirectoryName));
        QList<ConfinedFolder::Entry> entries = responses.entries();
        entries.removeIf([](const ConfinedFolder::Entry &entry) { return !hasJSONExtension(entry.name); });
        if (entries.isEmpty())
            return std::nullopt;
        // Only the newest counts: an older response is stale even when the newest cannot be read.
        const auto newest = std::min_element(entries.cbegin(), entries.cend(), isModifiedLater);
        return decodeFile<VMGuestAutomationResponse>(responses, newest->name, maximumRecordSize);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

qint64 VMGuestAutomationService::pendingRequestCount(const QString &automationFolder)
{
    try {
        const QList<ConfinedFolder::Entry> entries
            = ConfinedFolder::open(automationFolder).subfolder(name(requestsDirectoryName)).entries();
        return std::count_if(
            entries.cbegin(), entries.cend(), [](const ConfinedFolder::Entry &entry) { return hasJSONExtension(entry.name); });
    } catch (const PlatformError &) {
        return 0;
    }
}

void VMGuestAutomationService::revealToolsPackage(const VMBundle &bundle, FileViewer::FailureHandler failed) const
{
    const QString automation = bundle.layout().automationDirectoryURL();
    try {
        const SecurityScope scope(m_access, bundle.bundleURL);
        ensureAutomationRoot(bundle);
    } catch (const std::exception &) {
        // A folder that is there can still be shown; one that is not would open nothing.
        if (!QFileInfo(automation).isDir())
            throw;
    }
    const QString package = automation + QLatin1Char('/') + name(packageFileName);
    m_fileViewer.revealItem(FileOperations::itemExists(package) ? package : automation, std::move(failed));
}

void VMGuestAutomationService::ensureAutomationRootIgnoringFailure(const VMBundle &bundle) const
{
    const SecurityScope scope(m_access, bundle.bundleURL);
    try {
        ensureAutomationRoot(bundle);
    } catch (const std::exception &) {
        // Whatever could not be repaired reads as absent below.
    }
}

// ---- Clipboard ---------------------------------------------------------------------------------

void VMGuestAutomationService::writeHostClipboard(const QString &text, const VMBundle &bundle) const
{
    writeHostClipboardUtf8(text.toUtf8(), bundle);
}

void VMGuestAutomationService::writeHostClipboardUtf8(const QByteArray &utf8Text, const VMBundle &bundle) const
{
    const ConfinedFolder clipboard
        = ConfinedFolder::create(bundle.layout().automationDirectoryURL()).createSubfolder(name(clipboardDirectoryName));
    try {
        const auto current = decodeFile<VMClipboardMessage>(clipboard, name(hostClipboardFileName), maximumClipboardMessageSize);
        if (ClipboardText::utf8Bytes(current) == utf8Text)
            return;
    } catch (const std::exception &) {
        // Missing, unreadable or undecodable: written below.
    }

    VMClipboardMessage message;
    message.id = QUuid::createUuid();
    message.source = VMClipboardMessageSource::host;
    message.updatedAt = wholeSecondNow();
    message.textBase64 = ClipboardText::utf8Base64(utf8Text);
    clipboard.writeFileAtomically(name(hostClipboardFileName), sharedJSONEncoder().encode(message));
}

std::optional<VMClipboardMessage> VMGuestAutomationService::readGuestClipboard(const VMBundle &bundle)
{
    const auto folder = [](auto &&open) -> std::optional<ConfinedFolder> {
        try {
            return open();
        } catch (const PlatformError &error) {
            if (error.code() == ENOENT)
                return std::nullopt; // no folder, so no file
            throw;
        }
    };
    const auto automation = folder([&bundle] { return ConfinedFolder::open(bundle.layout().automationDirectoryURL()); });
    if (!automation)
        return std::nullopt;
    const auto clipboard = folder([&automation] { return automation->subfolder(name(clipboardDirectoryName)); });
    if (!clipboard || !clipboard->contains(name(guestClipboardFileName)))
        return std::nullopt;
    return decodeFile<VMClipboardMessage>(*clipboard, name(guestClipboardFileName), maximumClipboardMessageSize);
}
