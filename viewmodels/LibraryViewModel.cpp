// SPDX-License-Identifier: MIT
#include "LibraryViewModel.h"

#include "FileChooser.h"
#include "FileViewer.h"
#include "LoggingService.h"
#include "VMBundleOperations.h"
#include "VMDetailsViewModel.h"
#include "VMStore.h"
#include "VirtualMachineCoordinator.h"
#include "VirtualMachineSession.h"
#include "VirtualMachineSessionTable.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>

namespace {

const QString category = QStringLiteral("Library");

QString describe(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

/// Whether `left` comes before `right` in `order`; equal keys keep their order under the stable sort.
bool precedes(const VMBundle &left, const VMBundle &right, VMSortOrder order, const QCollator &collator)
{
    const VMMetadata &a = left.metadata;
    const VMMetadata &b = right.metadata;
    switch (order) {
    case VMSortOrder::dateCreatedNewest:
        return a.createdAt > b.createdAt;
    case VMSortOrder::dateCreatedOldest:
        return a.createdAt < b.createdAt;
    case VMSortOrder::dateModifiedNewest:
        return a.updatedAt > b.updatedAt;
    case VMSortOrder::name:
        return collator.compare(a.name, b.name) < 0;
    case VMSortOrder::diskSize:
        return a.diskSizeBytes > b.diskSizeBytes;
    }
    return false;
}

} // namespace

LibraryViewModel::LibraryViewModel(Services services, QObject *parent)
    : QObject(parent)
    , m_store(services.store)
    , m_coordinator(services.coordinator)
    , m_operations(services.operations)
    , m_chooser(services.chooser)
    , m_fileViewer(services.fileViewer)
    , m_logging(services.logging)
    , m_starter(services.store, services.coordinator, services.qemuSetup)
{
    m_inFlight.setChangeHandler([this] { Q_EMIT busyChanged(); });
    // The store's list reaches the view model on a later turn, never inside the call that changed it.
    connect(&m_store, &VMStore::bundlesChanged, this, &LibraryViewModel::receiveBundles, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this, [this] { receiveBundles(m_store.bundles()); }, Qt::QueuedConnection);
    connect(&m_coordinator, &VirtualMachineCoordinator::runtimeStatesChanged, this, &LibraryViewModel::applyFilterAndSort);
    connect(&m_coordinator, &VirtualMachineCoordinator::runtimeStatesChanged, this, &LibraryViewModel::dropOutdatedSharedFoldersNews);
    // The details pane of a VM that left the list goes with it, and its message too; the library keeps it.
    connect(
        &m_coordinator, &VirtualMachineCoordinator::bundleVanished, this, [this](const QString &message) { setBannerMessage(message); });
    // A running VM whose shared folders stopped shows nothing else: its guest's file calls just hang.
    connect(&m_coordinator, &VirtualMachineCoordinator::sharedFoldersStopped, this, &LibraryViewModel::showSharedFoldersStopped);
    // An empty list after a failed reload would read as an empty library: say why instead.
    connect(
        &m_store, &VMStore::reloadFailed, this,
        [this](const QString &reason) {
            const QString message = QStringLiteral("The library could not be loaded: ") + reason;
            setBannerMessage(message);
            log(message);
        },
        Qt::QueuedConnection);
}

LibraryViewModel::~LibraryViewModel() = default;

void LibraryViewModel::setSelectedBundleID(const std::optional<QUuid> &id)
{
    m_selectedBundleID = id;
    Q_EMIT selectedBundleIDChanged();
}

void LibraryViewModel::select(const std::optional<QUuid> &id)
{
    if (id != m_selectedBundleID && m_bannerMessage)
        setBannerMessage(std::nullopt);
    setSelectedBundleID(id);
}

void LibraryViewModel::shareBannerWith(VMDetailsViewModel &details)
{
    connect(&details, &VMDetailsViewModel::errorMessageChanged, this, [this] {
        if (m_bannerMessage && !m_clearingPaneMessage)
            setBannerMessage(std::nullopt);
    });
    connect(this, &LibraryViewModel::bannerMessageChanged, &details, [this, &details] {
        if (!m_bannerMessage || !details.errorMessage())
            return;
        // The pane's message goes for ours; its going must not take ours with it.
        m_clearingPaneMessage = true;
        details.setErrorMessage(std::nullopt);
        m_clearingPaneMessage = false;
    });
}

void LibraryViewModel::setBannerMessage(const std::optional<QString> &message, MessageKind kind)
{
    m_sharedFoldersNewsID.reset();
    m_bannerMessage = message;
    m_bannerKind = kind;
    Q_EMIT bannerMessageChanged();
}

void LibraryViewModel::showSharedFoldersStopped(const QUuid &id, const QString &message)
{
    setBannerMessage(message);
    m_sharedFoldersNewsID = id;
}

void LibraryViewModel::dropOutdatedSharedFoldersNews()
{
    if (!m_sharedFoldersNewsID)
        return;
    // A new run serves the shared folders afresh; its session forgets that the last run's stopped.
    const std::shared_ptr<VirtualMachineSession> session = m_coordinator.sessions().session(*m_sharedFoldersNewsID);
    if (!session || !session->sharedFoldersStopMessage())
        setBannerMessage(std::nullopt);
}

void LibraryViewModel::setPendingDeletionBundleID(const std::optional<QUuid> &id)
{
    m_pendingDeletionBundleID = id;
    Q_EMIT pendingDeletionBundleIDChanged();
}

void LibraryViewModel::setSearchText(const QString &text)
{
    // A new search is the user's next step: what was said about the list before may no longer hold ("No VM is selected").
    if (text != m_searchText && m_bannerMessage)
        setBannerMessage(std::nullopt);
    m_searchText = text;
    Q_EMIT searchTextChanged();
}

void LibraryViewModel::setSortOrder(VMSortOrder order)
{
    m_sortOrder = order;
    Q_EMIT sortOrderChanged();
}

std::optional<VMBundle> LibraryViewModel::selectedBundle() const
{
    if (!m_selectedBundleID)
        return std::nullopt;
    const auto found
        = std::find_if(m_bundles.cbegin(), m_bundles.cend(), [&](const VMBundle &bundle) { return bundle.id() == *m_selectedBundleID; });
    return found == m_bundles.cend() ? std::nullopt : std::optional<VMBundle>(*found);
}

bool LibraryViewModel::isSelectedBundleStopped() const
{
    const std::optional<VMBundle> selected = selectedBundle();
    return selected && selected->metadata.runtimeState == VMRuntimeState::stopped;
}

std::optional<QString> LibraryViewModel::pendingDeletionBundleName() const
{
    if (!m_pendingDeletionBundleID)
        return std::nullopt;
    for (const VMBundle &bundle : m_bundles) {
        if (bundle.id() == *m_pendingDeletionBundleID)
            return bundle.metadata.name;
    }
    return std::nullopt;
}

void LibraryViewModel::applyFilterAndSort()
{
    const QString query = m_searchText.trimmed().toLower();
    QList<VMBundle> shown;
    for (VMBundle bundle : m_allBundles) {
        // What the VM is doing now, not what its metadata last recorded.
        bundle.metadata.runtimeState = m_coordinator.effectiveRuntimeState(bundle.id());
        if (query.isEmpty() || bundleMatchesSearch(bundle, query))
            shown.append(std::move(bundle));
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(shown.begin(), shown.end(),
        [&](const VMBundle &left, const VMBundle &right) { return precedes(left, right, m_sortOrder, collator); });
    m_bundles = std::move(shown);
    Q_EMIT bundlesChanged();
}

bool LibraryViewModel::bundleMatchesSearch(const VMBundle &bundle, const QString &query)
{
    const VMMetadata &metadata = bundle.metadata;
    QStringList texts {metadata.name};
    if (metadata.guestOSDisplayName)
        texts << *metadata.guestOSDisplayName;
    if (metadata.guestOSType)
        texts << displayName(*metadata.guestOSType);
    texts << displayName(metadata.runtimeState);
    if (metadata.colorTag)
        texts << toRaw(*metadata.colorTag);
    return std::any_of(texts.cbegin(), texts.cend(), [&](const QString &text) { return text.toLower().contains(query); });
}

VMDetailsActions::Inputs LibraryViewModel::actionInputs(const VMBundle &bundle) const
{
    return {bundle, isBusy(bundle.id()), {}, {}, {}};
}

QCoro::Task<> LibraryViewModel::reload()
{
    co_await m_store.reload();
}

void LibraryViewModel::revealBundle(const QUuid &id)
{
    setSelectedBundleID(id);
    if (m_selectedBundleID)
        m_store.showInFileManager(*m_selectedBundleID, fileViewerFailureReport());
}

QCoro::Task<> LibraryViewModel::start(QUuid id, bool resumeSavedState)
{
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(id, u"start");
    if (!ticket)
        co_return;
    setBannerMessage(std::nullopt);
    const QPointer<LibraryViewModel> self(this);
    try {
        co_await m_starter.start(id, resumeSavedState);
        if (self) {
            setBannerMessage(std::nullopt);
            Q_EMIT consoleRequested(id);
        }
    } catch (const std::exception &error) {
        if (self)
            report(error);
    }
}

QCoro::Task<> LibraryViewModel::stop(QUuid id)
{
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(id, u"stop");
    if (!ticket)
        co_return;
    setBannerMessage(std::nullopt);
    const QPointer<LibraryViewModel> self(this);
    try {
        co_await m_coordinator.stop(id);
        if (self)
            setBannerMessage(std::nullopt);
    } catch (const std::exception &error) {
        if (self)
            report(error);
    }
}

void LibraryViewModel::renameBundle(const QUuid &id, const QString &name)
{
    std::optional<VMBundle> bundle = m_store.bundle(id);
    const QString trimmed = name.trimmed();
    if (!bundle || trimmed.isEmpty())
        return;
    bundle->metadata.name = trimmed;
    try {
        m_store.updateBundle(*bundle);
        log(QStringLiteral("Renamed VM to '") + trimmed + QLatin1Char('\''));
    } catch (const std::exception &error) {
        report(error);
    }
}

void LibraryViewModel::setColorTag(const QUuid &id, std::optional<VMColorTag> tag)
{
    std::optional<VMBundle> bundle = m_store.bundle(id);
    if (!bundle)
        return;
    bundle->metadata.colorTag = tag;
    try {
        m_store.updateBundle(*bundle);
    } catch (const std::exception &error) {
        setBannerMessage(describe(error));
    }
}

QCoro::Task<> LibraryViewModel::deletePendingBundle()
{
    const std::optional<QUuid> id = m_pendingDeletionBundleID;
    if (!id)
        co_return;
    const bool wasSelected = m_selectedBundleID == id;
    std::optional<QString> failure;
    try {
        m_coordinator.deleteVM(*id);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    setPendingDeletionBundleID(std::nullopt);
    if (failure) {
        setBannerMessage(failure);
        log(*failure);
        co_return;
    }
    setBannerMessage(std::nullopt);
    if (wasSelected)
        selectFirstVisibleExcept(*id);
}

void LibraryViewModel::deleteBundle(const QUuid &id)
{
    m_coordinator.deleteVM(id);
    if (m_selectedBundleID == id)
        selectFirstVisibleExcept(id);
    setBannerMessage(std::nullopt);
}

bool LibraryViewModel::mayDelete(const QUuid &id)
{
    try {
        m_coordinator.requireDeletable(id);
        return true;
    } catch (const std::exception &error) {
        setBannerMessage(describe(error));
        return false;
    }
}

QCoro::Task<> LibraryViewModel::importBundle()
{
    FileChoiceRequest request;
    request.title = QStringLiteral("Import VM Bundle");
    request.message = QStringLiteral("Choose a .vm bundle from any drive, including backups and external SSDs.");
    request.canChooseDirectories = true;
    request.canChooseFiles = true;
    request.startFolder = m_store.rootURL();
    request.allowedExtensions = {QStringLiteral("vm")};
    const QPointer<LibraryViewModel> self(this);
    const std::optional<QString> chosen = co_await m_chooser.choose(request);
    if (!self || !chosen || chosen->isEmpty())
        co_return;
    setBannerMessage(std::nullopt);
    try {
        // A backup of a VM still in the library comes in as a VM of its own.
        const VMBundle imported = m_store.registerExistingBundle(*chosen, VMStore::IdentityClash::takeNewIdentity);
        setSelectedBundleID(imported.id());
        setBannerMessage(QStringLiteral("Imported ") + imported.metadata.name, MessageKind::information);
    } catch (const std::exception &error) {
        report(error);
    }
}

QCoro::Task<> LibraryViewModel::backupBundle(QUuid id)
{
    const std::optional<VMBundle> bundle = m_store.bundle(id);
    if (!bundle)
        co_return;
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(id, u"backup");
    if (!ticket)
        co_return;
    FileChoiceRequest request;
    request.title = QStringLiteral("Choose Backup Folder");
    request.message = QStringLiteral("Zovozu VM Lab will copy the full .vm bundle into this folder for backup.");
    request.canChooseDirectories = true;
    request.canChooseFiles = false;
    // Not the bundle's own folder: a backup inside the library is refused.
    request.startFolder = QDir::homePath();
    const QPointer<LibraryViewModel> self(this);
    const std::optional<QString> chosen = co_await m_chooser.choose(request);
    if (!self || !chosen || chosen->isEmpty())
        co_return;
    setBannerMessage(std::nullopt);
    if (const std::optional<QString> refusal = backupDestinationRefusal(*chosen)) {
        setBannerMessage(*refusal);
        log(*refusal);
        co_return;
    }
    try {
        const QString copy = co_await m_operations.backup(id, *chosen);
        if (!self)
            co_return;
        const QString done = QStringLiteral("Backed up ") + bundle->metadata.name;
        setBannerMessage(done, MessageKind::information);
        // The copy is made: a file manager that does not answer is worth a word, not a failure.
        m_fileViewer.revealItem(copy, fileViewerFailureReport(done + QStringLiteral(". "), MessageKind::information));
    } catch (const std::exception &error) {
        if (self)
            report(error);
    }
}

FileViewer::FailureHandler LibraryViewModel::fileViewerFailureReport(const QString &prefix, MessageKind kind)
{
    return [self = QPointer<LibraryViewModel>(this), prefix, kind](const QString &reason) {
        if (self)
            self->setBannerMessage(prefix + reason, kind);
    };
}

std::optional<QString> LibraryViewModel::backupDestinationRefusal(const QString &destination) const
{
    // A copy keeps its VM's identifier: inside the library it could load in place of the original at the next reload.
    const auto resolved = [](const QString &path) {
        const QFileInfo info(path);
        const QString canonical = info.canonicalFilePath();
        return QDir::cleanPath(canonical.isEmpty() ? info.absoluteFilePath() : canonical);
    };
    const QString folder = resolved(destination);
    const auto isWithin = [&folder](const QString &outer) { return folder == outer || folder.startsWith(outer + QLatin1Char('/')); };
    if (folder == resolved(m_store.rootURL()))
        return QStringLiteral("Choose a backup folder outside the VM library: a copy there could take the original VM's place.");
    for (const VMBundle &bundle : m_store.bundles()) {
        if (isWithin(resolved(bundle.bundleURL)))
            return QStringLiteral("Choose a backup folder outside the VM bundle \"%1\".").arg(bundle.metadata.name);
    }
    return std::nullopt;
}

QCoro::Task<> LibraryViewModel::cloneBundle(QUuid id)
{
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(id, u"clone");
    if (!ticket)
        co_return;
    setBannerMessage(std::nullopt);
    const QPointer<LibraryViewModel> self(this);
    try {
        const VMBundle clone = co_await m_coordinator.cloneVMAsync(id, std::nullopt, true, false);
        if (!self)
            co_return;
        setSelectedBundleID(clone.id());
        setBannerMessage(QStringLiteral("Created ") + clone.metadata.name, MessageKind::information);
    } catch (const std::exception &error) {
        if (self)
            report(error);
    }
}

void LibraryViewModel::receiveBundles(const QList<VMBundle> &bundles)
{
    m_allBundles = bundles;
    applyFilterAndSort();
    const bool selectionInLibrary = m_selectedBundleID
        && std::any_of(
            m_allBundles.cbegin(), m_allBundles.cend(), [&](const VMBundle &bundle) { return bundle.id() == *m_selectedBundleID; });
    if (!selectionInLibrary)
        setSelectedBundleID(m_bundles.isEmpty() ? std::nullopt : std::optional<QUuid>(m_bundles.first().id()));
}

void LibraryViewModel::selectFirstVisibleExcept(const QUuid &gone)
{
    // The store's new list has not arrived yet: the deleted VM may still be shown.
    const auto next = std::find_if(m_bundles.cbegin(), m_bundles.cend(), [&](const VMBundle &bundle) { return bundle.id() != gone; });
    setSelectedBundleID(next == m_bundles.cend() ? std::nullopt : std::optional<QUuid>(next->id()));
}

QString LibraryViewModel::report(const std::exception &error)
{
    const QString text = describe(error);
    setBannerMessage(text);
    log(text);
    return text;
}

void LibraryViewModel::log(const QString &message) const
{
    m_logging.log(message, category);
}
