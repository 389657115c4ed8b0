// SPDX-License-Identifier: MIT
#pragma once

#include "VMDetailsActions.h"
#include "VMDetailsPaneModels.h"
#include "VMExportConfiguration.h"
#include "VMExportFormat.h"
#include "VMTemplateCategory.h"

#include <QMap>
#include <QUuid>
#include <QWidget>

#include <memory>

class DetailsActionsPanel;
class ErrorBannerView;
class LabeledRowsView;
class QLabel;
class QProgressBar;
class QScrollArea;
class QToolBar;
class QVBoxLayout;
class StatePill;

/**
 * The details pane of the VM selected in the library: a toolbar (Open
 * Console, Show in File Manager, Refresh) and the banner over a scrolling
 * column of the header with the VM's name and states, the Actions grid, the
 * Overview, the feature panels, the line on a running export and the
 * Bundle Layout, Shared Folders and Metadata boxes. It owns its view
 * models: the pane's own and one per panel (the performance panel's
 * monitors the VM while it runs for as long as the pane lives). The
 * pane builds its feature panels over them and wires each panel's failures
 * to its banner once.
 *
 * The pane opens its own sheets (disk expansion, disk guide, guest-tools
 * setup) and the delete confirmation. The settings, export and template
 * sheets belong to the application: the pane asks for them with a signal,
 * and their results come back through exportVM() and saveAsTemplate().
 * Feature panels sit in their slots in a fixed order; insertFeaturePanel()
 * replaces one.
 */
class VMDetailsView final : public QWidget
{
    Q_OBJECT

public:
    /// The places for the feature panels, top to bottom.
    enum class FeaturePanelSlot {
        snapshotTimeline,
        performanceDashboard,
        diskAnalytics,
        macOSUpdate,
        fileDrop,
        ciRunner,
        networkTopology,
    };

    /// Takes every view model of `models`; each must be set.
    explicit VMDetailsView(VMDetailsPaneModels models, QWidget *parent = nullptr);
    ~VMDetailsView() override;

    VMDetailsViewModel &viewModel() const { return *m_viewModel; }
    VMExportRun &exportRun() const { return *m_exportRun; }
    QToolBar *toolbar() const { return m_toolbar; }

    /// Puts `panel` into its slot, replacing (and deleting) what was there; the pane takes ownership.
    void insertFeaturePanel(FeaturePanelSlot slot, QWidget *panel);
    QWidget *featurePanel(FeaturePanelSlot slot) const;
    /// Scrolls the column so that the slot's panel shows from its top; false when the slot holds no panel or its panel hides itself for
    /// this VM.
    bool showFeaturePanel(FeaturePanelSlot slot);

    /// The export sheet's result: exports the VM into a folder the user chooses.
    void exportVM(VMExportFormat format, const VMExportConfiguration &configuration);
    /// The template sheet's result.
    void saveAsTemplate(const QString &name, const QString &description, VMTemplateCategory category);
    /// Shows the "Update Prepared" alert with the update panel's guidance.
    void showUpdatePrepared(const QString &message);

    void openDiskExpansion();
    void openDiskGuide();
    void openGuestToolsSetup();
    void confirmDelete();

Q_SIGNALS:
    /// The VM's console should open (or come to the front).
    void consoleRequested(const QUuid &id);
    void settingsRequested();
    void exportRequested();
    void saveAsTemplateRequested();

private:
    void buildToolbar();
    /// The banner's place between the toolbar and the column, hidden while there is no message.
    QWidget *buildBanner();
    /// The running export's phase and progress, under the banner: seen wherever the column is scrolled to.
    QWidget *buildExportProgress();
    /// The scrolling column of boxes and panel slots, top to bottom.
    QWidget *buildColumn();
    QWidget *buildHeader();
    void addFeatureSlots(QVBoxLayout &column);
    void addBundleBoxes(QVBoxLayout &column);
    /// Builds a panel into each slot over its view model; every panel's failures reach the banner.
    void composePanels(VMDetailsPaneModels &models);
    void followViewModels();
    void refresh();
    void refreshSharedFolders();
    void trigger(VMDetailsAction action);
    /// Starts a command of the pane; what escapes it is shown in the banner.
    void startCommand(QCoro::Task<> task);
    void showFailure(const QString &message);
    void forwardConsoleSession();

    std::unique_ptr<VMDetailsViewModel> m_viewModel;
    // The panels' view models refer to the pane's and the timeline's, so those go last.
    std::unique_ptr<VMExportRun> m_exportRun;
    std::unique_ptr<SnapshotTimelineViewModel> m_snapshotTimeline;
    std::unique_ptr<PerformanceDashboardViewModel> m_performance;
    std::unique_ptr<DiskAnalyticsViewModel> m_diskAnalytics;
    std::unique_ptr<MacOSUpdateViewModel> m_updates;
    std::unique_ptr<NetworkTopologyViewModel> m_networkTopology;
    QToolBar *m_toolbar;
    QScrollArea *m_scroll;
    QWidget *m_bannerArea;
    ErrorBannerView *m_banner;
    QLabel *m_title;
    QLabel *m_subtitle;
    StatePill *m_runState;
    StatePill *m_installState;
    DetailsActionsPanel *m_actions;
    LabeledRowsView *m_overview;
    QMap<FeaturePanelSlot, QWidget *> m_slots;
    QWidget *m_exportArea;
    QLabel *m_exportStatus;
    QProgressBar *m_exportProgress;
    LabeledRowsView *m_bundleLayout;
    QLabel *m_capacityNote;
    QVBoxLayout *m_sharedFolders;
    LabeledRowsView *m_metadata;
};
