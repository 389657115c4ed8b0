// SPDX-License-Identifier: MIT
// The state behind the details pane that lives outside the widgets: the
// action grid, the disk-expansion figures, the export run, template saving,
// revealing the guest tools.
#include "DiskExpansionPlan.h"
#include "JSONCoding.h"
#include "VMDetailsActions.h"
#include "VMDetailsViewModel.h"
#include "VMExportRun.h"
#include "VMTemplateService.h"
#include "TestBundle.h"
#include "ViewModelTestFixture.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace {

using namespace CoordinatorTesting;

// ---- The action grid --------------------------------------------------------------------------

struct GridCase {
    const char *name;
    VMInstallState install;
    VMRuntimeState run;
    bool savedState;
    bool busy;
    std::vector<const char *> enabled;
};

QStringList enabledKeys(const QList<VMDetailsActionState> &states)
{
    QStringList keys;
    for (const VMDetailsActionState &state : states) {
        if (state.enabled)
            keys << VMDetailsActions::key(state.action);
    }
    return keys;
}

QStringList shownKeys(const QList<VMDetailsActionState> &states)
{
    QStringList keys;
    for (const VMDetailsActionState &state : states)
        keys << VMDetailsActions::key(state.action);
    return keys;
}

VMBundle gridBundle(VMInstallState install, VMRuntimeState run, bool savedState, VMGuestOSType guest = VMGuestOSType::macOS)
{
    VMBundle bundle = TestBundle(QStringLiteral("/library/Dev.vm")).installState(install).runState(run).guest(guest);
    bundle.metadata.hasSavedState = savedState;
    return bundle;
}

TEST(VMDetailsActionsTest, EnabledActionsFollowInstallRunAndSavedStateAndBusy)
{
    using enum VMRuntimeState;
    const VMInstallState installed = VMInstallState::installed;
    const VMInstallState pending = VMInstallState::notInstalled;
    const std::vector<const char *> guides{"diskGuide", "guestTools"};
    const GridCase cases[] = {
        {"stopped", installed, stopped, false, false,
         {"start", "stop", "expandDisk", "settings", "diskGuide", "guestTools", "clone", "exportVM", "saveAsTemplate", "deleteVM"}},
        {"stopped, saved state", installed, stopped, true, false,
         {"start", "resumeSavedState", "discardSavedState", "diskGuide", "guestTools", "clone", "exportVM", "saveAsTemplate", "deleteVM"}},
        {"running", installed, running, false, false, {"pause", "saveState", "stop", "diskGuide", "guestTools", "saveAsTemplate"}},
        {"paused", installed, paused, false, false, {"resume", "saveState", "stop", "diskGuide", "guestTools", "saveAsTemplate"}},
        {"stopping", installed, stopping, false, false, {"stop", "diskGuide", "guestTools", "saveAsTemplate"}},
        {"not installed", pending, stopped, false, false, {"stop", "exportVM", "deleteVM"}},
        {"busy", installed, stopped, true, true, guides},
        {"busy and running", installed, running, false, true, guides},
    };
    for (const GridCase &grid : cases) {
        QList<VMDetailsActionState> states = VMDetailsActions::states({gridBundle(grid.install, grid.run, grid.savedState), grid.busy, {}, {}, {}});
        QStringList expected;
        for (const char *key : grid.enabled)
            expected << QString::fromLatin1(key);
        // Stop is enabled for any run state but stopped.
        if (grid.run == stopped)
            expected.removeAll(QStringLiteral("stop"));
        EXPECT_EQ(enabledKeys(states), expected) << grid.name;
        EXPECT_EQ(shownKeys(states).contains(QStringLiteral("resumeSavedState")), grid.savedState) << grid.name;
        EXPECT_EQ(states.size(), grid.savedState ? 15 : 13) << grid.name;
    }
}

TEST(VMDetailsActionsTest, NoBundleDisablesEverythingAndWindowsHasNoGuides)
{
    EXPECT_EQ(enabledKeys(VMDetailsActions::states(VMDetailsActions::Inputs{})), QStringList());

    const QList<VMDetailsActionState> windows
        = VMDetailsActions::states({gridBundle(VMInstallState::installed, VMRuntimeState::stopped, false, VMGuestOSType::windows), false, {}, {}, {}});
    EXPECT_FALSE(enabledKeys(windows).contains(QStringLiteral("diskGuide")));
    EXPECT_FALSE(enabledKeys(windows).contains(QStringLiteral("guestTools")));

    const QList<VMDetailsActionState> linux
        = VMDetailsActions::states({gridBundle(VMInstallState::installed, VMRuntimeState::stopped, false, VMGuestOSType::linux), false,
                                    GuestToolsState::installed, QStringLiteral("help"), {}});
    const auto find = [&linux](VMDetailsAction action) { return *std::find_if(linux.begin(), linux.end(), [action](auto &s) { return s.action == action; }); };
    EXPECT_EQ(find(VMDetailsAction::diskGuide).title, QStringLiteral("Use New Space In Linux"));
    EXPECT_EQ(find(VMDetailsAction::guestTools).title, QStringLiteral("Repair Kestrum Tools"));
    EXPECT_EQ(find(VMDetailsAction::guestTools).help, QStringLiteral("help"));
}

TEST(VMDetailsActionsTest, SaveStateIsOfferedToEveryRunningGuestButWindowsWhichIsToldWhy)
{
    const struct {
        VMGuestOSType guest;
        VMRuntimeState run;
        bool enabled;
    } cases[] = {
        {VMGuestOSType::macOS, VMRuntimeState::running, true},  {VMGuestOSType::linux, VMRuntimeState::paused, true},
        {VMGuestOSType::windows, VMRuntimeState::running, false}, {VMGuestOSType::windows, VMRuntimeState::paused, false},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(toRaw(testCase.guest).toStdString() + " " + toRaw(testCase.run).toStdString());
        const VMDetailsActions::Inputs inputs{gridBundle(VMInstallState::installed, testCase.run, false, testCase.guest), false, {}, {}, {}};
        EXPECT_EQ(VMDetailsActions::isEnabled(inputs, VMDetailsAction::saveState), testCase.enabled);
        for (const VMDetailsActionState &state : VMDetailsActions::states(inputs)) {
            if (state.action != VMDetailsAction::saveState)
                continue;
            if (testCase.enabled)
                EXPECT_EQ(state.help, QStringLiteral("Save State"));
            else
                EXPECT_TRUE(state.help.contains(QStringLiteral("Shut Windows down instead."))) << state.help.toStdString();
        }
    }
}

TEST(VMDetailsActionsTest, BlockedSettingsExplainWhy)
{
    const auto help = [](const VMBundle &bundle, VMDetailsAction action) {
        for (const VMDetailsActionState &state : VMDetailsActions::states({bundle, false, {}, {}, {}}))
            if (state.action == action)
                return state.help;
        return QString();
    };
    const VMBundle running = gridBundle(VMInstallState::installed, VMRuntimeState::running, false);
    EXPECT_EQ(help(running, VMDetailsAction::settings), QStringLiteral("Stop the VM before changing VM settings."));
    EXPECT_EQ(help(running, VMDetailsAction::expandDisk), QStringLiteral("Stop the VM before changing disk capacity."));
    const VMBundle saved = gridBundle(VMInstallState::installed, VMRuntimeState::stopped, true);
    EXPECT_EQ(help(saved, VMDetailsAction::settings), QStringLiteral("Discard the saved state before changing VM settings."));
    EXPECT_EQ(help(saved, VMDetailsAction::expandDisk), QStringLiteral("Discard the saved state before changing disk capacity."));
    const VMBundle free = gridBundle(VMInstallState::installed, VMRuntimeState::stopped, false);
    EXPECT_EQ(help(free, VMDetailsAction::expandDisk), QStringLiteral("Increase the VM's disk capacity without creating a new VM."));
}

TEST(VMDetailsActionsTest, AVMNotInstalledNamesItsOwnSystemAndSaysWhyItCannotStart)
{
    const struct {
        VMGuestOSType guest;
        VMInstallState install;
        const char *start;
        const char *settings;
    } cases[] = {
        {VMGuestOSType::linux, VMInstallState::failed, "This VM cannot start: its Linux installation failed. Delete it and create it again.",
         "Finish installing Linux before changing VM settings."},
        {VMGuestOSType::windows, VMInstallState::failed,
         "This VM cannot start: its Windows installation failed. Delete it and create it again.",
         "Finish installing Windows before changing VM settings."},
        {VMGuestOSType::linux, VMInstallState::preparingBundle, "This VM cannot start until its Linux installation is finished.",
         "Finish installing Linux before changing VM settings."},
        {VMGuestOSType::macOS, VMInstallState::installingMacOS, "This VM cannot start until its macOS installation is finished.",
         "Finish installing macOS before changing VM settings."},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE((displayName(testCase.guest) + u' ' + toRaw(testCase.install)).toStdString());
        QMap<VMDetailsAction, VMDetailsActionState> byAction;
        for (const VMDetailsActionState &state :
            VMDetailsActions::states({gridBundle(testCase.install, VMRuntimeState::stopped, false, testCase.guest), false, {}, {}, {}}))
            byAction.insert(state.action, state);
        EXPECT_FALSE(byAction[VMDetailsAction::start].enabled);
        EXPECT_EQ(byAction[VMDetailsAction::start].help, QString::fromUtf8(testCase.start));
        EXPECT_EQ(byAction[VMDetailsAction::settings].help, QString::fromUtf8(testCase.settings));
        EXPECT_EQ(byAction[VMDetailsAction::expandDisk].help,
            QString::fromUtf8(testCase.settings).replace(QStringLiteral("VM settings"), QStringLiteral("disk capacity")));
    }
    const VMBundle installed = gridBundle(VMInstallState::installed, VMRuntimeState::stopped, false, VMGuestOSType::linux);
    EXPECT_EQ(VMDetailsActions::states({installed, false, {}, {}, {}}).first().help, QStringLiteral("Start"));
}

// ---- Disk-expansion figures -------------------------------------------------------------------

TEST(DiskExpansionPlanTest, RangeNormalisingAndApplyFollowTheDiskSize)
{
    struct Case {
        double diskGB;
        double requested;
        double minimum, maximum, normalized, added;
        bool adjustable, canApply;
    };
    const Case cases[] = {
        {64, 80, 72, 256, 80, 16, true, true},
        {64, 10, 72, 256, 72, 8, true, true},        // below the range: the minimum
        {64, 5000, 72, 256, 256, 192, true, true},   // above: the maximum
        {100, 115, 108, 300, 112, 12, true, true},   // rounded to a multiple of 8
        {57, 60, 65, 256, 64, 7, true, false},       // the minimum is no multiple of 8
        {0, 48, 32, 256, 48, 48, true, true},        // no bundle
        {2040, 2100, 2048, 2048, 2048, 8, true, true},
        {2044, 2100, 2052, 2048, 2048, 4, false, false}, // nothing left to grow into
    };
    for (const Case &c : cases) {
        const DiskExpansionPlan plan(quint64(c.diskGB * double(gibibyte)));
        const QString what = QString::number(c.diskGB);
        EXPECT_DOUBLE_EQ(plan.minimumCapacityGB(), c.minimum) << what.toStdString();
        EXPECT_DOUBLE_EQ(plan.maximumCapacityGB(), c.maximum) << what.toStdString();
        EXPECT_DOUBLE_EQ(plan.normalized(c.requested), c.normalized) << what.toStdString();
        EXPECT_DOUBLE_EQ(plan.added(c.requested), c.added) << what.toStdString();
        EXPECT_EQ(plan.isAdjustable(), c.adjustable) << what.toStdString();
        EXPECT_EQ(plan.canApply(c.requested), c.canApply) << what.toStdString();
    }
    EXPECT_DOUBLE_EQ(DiskExpansionPlan(quint64(60.5 * double(gibibyte))).initialRequestGB(), 76.5);
    EXPECT_DOUBLE_EQ(DiskExpansionPlan(quint64(2044) * gibibyte).barFraction(2048), 1.0);
}

TEST(DiskExpansionPlanTest, ATypedFigureBecomesAWholeGBInTheRange)
{
    const struct {
        double diskGB;
        double typed;
        double taken;
    } cases[] = {
        {64, 999999, 256}, {64, 10, 72}, {64, 100.4, 100}, {64, std::nan(""), 72},
        {59.6, 10, 68}, // the minimum 67.6 rounded up to a figure the field can hold
        {2044, 10, 2048}, // nothing left to grow into: the maximum
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(DiskExpansionPlan(quint64(c.diskGB * double(gibibyte))).typedCapacityGB(c.typed), c.taken) << c.diskGB << ' ' << c.typed;
}

// ---- The pane's view model -------------------------------------------------------------------

class VMDetailsPaneModelTest : public ViewModelTest
{
protected:
    VMDetailsViewModel &details(const QUuid &id)
    {
        m_details = makeDetails(id);
        return *m_details;
    }

    VMExportRun &exportRun()
    {
        m_run = std::make_unique<VMExportRun>(*m_details, VMExportRun::Services{m_operations, m_exports, store(), m_chooser},
                                              [this](QString path) -> QCoro::Task<bool> {
                                                  m_replaceAsked << path;
                                                  co_return m_replaceAnswer;
                                              });
        return *m_run;
    }

    QString exportFolder() const
    {
        const QString folder = outside(QStringLiteral("exports"));
        QDir().mkpath(folder);
        return folder;
    }

    std::unique_ptr<VMDetailsViewModel> m_details;
    std::unique_ptr<VMExportRun> m_run;
    QStringList m_replaceAsked;
    bool m_replaceAnswer = false;
};

TEST_F(VMDetailsPaneModelTest, AnExportGoesToTheChosenFolderUnderItsCleanedName)
{
    VMDetailsViewModel &model = details(installedBundle().id());
    VMExportRun &run = exportRun();
    QStringList statuses;
    QList<std::optional<double>> fractions;
    QObject::connect(&run, &VMExportRun::statusTextChanged, [&] {
        statuses << run.statusText().value_or(QString());
        fractions << run.progressFraction();
    });

    // A cancelled choice does nothing.
    waitForOutcome(run.run(VMExportFormat::vmBundle, {})).get();
    EXPECT_EQ(m_exports.exportProgress().has_value(), false);
    EXPECT_EQ(m_chooser.requests.size(), 1);
    EXPECT_TRUE(m_chooser.requests.first().canChooseDirectories);
    EXPECT_FALSE(m_chooser.requests.first().canChooseFiles);

    VMExportConfiguration configuration;
    configuration.archiveName = QStringLiteral("a/b:c");
    m_chooser.answers << exportFolder();
    // The message of an earlier action goes as the export begins; the pane shows the export's phase instead.
    model.announce(QStringLiteral("Created Dev Copy"));
    QObject::connect(&run, &VMExportRun::statusTextChanged, &model, [&] {
        if (run.statusText())
            EXPECT_EQ(model.errorMessage(), std::nullopt) << run.statusText()->toStdString();
    });
    waitForOutcome(run.run(VMExportFormat::vmBundle, configuration)).get();
    const QString result = exportFolder() + QStringLiteral("/a-b-c.vm");
    EXPECT_TRUE(QFileInfo(result + QStringLiteral("/Disk.img")).isFile());
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Exported to ") + result);
    EXPECT_EQ(model.messageKind(), MessageKind::information);
    EXPECT_EQ(run.statusText(), std::nullopt);
    // A phase that has only begun has no fraction yet; a known one is shown as it is.
    const qsizetype begun = statuses.indexOf(QStringLiteral("Copying…"));
    ASSERT_GE(begun, 0) << statuses.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(fractions.at(begun), std::nullopt);
    const qsizetype known = statuses.indexOf(QStringLiteral("Copying… 70 %"));
    ASSERT_GE(known, 0) << statuses.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(fractions.at(known), 0.7);
    EXPECT_EQ(run.progressFraction(), std::nullopt);
    EXPECT_FALSE(run.isRunning());

    // The next message, a refusal, is a failure again.
    m_chooser.answers << root();
    waitForOutcome(run.run(VMExportFormat::vmBundle, configuration)).get();
    EXPECT_EQ(model.messageKind(), MessageKind::failure);
}

TEST_F(VMDetailsPaneModelTest, AnExistingResultIsReplacedOnlyWhenTheUserAgrees)
{
    const VMBundle bundle = installedBundle();
    VMDetailsViewModel &model = details(bundle.id());
    VMExportRun &run = exportRun();
    const QString result = exportFolder() + QStringLiteral("/Dev.vm");
    write(result + QStringLiteral("/keep.txt"), "mine");

    m_chooser.answers << exportFolder();
    waitForOutcome(run.run(VMExportFormat::vmBundle, {})).get();
    EXPECT_EQ(m_replaceAsked, QStringList{result});
    EXPECT_TRUE(QFileInfo::exists(result + QStringLiteral("/keep.txt")));
    EXPECT_EQ(run.statusText(), std::nullopt);

    m_replaceAnswer = true;
    m_chooser.answers << exportFolder();
    waitForOutcome(run.run(VMExportFormat::vmBundle, {})).get();
    EXPECT_FALSE(QFileInfo::exists(result + QStringLiteral("/keep.txt")));
    EXPECT_TRUE(QFileInfo(result + QStringLiteral("/Disk.img")).isFile());
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Exported to ") + result);
}

TEST_F(VMDetailsPaneModelTest, AnExportIsRefusedWhileRunningAndIntoTheLibraryOrABundle)
{
    const VMBundle bundle = installedBundle();
    const VMBundle other = installedBundle(QStringLiteral("Other"));
    VMDetailsViewModel &model = details(bundle.id());
    VMExportRun &run = exportRun();

    const struct {
        QString folder;
        QString banner;
    } refusals[] = {
        {root(), refused("Choose a folder outside the VM library.")},
        {other.bundleURL, refused("Choose a folder outside every VM bundle.")},
        {bundle.bundleURL + QStringLiteral("/Snapshots"), refused("Choose a folder outside every VM bundle.")},
        {outside(QStringLiteral("Imported.vm/inner")), refused("Choose a folder outside every VM bundle.")},
    };
    QDir().mkpath(bundle.bundleURL + QStringLiteral("/Snapshots"));
    QDir().mkpath(outside(QStringLiteral("Imported.vm/inner")));
    for (const auto &refusal : refusals) {
        m_chooser.answers << refusal.folder;
        waitForOutcome(run.run(VMExportFormat::compressedArchive, {})).get();
        EXPECT_EQ(model.errorMessage(), refusal.banner) << refusal.folder.toStdString();
    }
    EXPECT_FALSE(m_exports.exportProgress().has_value());

    waitForOutcome(model.start()).get();
    ASSERT_TRUE(model.isRunning());
    m_chooser.answers << exportFolder();
    waitForOutcome(run.run(VMExportFormat::compressedArchive, {})).get();
    EXPECT_EQ(model.errorMessage(), refused("Stop the VM before exporting."));
    EXPECT_FALSE(m_exports.exportProgress().has_value()) << "the export service was never asked";
    EXPECT_TRUE(QDir(exportFolder()).isEmpty());
}

TEST_F(VMDetailsPaneModelTest, ATemplateIsSavedAndARevealFailureReachesTheBanner)
{
    const VMBundle bundle = installedBundle();
    VMDetailsViewModel &model = details(bundle.id());
    const qsizetype before = m_templates.templates().size();
    model.saveAsTemplate(QStringLiteral("Agent"), {}, VMTemplateCategory::ciRunner);
    EXPECT_EQ(m_templates.templates().size(), before + 1);
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Saved template “Agent”"));
    EXPECT_EQ(model.messageKind(), MessageKind::information);

    model.setErrorMessage(std::nullopt);
    model.revealGuestToolsPackage();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_EQ(m_viewer.revealed.size(), 1);

    // The automation folder cannot be made: nothing is revealed, the banner says why.
    QDir(bundle.layout().automationDirectoryURL()).removeRecursively();
    write(bundle.layout().automationDirectoryURL(), "not a folder");
    model.revealGuestToolsPackage();
    EXPECT_TRUE(model.errorMessage().has_value());
    EXPECT_EQ(m_viewer.revealed.size(), 1);

    // No file manager answers: the banner says so instead of nothing happening.
    m_viewer.failure = QStringLiteral("No file manager could be opened to show “") + bundle.bundleURL + QStringLiteral("”.");
    model.setErrorMessage(std::nullopt);
    model.revealBundle();
    EXPECT_EQ(m_viewer.revealed.last(), bundle.bundleURL);
    EXPECT_EQ(model.errorMessage(), m_viewer.failure);
    EXPECT_EQ(model.messageKind(), MessageKind::failure);
}

TEST_F(VMDetailsPaneModelTest, AGuestMessageIsCutToAReadableLength)
{
    const VMBundle bundle = installedBundle();
    VMDetailsViewModel &model = details(bundle.id());
    EXPECT_EQ(model.latestGuestMessage(), std::nullopt);

    const QString message = QStringLiteral("<img src=x>") + QString(100'000, QLatin1Char('m'));
    const VMGuestAutomationResponse response{QUuid::createUuid(), true, QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC), message};
    write(bundle.layout().automationDirectoryURL() + QStringLiteral("/Responses/A.json"), sharedJSONEncoder().encode(response));
    model.refreshGuestAutomationStatus();
    ASSERT_TRUE(model.latestGuestMessage());
    EXPECT_TRUE(model.latestGuestMessage()->startsWith(QStringLiteral("<img src=x>mmm")));
    EXPECT_EQ(model.latestGuestMessage()->size(), 2001);
}

} // namespace
