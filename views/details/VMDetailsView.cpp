// SPDX-License-Identifier: MIT
#include "VMDetailsView.h"

#include "CIRunnerView.h"
#include "DestructiveConfirmation.h"
#include "DetailsActionsPanel.h"
#include "DetailsPanelWiring.h"
#include "DiskExpansionSheet.h"
#include "ErrorBannerView.h"
#include "FileDropTransferView.h"
#include "GuestDiskExpansionGuideView.h"
#include "GuestToolsSetupView.h"
#include "GuideDialog.h"
#include "LabGroupBox.h"
#include "LabPalette.h"
#include "LabPanel.h"
#include "LabeledRowsView.h"
#include "Layouts.h"
#include "MacOSUpdateView.h"
#include "PerformanceDashboardView.h"
#include "SmartDiskAnalyticsView.h"
#include "SnapshotTimelineView.h"
#include "StatePill.h"
#include "SteadyScrollArea.h"
#include "SymbolLabel.h"
#include "Symbols.h"
#include "TextStyle.h"
#include "VMCardDelegate.h"
#include "VMDeletionTexts.h"
#include "VMNetworkTopologyView.h"
#include "ViewCommand.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>

using TextStyle::secondary;

namespace {

QString dateText(const QDateTime &date)
{
    if (!date.isValid())
        return QStringLiteral("Unknown");
    return QLocale().toString(date.toLocalTime(), QLocale::ShortFormat);
}

/// Asks whether an item may be replaced, with a window-modal box over `parent`.
QCoro::Task<bool> confirmReplace(QPointer<QWidget> parent, QString path)
{
    const DestructiveConfirmation confirmation {
        QStringLiteral("details.replaceConfirmation"),
        QStringLiteral("Replace Existing Export?"),
        QStringLiteral("“") + QFileInfo(path).fileName()
            + QStringLiteral("” already exists in this folder. Replacing it removes what is there now."),
        QStringLiteral("Replace"),
    };
    // A pane that went away answers nothing.
    if (!parent)
        co_return false;
    co_return co_await confirmation.ask(parent.data());
}

} // namespace

VMDetailsView::VMDetailsView(VMDetailsPaneModels models, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(std::move(models.details))
    , m_exportRun(std::move(models.exportRun))
    , m_snapshotTimeline(std::move(models.snapshotTimeline))
    , m_performance(std::move(models.performance))
    , m_diskAnalytics(std::move(models.diskAnalytics))
    , m_updates(std::move(models.updates))
    , m_networkTopology(std::move(models.networkTopology))
{
    setObjectName(QStringLiteral("details"));
    m_exportRun->setReplaceConfirmation([self = QPointer<QWidget>(this)](QString path) { return confirmReplace(self, std::move(path)); });

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    buildToolbar();
    outer->addWidget(m_toolbar);
    outer->addWidget(buildBanner());
    outer->addWidget(buildExportProgress());
    outer->addWidget(buildColumn(), 1);
    composePanels(models);
    followViewModels();
}

void VMDetailsView::buildToolbar()
{
    m_toolbar = new QToolBar;
    m_toolbar->setObjectName(QStringLiteral("details.toolbar"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction *openConsole = m_toolbar->addAction(Symbols::icon(QStringLiteral("rectangle.on.rectangle")), QStringLiteral("Open Console"));
    openConsole->setObjectName(QStringLiteral("details.openConsole"));
    connect(openConsole, &QAction::triggered, this, [this] {
        // QEMU runs a Windows guest without a runtime session; the application opens its console directly.
        if (m_viewModel->isWindowsGuest())
            Q_EMIT consoleRequested(m_viewModel->bundleID());
        else
            m_viewModel->openConsoleSession();
    });
    QAction *reveal = m_toolbar->addAction(Symbols::icon(QStringLiteral("folder")), QStringLiteral("Show in File Manager"));
    reveal->setObjectName(QStringLiteral("details.reveal"));
    connect(reveal, &QAction::triggered, m_viewModel.get(), &VMDetailsViewModel::revealBundle);
    QAction *reload = m_toolbar->addAction(Symbols::icon(QStringLiteral("arrow.clockwise")), QStringLiteral("Refresh"));
    reload->setObjectName(QStringLiteral("details.refresh"));
    connect(reload, &QAction::triggered, this, [this] { startCommand(m_viewModel->reload()); });
}

QWidget *VMDetailsView::buildBanner()
{
    // Above the scrolling column, so that a message shows wherever the user has scrolled to and moves nothing there.
    m_bannerArea = new QWidget;
    m_bannerArea->setObjectName(QStringLiteral("details.bannerArea"));
    auto *area = new QVBoxLayout(m_bannerArea);
    area->setContentsMargins(28, 12, 28, 0);
    m_banner = new ErrorBannerView;
    m_banner->setObjectName(QStringLiteral("details.banner"));
    connect(m_banner, &ErrorBannerView::dismissed, this, [this] { m_viewModel->setErrorMessage(std::nullopt); });
    area->addWidget(m_banner);
    m_bannerArea->hide();
    return m_bannerArea;
}

QWidget *VMDetailsView::buildColumn()
{
    auto *scroll = m_scroll = new SteadyScrollArea;
    scroll->setObjectName(QStringLiteral("details.scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("details.column"));
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(24);
    scroll->setWidget(content);

    column->addWidget(buildHeader());

    m_actions = new DetailsActionsPanel;
    connect(m_actions, &DetailsActionsPanel::triggered, this, &VMDetailsView::trigger);
    column->addWidget(m_actions);

    auto *overview = new LabGroupBox(QStringLiteral("Overview"));
    overview->setObjectName(QStringLiteral("details.overviewBox"));
    m_overview = new LabeledRowsView(QStringLiteral("details.overview"));
    overview->contentLayout()->addWidget(m_overview);
    column->addWidget(overview);

    addFeatureSlots(*column);
    addBundleBoxes(*column);
    column->addStretch(1);
    return scroll;
}

void VMDetailsView::addFeatureSlots(QVBoxLayout &column)
{
    for (FeaturePanelSlot slot :
        {FeaturePanelSlot::snapshotTimeline, FeaturePanelSlot::performanceDashboard, FeaturePanelSlot::diskAnalytics,
            FeaturePanelSlot::macOSUpdate, FeaturePanelSlot::fileDrop, FeaturePanelSlot::ciRunner, FeaturePanelSlot::networkTopology}) {
        auto *place = new QWidget;
        place->setObjectName(QStringLiteral("details.slot.") + QString::number(int(slot)));
        auto *placeLayout = new QVBoxLayout(place);
        placeLayout->setContentsMargins(0, 0, 0, 0);
        place->hide();
        m_slots.insert(slot, place);
        column.addWidget(place);
    }
}

QWidget *VMDetailsView::buildExportProgress()
{
    m_exportArea = new QWidget;
    m_exportArea->setObjectName(QStringLiteral("details.exportArea"));
    auto *row = new QHBoxLayout(m_exportArea);
    row->setContentsMargins(28, 12, 28, 0);
    row->setSpacing(12);
    m_exportStatus = secondary({});
    m_exportStatus->setObjectName(QStringLiteral("details.exportStatus"));
    m_exportStatus->setWordWrap(false);
    row->addWidget(m_exportStatus);
    m_exportProgress = new QProgressBar;
    m_exportProgress->setObjectName(QStringLiteral("details.exportProgress"));
    m_exportProgress->setTextVisible(false);
    m_exportProgress->setMaximumHeight(10);
    row->addWidget(m_exportProgress, 1);
    m_exportArea->hide();
    return m_exportArea;
}

void VMDetailsView::addBundleBoxes(QVBoxLayout &column)
{
    auto *layoutBox = new LabGroupBox(QStringLiteral("Bundle Layout"));
    m_bundleLayout = new LabeledRowsView(QStringLiteral("details.bundleLayout"));
    layoutBox->contentLayout()->addWidget(m_bundleLayout);
    m_capacityNote = secondary({});
    m_capacityNote->setObjectName(QStringLiteral("details.capacityNote"));
    m_capacityNote->setFont(TextStyle::font(TextRole::footnote));
    layoutBox->contentLayout()->addWidget(m_capacityNote);
    column.addWidget(layoutBox);

    auto *sharedBox = new LabGroupBox(QStringLiteral("Shared Folders"));
    auto *shared = new QWidget;
    shared->setObjectName(QStringLiteral("details.sharedFolders"));
    m_sharedFolders = new QVBoxLayout(shared);
    m_sharedFolders->setContentsMargins(0, 0, 0, 0);
    m_sharedFolders->setSpacing(10);
    sharedBox->contentLayout()->addWidget(shared);
    column.addWidget(sharedBox);

    auto *metadataBox = new LabGroupBox(QStringLiteral("Metadata"));
    m_metadata = new LabeledRowsView(QStringLiteral("details.metadata"));
    metadataBox->contentLayout()->addWidget(m_metadata);
    column.addWidget(metadataBox);
}

void VMDetailsView::composePanels(VMDetailsPaneModels &models)
{
    using Slot = FeaturePanelSlot;

    auto *timeline = new SnapshotTimelineView;
    DetailsPanelWiring::bind(*timeline, *m_snapshotTimeline);
    connect(m_snapshotTimeline.get(), &SnapshotTimelineViewModel::failed, this, &VMDetailsView::showFailure);
    insertFeaturePanel(Slot::snapshotTimeline, timeline);
    auto *performance = new PerformanceDashboardView;
    DetailsPanelWiring::bind(*performance, *m_performance);
    insertFeaturePanel(Slot::performanceDashboard, performance);
    auto *analytics = new SmartDiskAnalyticsView;
    DetailsPanelWiring::bind(*analytics, *m_diskAnalytics);
    connect(m_diskAnalytics.get(), &DiskAnalyticsViewModel::failed, this, &VMDetailsView::showFailure);
    insertFeaturePanel(Slot::diskAnalytics, analytics);
    auto *updates = new MacOSUpdateView;
    DetailsPanelWiring::bind(*updates, *m_updates);
    connect(m_updates.get(), &MacOSUpdateViewModel::failed, this, &VMDetailsView::showFailure);
    connect(m_updates.get(), &MacOSUpdateViewModel::updatePrepared, this, &VMDetailsView::showUpdatePrepared);
    insertFeaturePanel(Slot::macOSUpdate, updates);

    auto *drop = new FileDropTransferView(std::move(models.fileDrop));
    connect(drop, &FileDropTransferView::failed, this, &VMDetailsView::showFailure);
    insertFeaturePanel(Slot::fileDrop, drop);

    auto *ci = new CIRunnerView(std::move(models.ciRunner));
    connect(ci, &CIRunnerView::failed, this, &VMDetailsView::showFailure);
    insertFeaturePanel(Slot::ciRunner, ci);

    auto *networks = new VMNetworkTopologyView;
    DetailsPanelWiring::bind(*networks, *m_networkTopology);
    connect(m_networkTopology.get(), &NetworkTopologyViewModel::failed, this, &VMDetailsView::showFailure);
    insertFeaturePanel(Slot::networkTopology, networks);
}

void VMDetailsView::followViewModels()
{
    VMDetailsViewModel &model = *m_viewModel;
    for (auto signal : {&VMDetailsViewModel::bundleChanged, &VMDetailsViewModel::isBusyChanged, &VMDetailsViewModel::errorMessageChanged,
             &VMDetailsViewModel::diskUsageChanged, &VMDetailsViewModel::guestAutomationStatusChanged})
        connect(&model, signal, this, &VMDetailsView::refresh);
    connect(&model, &VMDetailsViewModel::bundleChanged, this, &VMDetailsView::refreshSharedFolders);
    connect(&model, &VMDetailsViewModel::activeConsoleSessionChanged, this, &VMDetailsView::forwardConsoleSession);
    connect(&model, &VMDetailsViewModel::consoleRequested, this, [this] { Q_EMIT consoleRequested(m_viewModel->bundleID()); });
    connect(m_exportRun.get(), &VMExportRun::statusTextChanged, this, &VMDetailsView::refresh);
    connect(m_exportRun.get(), &VMExportRun::isRunningChanged, this, &VMDetailsView::refresh);
    refresh();
    refreshSharedFolders();
}

VMDetailsView::~VMDetailsView() = default;

QWidget *VMDetailsView::buildHeader()
{
    auto *header = new LabPanel(28);
    header->setObjectName(QStringLiteral("details.header"));
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(LabPanel::shadowMargins() + QMargins(24, 24, 24, 24));
    auto *texts = new QVBoxLayout;
    texts->setSpacing(12);
    m_title = TextStyle::label({}, TextRole::title);
    m_title->setObjectName(QStringLiteral("details.title"));
    texts->addWidget(m_title);
    m_subtitle = TextStyle::label({}, TextRole::title3, true);
    m_subtitle->setObjectName(QStringLiteral("details.subtitle"));
    texts->addWidget(m_subtitle);
    auto *pills = new QHBoxLayout;
    pills->setSpacing(12);
    m_runState = new StatePill(QStringLiteral("play.circle"));
    m_runState->setObjectName(QStringLiteral("details.runState"));
    m_installState = new StatePill(QStringLiteral("arrow.down.circle"));
    m_installState->setObjectName(QStringLiteral("details.installState"));
    pills->addWidget(m_runState);
    pills->addWidget(m_installState);
    pills->addStretch(1);
    texts->addLayout(pills);
    row->addLayout(texts, 1);
    auto *icon = new QLabel;
    icon->setObjectName(QStringLiteral("details.icon"));
    icon->setPixmap(Symbols::tinted(QStringLiteral("macwindow.on.rectangle"), LabPalette::accent(palette()), 44));
    row->addWidget(icon, 0, Qt::AlignTop);
    return header;
}

void VMDetailsView::refresh()
{
    const VMDetailsViewModel &model = *m_viewModel;
    const std::optional<VMBundle> &bundle = model.bundle();

    m_banner->setMessage(model.errorMessage().value_or(QString()), model.messageKind());
    m_banner->setVisible(model.errorMessage().has_value());
    m_bannerArea->setVisible(model.errorMessage().has_value());
    // setMessage() fits the banner to its text; the area's layout stretches it across the pane again.
    m_bannerArea->layout()->invalidate();
    m_title->setText(model.displayTitle());
    m_subtitle->setText(VMDetailsTexts::guestDescription(bundle, u" VM"));
    m_runState->setText(model.runtimeStateText());
    m_runState->setSymbol(VMCardDelegate::badgeSymbol(bundle ? bundle->metadata.runtimeState : VMRuntimeState::stopped));
    m_installState->setText(model.installStateText());
    m_toolbar->findChild<QAction *>(QStringLiteral("details.openConsole"))
        ->setEnabled(bundle && bundle->metadata.installState == VMInstallState::installed);

    QList<VMDetailsActionState> states = VMDetailsActions::states(model);
    if (m_exportRun->isRunning()) {
        for (VMDetailsActionState &state : states)
            state.enabled = state.enabled && state.action != VMDetailsAction::exportVM;
    }
    m_actions->setStates(states);

    QList<LabeledRowsView::Row> overview {
        {QStringLiteral("Hardware"), model.hardwareSummary()},
        {QStringLiteral("Display"), model.displaySummary()},
        {QStringLiteral("Virtual Disk Capacity"), model.virtualCapacityText()},
        {QStringLiteral("Host Space Used"), model.hostAllocationText()},
        {VMDetailsTexts::guestToolsName.toString(), model.guestToolsStatusSummary()},
        {QStringLiteral("Network"), model.networkSummary()},
        {QStringLiteral("Microphone"), model.microphoneSummary()},
        {QStringLiteral("Speakers"), model.speakerSummary()},
        {QStringLiteral("Camera"), QStringLiteral("Not available on this host")},
        {QStringLiteral("Install Source"), model.linuxInstallMediaSummary()},
    };
    if (bundle && bundle->metadata.guestBuildVersion)
        overview.append({QStringLiteral("Guest Build"), *bundle->metadata.guestBuildVersion});
    overview.append({QStringLiteral("Shared Folders"), QString::number(bundle ? bundle->metadata.sharedFolderCount : 0)});
    overview.append(
        {QStringLiteral("Saved State"), bundle && bundle->metadata.hasSavedState ? QStringLiteral("Available") : QStringLiteral("None")});
    overview.append({QStringLiteral("First Boot"),
        bundle && bundle->metadata.firstBootEnabled ? QStringLiteral("Enabled") : QStringLiteral("Disabled")});
    m_overview->setRows(overview);

    m_exportStatus->setText(
        QStringLiteral("Exporting ") + model.displayTitle() + QStringLiteral(": ") + m_exportRun->statusText().value_or(QString()));
    // A phase whose fraction is not known yet shows a busy bar.
    const std::optional<double> &fraction = m_exportRun->progressFraction();
    m_exportProgress->setRange(0, fraction ? 1000 : 0);
    m_exportProgress->setValue(fraction ? int(std::lround(*fraction * 1000)) : 0);
    m_exportArea->setVisible(m_exportRun->statusText().has_value());

    m_bundleLayout->setRows(VMDetailsTexts::bundleLayoutRows(bundle));
    m_capacityNote->setText(model.diskCapacitySummary());

    QList<LabeledRowsView::Row> metadata {
        {QStringLiteral("Storage Folder"),
            bundle ? QDir::toNativeSeparators(QFileInfo(QDir::cleanPath(bundle->bundleURL)).path()) : QStringLiteral("Unavailable")},
        {QStringLiteral("Bundle Path"),
            bundle ? QDir::toNativeSeparators(QDir::cleanPath(bundle->bundleURL)) : QStringLiteral("Unavailable")},
        {QStringLiteral("Created"), bundle ? dateText(bundle->metadata.createdAt) : QStringLiteral("Unknown")},
        {QStringLiteral("Updated"), bundle ? dateText(bundle->metadata.updatedAt) : QStringLiteral("Unknown")},
    };
    if (bundle && bundle->metadata.savedState) {
        metadata.append({QStringLiteral("Saved State File"), bundle->metadata.savedState->relativePath});
        metadata.append({QStringLiteral("Saved State Time"), dateText(bundle->metadata.savedState->createdAt)});
    }
    m_metadata->setRows(metadata);
}

void VMDetailsView::refreshSharedFolders()
{
    Layouts::clear(*m_sharedFolders);
    const std::optional<VMBundle> &bundle = m_viewModel->bundle();
    if (!bundle || bundle->sharedFolders.isEmpty()) {
        QLabel *empty = secondary(QStringLiteral("No shared folders configured yet."));
        empty->setObjectName(QStringLiteral("details.sharedFolders.empty"));
        m_sharedFolders->addWidget(empty);
        return;
    }
    for (const VMSharedFolder &folder : bundle->sharedFolders) {
        auto *row = new QWidget;
        row->setObjectName(QStringLiteral("details.sharedFolder.") + folder.id.toString(QUuid::WithoutBraces));
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto *icon
            = new SymbolLabel(folder.isReadOnly ? QStringLiteral("folder") : QStringLiteral("folder.badge.plus"), TextTone::primary, 18);
        icon->setObjectName(QStringLiteral("details.sharedFolder.symbol"));
        rowLayout->addWidget(icon);
        QLabel *name = TextStyle::plain(folder.displayName);
        name->setObjectName(QStringLiteral("details.sharedFolder.name"));
        rowLayout->addWidget(name, 1);
        QLabel *mode = secondary(folder.isReadOnly ? QStringLiteral("Read Only") : QStringLiteral("Read/Write"));
        mode->setObjectName(QStringLiteral("details.sharedFolder.mode"));
        rowLayout->addWidget(mode);
        m_sharedFolders->addWidget(row);
    }
}

void VMDetailsView::insertFeaturePanel(FeaturePanelSlot slot, QWidget *panel)
{
    QWidget *place = m_slots.value(slot);
    Layouts::clear(*place->layout());
    if (panel)
        place->layout()->addWidget(panel);
    place->setVisible(panel != nullptr);
}

QWidget *VMDetailsView::featurePanel(FeaturePanelSlot slot) const
{
    const QLayoutItem *item = m_slots.value(slot)->layout()->itemAt(0);
    return item ? item->widget() : nullptr;
}

bool VMDetailsView::showFeaturePanel(FeaturePanelSlot slot)
{
    QWidget *panel = featurePanel(slot);
    QWidget *column = m_scroll->widget();
    if (!panel || panel->isHidden())
        return false;
    // A pane made a moment ago has not been laid out yet: place the panels before measuring where they are.
    column->layout()->activate();
    const int spacing = column->layout()->spacing();
    m_scroll->verticalScrollBar()->setValue(panel->mapTo(column, QPoint()).y() - spacing);
    return true;
}

void VMDetailsView::trigger(VMDetailsAction action)
{
    VMDetailsViewModel &model = *m_viewModel;
    switch (action) {
    case VMDetailsAction::start:
        startCommand(model.start());
        break;
    case VMDetailsAction::resumeSavedState:
        startCommand(model.resumeSavedState());
        break;
    case VMDetailsAction::discardSavedState:
        startCommand(model.discardSavedState());
        break;
    case VMDetailsAction::pause:
        startCommand(model.pause());
        break;
    case VMDetailsAction::resume:
        startCommand(model.resume());
        break;
    case VMDetailsAction::saveState:
        startCommand(model.saveState());
        break;
    case VMDetailsAction::stop:
        startCommand(model.stop());
        break;
    case VMDetailsAction::expandDisk:
        openDiskExpansion();
        break;
    case VMDetailsAction::settings:
        Q_EMIT settingsRequested();
        break;
    case VMDetailsAction::diskGuide:
        openDiskGuide();
        break;
    case VMDetailsAction::guestTools:
        openGuestToolsSetup();
        break;
    case VMDetailsAction::clone:
        startCommand(model.cloneVM());
        break;
    case VMDetailsAction::exportVM:
        Q_EMIT exportRequested();
        break;
    case VMDetailsAction::saveAsTemplate:
        Q_EMIT saveAsTemplateRequested();
        break;
    case VMDetailsAction::deleteVM:
        confirmDelete();
        break;
    }
}

void VMDetailsView::startCommand(QCoro::Task<> task)
{
    ViewCommand::start(*this, std::move(task), [this](const QString &message) { showFailure(message); });
}

void VMDetailsView::showFailure(const QString &message)
{
    m_viewModel->setErrorMessage(message);
}

void VMDetailsView::forwardConsoleSession()
{
    if (!m_viewModel->activeConsoleSession())
        return;
    // Reset first, so that the next Open Console publishes again and raises the same window.
    m_viewModel->setActiveConsoleSession(nullptr);
    Q_EMIT consoleRequested(m_viewModel->bundleID());
}

void VMDetailsView::exportVM(VMExportFormat format, const VMExportConfiguration &configuration)
{
    startCommand(m_exportRun->run(format, configuration));
}

void VMDetailsView::saveAsTemplate(const QString &name, const QString &description, VMTemplateCategory category)
{
    m_viewModel->saveAsTemplate(name, description, category);
}

void VMDetailsView::showUpdatePrepared(const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("Update Prepared"), message, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("details.updatePrepared"));
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void VMDetailsView::openDiskExpansion()
{
    auto *sheet = new DiskExpansionSheet(*m_viewModel, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}

void VMDetailsView::openDiskGuide()
{
    const auto guest = m_viewModel->isLinuxGuest() ? VMGuestOSType::linux : VMGuestOSType::macOS;
    auto *dialog = new GuideDialog(
        new GuestDiskExpansionGuideView(m_viewModel->displayTitle(), m_viewModel->virtualCapacityText(), guest), QSize(560, 620), this);
    dialog->setObjectName(QStringLiteral("details.diskGuideSheet"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void VMDetailsView::openGuestToolsSetup()
{
    auto *page = new GuestToolsSetupView(m_viewModel->guestToolsSetupContent(), [model = QPointer<VMDetailsViewModel>(m_viewModel.get())] {
        if (model)
            model->revealGuestToolsPackage();
    });
    auto *dialog = new GuideDialog(page, QSize(560, 520), this);
    dialog->setObjectName(QStringLiteral("details.guestToolsSheet"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void VMDetailsView::confirmDelete()
{
    const std::optional<VMBundle> &bundle = m_viewModel->bundle();
    if (!bundle)
        return;
    const DestructiveConfirmation confirmation {
        QStringLiteral("details.deleteConfirmation"),
        VMDeletionTexts::title(*bundle),
        VMDeletionTexts::message(*bundle),
        QStringLiteral("Delete"),
        VMDeletionTexts::consequence(),
    };
    confirmation.open(this, [this] { startCommand(m_viewModel->deleteVM()); });
}
