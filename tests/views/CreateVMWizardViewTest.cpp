// SPDX-License-Identifier: MIT
#include "CreateVMWizardView.h"

#include "EventLoopWait.h"
#include "FirstBootEditorView.h"
#include "SharedFoldersEditorView.h"
#include "FakeHttpServer.h"
#include "InstallProgressView.h"
#include "InstallSourceOptionRow.h"
#include "IsoImage.h"
#include "QEMUSetupService.h"
#include "SelectableCard.h"
#include "UUPImageBuilderSection.h"
#include "ViewModelTestFixture.h"
#include "WindowsImageProvider.h"
#include "WindowsSourceStepView.h"
#include "WindowsSourceViewModel.h"
#include "WizardStepPill.h"
#include "WizardStepper.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSet>
#include <QSignalSpy>
#include <QCoroTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

using namespace CoordinatorTesting;
using EventLoopWait::waitUntil;
using Step = CreateVMWizardViewModel::Step;
using Stage = VMInstallProgress::Stage;

QString operator""_q(const char *text, size_t size)
{
    return QString::fromUtf8(text, qsizetype(size));
}

QCoro::Task<VMBundle> refuseMacOS(VMInstallRequest, std::function<void(const VMInstallProgress &)>)
{
    throw VirtualMachineError(VirtualMachineError::Case::installFailed, QStringLiteral("macOS cannot be installed on this host."));
    co_return VMBundle();
}

/// Reports a download with its figures, then fails a moment later as a stopped download does.
QCoro::Task<VMBundle> downloadForAMoment(VMInstallRequest, std::function<void(const VMInstallProgress &)> progress)
{
    VMInstallProgress download = VMInstallProgress::step(Stage::downloadingRestoreImage, 0.3, QStringLiteral("Downloading"));
    download.downloadedBytes = 1572864; // 1.5 MB of 2^20 bytes
    download.expectedBytes = 6442450944; // 6 GB of 2^30 bytes
    progress(download);
    co_await QCoro::sleepFor(std::chrono::milliseconds(300));
    throw std::runtime_error("The download was stopped.");
}

/// A chooser whose dialog cannot open: every choice fails.
class BrokenFileChooser final : public FileChooser
{
public:
    QCoro::Task<std::optional<QString>> choose(FileChoiceRequest) override
    {
        throw std::runtime_error("The file chooser could not open.");
        co_return std::nullopt;
    }
};

class CreateVMWizardViewTest : public ViewModelTest
{
protected:
    std::shared_ptr<CreateVMWizardViewModel> makeWizard(HostCapacity host = {8, 16 * gibibyte}, QEMUSetupService *qemuSetup = nullptr,
                                                        FileChooser *chooser = nullptr)
    {
        return CreateVMWizardViewModel::create({store(), m_logging, m_network, m_linux, m_linuxTools, m_bookmarks, chooser ? *chooser : m_chooser,
                                                m_catalog, m_nam, m_installer, [this] { ++m_restoreCancels; }, [host] { return host; }, {},
                                                m_macOSRefusal, [this] { return m_missingWindowsPackages; }, qemuSetup ? *qemuSetup : m_qemuSetup,
                                                m_images});
    }

    QStringList m_missingWindowsPackages;

    /// The sheet over `wizard`, shown and active.
    std::unique_ptr<CreateVMWizardView> open(std::shared_ptr<CreateVMWizardViewModel> wizard)
    {
        WizardDesktop desktop{[this](const QString &text) { m_copied << text; }, [this](const QUrl &url, const std::function<void(const QString &)> &failed) {
                                  m_opened << url;
                                  if (m_openFailure)
                                      failed(*m_openFailure);
                              },
                              [this](const QString &path) { return m_existingPaths.contains(path); }};
        auto sheet = std::make_unique<CreateVMWizardView>(std::move(wizard), desktop);
        sheet->show();
        QApplication::setActiveWindow(sheet.get());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
        return sheet;
    }

    template <typename T = QWidget>
    static T *child(const QWidget &root, const QString &name)
    {
        T *found = root.findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    static QStringList pillTitles(const QWidget &sheet, QStringList *current = nullptr)
    {
        QStringList titles;
        for (const WizardStepPill *pill : sheet.findChildren<WizardStepPill *>()) {
            titles << pill->title();
            if (current && pill->isCurrent())
                *current << pill->title();
        }
        return titles;
    }

    static bool shown(const QWidget &root, const QString &name) { return child(root, name) && child(root, name)->isVisible(); }

    QString writeISO(const QString &name)
    {
        const QString path = m_home.path() + QLatin1Char('/') + name;
        EXPECT_TRUE(IsoImage::write(path, {{"EFI/BOOT/BOOTAA64.EFI", QByteArray(4096, 'e')}, {"README.TXT", QByteArray(300000, 'r')}}));
        return path;
    }

    FakeHttpServer m_server;
    QNetworkAccessManager m_nam;
    CreateVMWizardViewModel::MacOSInstaller m_installer = &refuseMacOS;
    std::optional<QString> m_macOSRefusal;
    int m_restoreCancels = 0;
    QEMUSetupService m_qemuSetup{m_logging, QEMUSetupService::Source{m_server.url(), QStringLiteral("homebrew/core/qemu"), QStringLiteral("00")},
                                 QEMUSetupService::Places{m_home.path() + QStringLiteral("/qemu"), m_home.path() + QStringLiteral("/tmp"), {}}};
    WindowsImageProvider m_images{m_logging, {m_home.path() + QStringLiteral("/Downloads")}};
    QStringList m_copied;
    QList<QUrl> m_opened;
    /// What the desktop says when asked to open a web page; none: the page opens.
    std::optional<QString> m_openFailure;
    QSet<QString> m_existingPaths;
};

TEST_F(CreateVMWizardViewTest, HeaderAndPillsFollowTheGuest)
{
    auto wizard = makeWizard();
    auto sheet = open(wizard);
    EXPECT_GE(sheet->minimumWidth(), 820);
    EXPECT_GE(sheet->minimumHeight(), 640);
    struct Case {
        VMGuestOSType guest;
        QString title;
        QStringList pills;
    };
    const Case cases[] = {
        {VMGuestOSType::linux, QStringLiteral("Create Linux VM"), {"General"_q, "Linux Source"_q, "Shared Folders"_q, "Review"_q}},
        {VMGuestOSType::windows, QStringLiteral("Create Windows VM"), {"General"_q, "Windows Source"_q, "Review"_q}},
        {VMGuestOSType::macOS, QStringLiteral("Create Virtual Mac"), {"General"_q, "macOS Source"_q, "Shared Folders"_q, "First Boot"_q, "Review"_q}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        wizard->goToNextStep();
        wizard->setGuestOSType(c.guest);
        EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("wizard.title"))->text(), c.title);
        QStringList current;
        EXPECT_EQ(pillTitles(*sheet, &current), c.pills);
        EXPECT_EQ(current, QStringList{QStringLiteral("General")});
        EXPECT_TRUE(shown(*sheet, QStringLiteral("wizard.generalStep")));
    }
    wizard->goToNextStep();
    QStringList current;
    pillTitles(*sheet, &current);
    EXPECT_EQ(current, QStringList{QStringLiteral("macOS Source")});
    EXPECT_TRUE(shown(*sheet, QStringLiteral("wizard.macOSSourceStep")));
    EXPECT_FALSE(shown(*sheet, QStringLiteral("wizard.generalStep")));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("macOS.unavailable")));
}

TEST_F(CreateVMWizardViewTest, TheBannerShowsTheErrorUntilDismissed)
{
    auto wizard = makeWizard();
    wizard->setGuestOSType(VMGuestOSType::linux);
    auto sheet = open(wizard);
    EXPECT_FALSE(shown(*sheet, QStringLiteral("wizard.banner")));
    wizard->goToNextStep();
    wizard->goToNextStep();
    wizard->goToNextStep();
    wizard->createLinuxVM();
    EXPECT_TRUE(shown(*sheet, QStringLiteral("wizard.banner")));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("banner.message"))->text(), QStringLiteral("Choose a Linux distribution or ISO before creating the VM."));
    child<QPushButton>(*sheet, QStringLiteral("banner.dismiss"))->click();
    EXPECT_FALSE(wizard->errorMessage());
    EXPECT_FALSE(shown(*sheet, QStringLiteral("wizard.banner")));
    EXPECT_EQ(wizard->currentStep(), Step::review);
}

TEST_F(CreateVMWizardViewTest, RestoreImagesLoadOnlyForAMacOSGuestAndInterfacesOnlyWhenUnlisted)
{
    auto wizard = makeWizard();
    wizard->setGuestOSType(VMGuestOSType::linux);
    auto sheet = open(wizard);
    QTest::qWait(50);
    EXPECT_FALSE(wizard->isLoadingAutomaticRestoreImages());
    EXPECT_FALSE(wizard->errorMessage());
    child<SelectableCard>(*sheet, QStringLiteral("general.guest:macOS"))->click();
    EXPECT_TRUE(wizard->isLoadingAutomaticRestoreImages());
    EXPECT_TRUE(waitUntil([&] { return !wizard->isLoadingAutomaticRestoreImages(); }));
    // Once per wizard: switching away and back does not fetch again.
    wizard->setGuestOSType(VMGuestOSType::windows);
    wizard->setGuestOSType(VMGuestOSType::macOS);
    EXPECT_FALSE(wizard->isLoadingAutomaticRestoreImages());
}

TEST_F(CreateVMWizardViewTest, ALinuxVMFromALocalISOIsCreatedThroughTheSheetWithItsISOAttached)
{
    const QString iso = writeISO(QStringLiteral("installer.iso"));
    auto wizard = makeWizard();
    auto sheet = open(wizard);

    child<SelectableCard>(*sheet, QStringLiteral("general.guest:linux"))->click();
    EXPECT_TRUE(child<SelectableCard>(*sheet, QStringLiteral("general.guest:linux"))->isSelected());
    auto *name = child<QLineEdit>(*sheet, QStringLiteral("general.name"));
    EXPECT_EQ(name->text(), QStringLiteral("New Linux VM"));
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Installer Box"));
    child<QSpinBox>(*sheet, QStringLiteral("general.memory"))->setValue(2);
    child<QSpinBox>(*sheet, QStringLiteral("general.disk"))->setValue(8);
    EXPECT_EQ(wizard->name(), QStringLiteral("Installer Box"));
    EXPECT_EQ(wizard->memorySizeGB(), 2);
    EXPECT_EQ(wizard->diskSizeGB(), 8);
    // Return presses the default button, Next.
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_EQ(wizard->currentStep(), Step::linuxSource);

    auto *next = child<QPushButton>(*sheet, QStringLiteral("footer.next"));
    EXPECT_FALSE(next->isEnabled());
    child<QRadioButton>(*sheet, QStringLiteral("linux.localISO"))->click();
    EXPECT_TRUE(shown(*sheet, QStringLiteral("linux.localPrompt")));
    m_chooser.answers << iso;
    child<QPushButton>(*sheet, QStringLiteral("linux.chooseLocal"))->click();
    ASSERT_TRUE(waitUntil([&] { return wizard->localLinuxISOURL().has_value() && !wizard->isCheckingLocalLinuxISO(); }));
    EXPECT_EQ(m_chooser.requests.last().title, QStringLiteral("Choose a Linux ISO Image"));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("linux.localName"))->text(), QStringLiteral("installer.iso"));
    EXPECT_FALSE(shown(*sheet, QStringLiteral("linux.localPrompt")));
    ASSERT_TRUE(next->isEnabled());
    next->click();
    EXPECT_TRUE(shown(*sheet, QStringLiteral("wizard.sharedFoldersStep")));
    next->click();
    ASSERT_EQ(wizard->currentStep(), Step::review);
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("review.value:Linux Source"))->text(), QStringLiteral("installer.iso"));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("review.note")));

    child<QPushButton>(*sheet, QStringLiteral("footer.create"))->click();
    ASSERT_TRUE(waitUntil([&] { return !wizard->isCreating(); }, std::chrono::seconds(20)));
    ASSERT_TRUE(wizard->didFinishSuccessfully()) << wizard->errorMessage().value_or(QString()).toStdString();
    EXPECT_TRUE(shown(*sheet, QStringLiteral("installProgress")));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("progress.title"))->text(), QStringLiteral("Finalizing"));
    EXPECT_FALSE(shown(*sheet, QStringLiteral("footer.cancel")));
    auto *done = child<QPushButton>(*sheet, QStringLiteral("footer.done"));
    EXPECT_TRUE(done->isVisible() && done->isDefault());
    done->click();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_FALSE(sheet->isVisible());

    settle();
    const std::optional<VMBundle> bundle = store().bundle(*wizard->createdBundleID());
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->metadata.name, QStringLiteral("Installer Box"));
    EXPECT_EQ(bundle->metadata.guestOSType, VMGuestOSType::linux);
    QFile attached(bundle->layout().linuxInstallISOURL());
    ASSERT_TRUE(attached.open(QIODevice::ReadOnly));
    QFile source(iso);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    EXPECT_EQ(attached.readAll(), source.readAll());
}

TEST_F(CreateVMWizardViewTest, ARunningCreationKeepsTheSheetOpenAndARetryStartsAfresh)
{
    m_installer = &downloadForAMoment;
    auto wizard = makeWizard();
    wizard->setSourceMode(CreateVMWizardViewModel::SourceMode::local);
    m_chooser.answers << m_home.path() + QStringLiteral("/image.ipsw");
    waitForOutcome(wizard->chooseLocalRestoreImage()).get();
    for (int step = 0; step < 4; ++step)
        wizard->goToNextStep();
    auto sheet = open(wizard);
    auto *create = child<QPushButton>(*sheet, QStringLiteral("footer.create"));
    create->click();
    ASSERT_TRUE(waitUntil([&] { return wizard->installProgress().stage == Stage::downloadingRestoreImage; }));

    EXPECT_FALSE(create->isEnabled());
    EXPECT_FALSE(child<QPushButton>(*sheet, QStringLiteral("footer.cancel"))->isEnabled());
    EXPECT_FALSE(child<QPushButton>(*sheet, QStringLiteral("footer.back"))->isEnabled());
    EXPECT_TRUE(shown(*sheet, QStringLiteral("footer.creatingHint")));
    EXPECT_TRUE(child<QLabel>(*sheet, QStringLiteral("footer.creatingHint"))->text().contains(QStringLiteral("Cancel Download")));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("progress.bytes"))->text(), QStringLiteral("1.5 MB of 6 GB"));
    QTest::keyClick(sheet.get(), Qt::Key_Escape);
    sheet->close();
    EXPECT_TRUE(sheet->isVisible());

    auto *cancelDownload = child<QPushButton>(*sheet, QStringLiteral("progress.cancelDownload"));
    ASSERT_TRUE(cancelDownload->isVisible());
    cancelDownload->click();
    EXPECT_EQ(m_restoreCancels, 1);
    EXPECT_FALSE(wizard->isCreating());
    EXPECT_EQ(wizard->errorMessage(), QStringLiteral("Restore image download cancelled."));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("review.note")));
    EXPECT_TRUE(create->isEnabled());

    // The retry shows its own first report, not the old download with its cancel.
    create->click();
    EXPECT_EQ(wizard->installProgress().stage, Stage::preparingBundle);
    EXPECT_EQ(wizard->installProgress().fractionCompleted, 0);
    EXPECT_FALSE(shown(*sheet, QStringLiteral("progress.cancelDownload")));
    EXPECT_FALSE(shown(*sheet, QStringLiteral("progress.download")));
    ASSERT_TRUE(waitUntil([&] { return !wizard->isCreating(); }));
    QTest::qWait(400);
    EXPECT_EQ(wizard->errorMessage(), QStringLiteral("The download was stopped."));
    QTest::keyClick(sheet.get(), Qt::Key_Escape);
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(CreateVMWizardViewTest, ALinuxDownloadCanBeCancelledFromTheProgress)
{
    m_server.setResponder([](const FakeHttpServer::Request &) {
        FakeHttpServer::Response response(200, QByteArray(200000, 'i'));
        response.announcedLength = 50000000;
        response.cutAfter = 200000;
        response.stall = true;
        return response;
    });
    auto wizard = makeWizard();
    wizard->setGuestOSType(VMGuestOSType::linux);
    wizard->setMemorySizeGB(2);
    LinuxDistribution distribution = LinuxDistribution::serverCatalog().first();
    distribution.isoURL = m_server.url(QStringLiteral("/slow.iso"));
    wizard->setSelectedLinuxDistribution(distribution);
    for (int step = 0; step < 3; ++step)
        wizard->goToNextStep();
    auto sheet = open(wizard);
    child<QPushButton>(*sheet, QStringLiteral("footer.create"))->click();
    ASSERT_TRUE(waitUntil([&] { return shown(*sheet, QStringLiteral("progress.cancelDownload")); }, std::chrono::seconds(10)));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("progress.title"))->text(), QStringLiteral("Downloading Linux ISO"));
    EXPECT_FALSE(child<QPushButton>(*sheet, QStringLiteral("footer.create"))->isEnabled());
    child<QPushButton>(*sheet, QStringLiteral("progress.cancelDownload"))->click();
    EXPECT_EQ(wizard->errorMessage(), QStringLiteral("Linux ISO download cancelled."));
    EXPECT_TRUE(child<QPushButton>(*sheet, QStringLiteral("footer.create"))->isEnabled());
    EXPECT_TRUE(child<QPushButton>(*sheet, QStringLiteral("footer.cancel"))->isEnabled());
    EXPECT_TRUE(shown(*sheet, QStringLiteral("review.note")));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("wizard.banner")));
    QTest::qWait(200);
}

TEST_F(CreateVMWizardViewTest, TheFolderEditorsEditTheWizardsLists)
{
    auto wizard = makeWizard();
    for (int step = 0; step < 2; ++step)
        wizard->goToNextStep();
    auto sheet = open(wizard);
    ASSERT_TRUE(shown(*sheet, QStringLiteral("wizard.sharedFoldersStep")));
    QStringList folders;
    for (const char *name : {"a", "b", "c"}) {
        folders << m_home.path() + QStringLiteral("/shares/") + QLatin1String(name);
        QDir().mkpath(folders.last());
    }
    m_chooser.severalAnswers << folders;
    child<QPushButton>(*sheet, QStringLiteral("sharedFolders.add"))->click();
    ASSERT_TRUE(waitUntil([&] { return wizard->sharedFolders().size() == 3; }));
    auto *editor = child<SharedFoldersEditorView>(*sheet, QStringLiteral("wizard.sharedFoldersStep"));
    const QUuid second = wizard->sharedFolders()[1].id;
    Q_EMIT editor->readOnlyChangeRequested(second, true);
    EXPECT_TRUE(wizard->sharedFolders()[1].isReadOnly);
    // Removal names folders, so one removed meanwhile cannot shift it onto another row.
    wizard->removeSharedFolders({wizard->sharedFolders()[0].id});
    Q_EMIT editor->removeRequested({second});
    ASSERT_EQ(wizard->sharedFolders().size(), 1);
    EXPECT_EQ(wizard->sharedFolders()[0].displayName, QStringLiteral("c"));

    wizard->goToNextStep();
    auto *firstBoot = child<FirstBootEditorView>(*sheet, QStringLiteral("wizard.firstBootStep"));
    ASSERT_TRUE(firstBoot->isVisible());
    Q_EMIT firstBoot->enabledChangeRequested(true);
    Q_EMIT firstBoot->notesEdited(QStringLiteral("notes"));
    EXPECT_TRUE(wizard->firstBootEnabled());
    EXPECT_EQ(wizard->firstBootNotes(), QStringLiteral("notes"));
    m_chooser.severalAnswers << QStringList{folders[0], folders[1]};
    Q_EMIT firstBoot->addFilesRequested();
    ASSERT_TRUE(waitUntil([&] { return wizard->firstBootAdditionalFiles().size() == 2; }));
    Q_EMIT firstBoot->removeFilesRequested({folders[0]});
    EXPECT_EQ(wizard->firstBootAdditionalFiles(), QStringList{folders[1]});
}

TEST_F(CreateVMWizardViewTest, OnlyAnEnabledDefaultButtonTakesReturn)
{
    auto wizard = makeWizard();
    auto sheet = open(wizard);
    auto *name = child<QLineEdit>(*sheet, QStringLiteral("general.name"));
    auto *next = child<QPushButton>(*sheet, QStringLiteral("footer.next"));
    auto *cancel = child<QPushButton>(*sheet, QStringLiteral("footer.cancel"));
    EXPECT_TRUE(next->isDefault());
    EXPECT_FALSE(cancel->autoDefault());
    EXPECT_FALSE(shown(*sheet, QStringLiteral("footer.back")));
    EXPECT_FALSE(shown(*sheet, QStringLiteral("footer.create")));

    for (const QString &blank : {QString(), QStringLiteral("   "), QStringLiteral("\t\n")}) {
        name->setText(blank);
        Q_EMIT name->textEdited(blank);
        EXPECT_FALSE(next->isEnabled());
        QTest::keyClick(name, Qt::Key_Return);
        EXPECT_EQ(wizard->currentStep(), Step::general);
    }
    name->setText(QStringLiteral(" Lab "));
    Q_EMIT name->textEdited(QStringLiteral(" Lab "));
    EXPECT_TRUE(next->isEnabled());
    // A focused Cancel does not take Return: the default button does.
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(wizard->currentStep(), Step::macOSSource);
    EXPECT_EQ(wizard->name(), QStringLiteral(" Lab "));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("footer.back")));
    cancel->click();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Rejected);
}

TEST_F(CreateVMWizardViewTest, SteppersFollowTheHostAndNeverWriteBack)
{
    auto wizard = makeWizard({2, 8 * gibibyte});
    wizard->setGuestOSType(VMGuestOSType::linux);
    auto sheet = open(wizard);
    auto *cpu = child<WizardStepper>(*sheet, QStringLiteral("general.cpu"));
    auto *memory = child<WizardStepper>(*sheet, QStringLiteral("general.memory"));
    auto *disk = child<WizardStepper>(*sheet, QStringLiteral("general.disk"));
    EXPECT_EQ(cpu->steppingMaximum(), 2);
    EXPECT_EQ(memory->steppingMaximum(), 6);
    EXPECT_EQ(memory->steppingMinimum(), 1);
    EXPECT_EQ(disk->steppingMinimum(), 8);
    EXPECT_EQ(disk->singleStep(), 8);
    EXPECT_EQ(memory->text(), QStringLiteral("6 GB"));
    memory->setValue(2);
    ASSERT_EQ(wizard->memorySizeGB(), 2);

    // macOS needs 4 GB: the value the user chose stays, shown as it is, and Next waits for it to be raised.
    child<SelectableCard>(*sheet, QStringLiteral("general.guest:macOS"))->click();
    EXPECT_EQ(wizard->memorySizeGB(), 2);
    EXPECT_EQ(memory->value(), 2);
    EXPECT_FALSE(child<QPushButton>(*sheet, QStringLiteral("footer.next"))->isEnabled());
    EXPECT_EQ(disk->steppingMinimum(), 32);
    memory->stepUp();
    memory->stepUp();
    EXPECT_EQ(wizard->memorySizeGB(), 4);
    EXPECT_TRUE(child<QPushButton>(*sheet, QStringLiteral("footer.next"))->isEnabled());

    // A fractional size from a template is shown whole and kept.
    wizard->setMemorySizeGB(3.5);
    EXPECT_EQ(memory->value(), 3);
    EXPECT_EQ(wizard->memorySizeGB(), 3.5);
}

TEST_F(CreateVMWizardViewTest, ADisabledNextSaysWhyAndTheMemoryLimitSaysWhatItLeaves)
{
    m_macOSRefusal = QStringLiteral("macOS cannot be installed on this host: QEMU cannot boot macOS.");
    auto wizard = makeWizard({8, 16 * gibibyte});
    auto sheet = open(wizard);
    EXPECT_TRUE(child<SelectableCard>(*sheet, QStringLiteral("general.guest:linux"))->isSelected()) << "this host cannot install macOS";
    auto *next = child<QPushButton>(*sheet, QStringLiteral("footer.next"));
    auto *reason = child<QLabel>(*sheet, QStringLiteral("footer.blockReason"));
    EXPECT_TRUE(next->isEnabled());
    EXPECT_FALSE(reason->isVisible());

    auto *name = child<QLineEdit>(*sheet, QStringLiteral("general.name"));
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Delete);
    EXPECT_FALSE(next->isEnabled());
    EXPECT_TRUE(reason->isVisible());
    EXPECT_EQ(reason->text(), QStringLiteral("Enter a name for the VM."));
    EXPECT_EQ(next->toolTip(), reason->text());
    QTest::keyClicks(name, QStringLiteral("Lab"));
    EXPECT_TRUE(next->isEnabled());
    EXPECT_FALSE(reason->isVisible());

    child<SelectableCard>(*sheet, QStringLiteral("general.guest:macOS"))->click();
    EXPECT_FALSE(next->isEnabled());
    EXPECT_EQ(reason->text(), *m_macOSRefusal);
    child<SelectableCard>(*sheet, QStringLiteral("general.guest:linux"))->click();

    auto *memory = child<WizardStepper>(*sheet, QStringLiteral("general.memory"));
    auto *limit = child<QLabel>(*sheet, QStringLiteral("general.memoryLimit"));
    EXPECT_EQ(memory->steppingMaximum(), 12);
    EXPECT_FALSE(limit->isVisible());
    memory->setValue(12);
    EXPECT_TRUE(limit->isVisible());
    EXPECT_EQ(limit->text(), QStringLiteral("At most 12 GB: leaves 4 GB for this computer."));
    EXPECT_TRUE(next->isEnabled());
}

TEST_F(CreateVMWizardViewTest, AValueTypedPastAStepperLimitIsKeptAndTheLimitIsSaid)
{
    auto wizard = makeWizard({8, 16 * gibibyte});
    wizard->setGuestOSType(VMGuestOSType::linux);
    auto sheet = open(wizard);
    auto *next = child<QPushButton>(*sheet, QStringLiteral("footer.next"));
    auto *reason = child<QLabel>(*sheet, QStringLiteral("footer.blockReason"));
    const auto type = [](QSpinBox *box, const QString &text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
        // Leaving the field finishes the typing (Return would also press Next).
        QTest::keyClick(box, Qt::Key_Tab);
    };

    auto *memory = child<WizardStepper>(*sheet, QStringLiteral("general.memory"));
    type(memory, QStringLiteral("18"));
    EXPECT_EQ(wizard->memorySizeGB(), 18) << "no digit is dropped";
    EXPECT_EQ(memory->text(), QStringLiteral("18 GB"));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("general.memoryLimit")));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("general.memoryLimit"))->text(), QStringLiteral("At most 12 GB: leaves 4 GB for this computer."));
    EXPECT_FALSE(next->isEnabled());
    EXPECT_EQ(reason->text(), QStringLiteral("At most 12 GB: leaves 4 GB for this computer."));
    memory->stepDown();
    EXPECT_EQ(wizard->memorySizeGB(), 17);
    type(memory, QStringLiteral("12"));
    EXPECT_TRUE(next->isEnabled());
    memory->stepUp();
    EXPECT_EQ(wizard->memorySizeGB(), 12) << "the arrows stop at the limit";

    auto *cpu = child<WizardStepper>(*sheet, QStringLiteral("general.cpu"));
    type(cpu, QStringLiteral("12"));
    EXPECT_EQ(wizard->cpuCount(), 12);
    EXPECT_EQ(reason->text(), QStringLiteral("Choose from 1 to 8 CPUs: this computer has 8."));
    type(cpu, QStringLiteral("2"));
    auto *disk = child<WizardStepper>(*sheet, QStringLiteral("general.disk"));
    type(disk, QStringLiteral("1000"));
    EXPECT_EQ(wizard->diskSizeGB(), 1000);
    EXPECT_TRUE(next->isEnabled());
}

TEST_F(CreateVMWizardViewTest, GeneralStepShowsLocationNetworkAndMedia)
{
    auto wizard = makeWizard();
    auto sheet = open(wizard);
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("general.location"))->text(), QStringLiteral("Default Library"));
    const QString elsewhere = m_home.path() + QStringLiteral("/External");
    QDir().mkpath(elsewhere);
    m_chooser.answers << elsewhere;
    child<QPushButton>(*sheet, QStringLiteral("general.chooseFolder"))->click();
    ASSERT_TRUE(waitUntil([&] { return wizard->destinationDirectoryURL() == elsewhere; }));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("general.location"))->text(), QStringLiteral("Custom Location"));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("general.path"))->text(), elsewhere);

    wizard->setNetworkMode(VMNetworkConfiguration::Mode::bridged);
    EXPECT_TRUE(child<QRadioButton>(*sheet, QStringLiteral("general.network.bridged"))->isChecked());
    const bool listed = !wizard->bridgedInterfaceOptions().isEmpty();
    EXPECT_EQ(shown(*sheet, QStringLiteral("general.noInterfaces")), !listed);
    EXPECT_EQ(child<QPushButton>(*sheet, QStringLiteral("footer.next"))->isEnabled(), listed);
    child<QRadioButton>(*sheet, QStringLiteral("general.network.nat"))->click();
    EXPECT_EQ(wizard->networkMode(), VMNetworkConfiguration::Mode::nat);
    EXPECT_FALSE(shown(*sheet, QStringLiteral("general.noInterfaces")));
    EXPECT_TRUE(child<QLabel>(*sheet, QStringLiteral("general.networkCaption"))->text().startsWith(QStringLiteral("Shared NAT")));

    child<QCheckBox>(*sheet, QStringLiteral("general.microphone"))->click();
    EXPECT_TRUE(wizard->isMicrophoneEnabled());
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("general.microphoneStatus"))->text(), QStringLiteral("Enabled via host default input"));
}

TEST_F(CreateVMWizardViewTest, LinuxFilterShowsMatchingRowsAndKeepsAHiddenSelection)
{
    auto wizard = makeWizard();
    wizard->setGuestOSType(VMGuestOSType::linux);
    wizard->goToNextStep();
    auto sheet = open(wizard);
    const auto visibleRows = [&] {
        QList<QUuid> ids;
        for (const LinuxDistribution &row : LinuxDistribution::catalog())
            if (shown(*sheet, QStringLiteral("linux.distribution:") + row.id.toString(QUuid::WithoutBraces)))
                ids << row.id;
        return ids;
    };
    const auto idsOf = [](const QList<LinuxDistribution> &rows) {
        QList<QUuid> ids;
        for (const LinuxDistribution &row : rows)
            ids << row.id;
        return ids;
    };
    EXPECT_EQ(visibleRows(), idsOf(LinuxDistribution::catalog()));
    const LinuxDistribution desktop = LinuxDistribution::desktopCatalog().first();
    child<SelectableCard>(*sheet, QStringLiteral("linux.distribution:") + desktop.id.toString(QUuid::WithoutBraces))->click();
    EXPECT_EQ(wizard->selectedLinuxDistribution(), desktop);
    child<QPushButton>(*sheet, QStringLiteral("linux.filter.server"))->click();
    EXPECT_EQ(visibleRows(), idsOf(LinuxDistribution::serverCatalog()));
    EXPECT_FALSE(shown(*sheet, QStringLiteral("linux.noMatch")));
    EXPECT_EQ(wizard->selectedLinuxDistribution(), desktop);
    EXPECT_TRUE(child<QPushButton>(*sheet, QStringLiteral("footer.next"))->isEnabled());
    child<QPushButton>(*sheet, QStringLiteral("linux.filter.all"))->click();
    EXPECT_FALSE(wizard->selectedLinuxVariantFilter());
    auto *commandLine = child<QLineEdit>(*sheet, QStringLiteral("linux.commandLine"));
    EXPECT_EQ(commandLine->text(), QStringLiteral("console=hvc0"));
    commandLine->clear();
    Q_EMIT commandLine->textEdited(QString());
    EXPECT_EQ(wizard->linuxBootConfig().commandLine, QString());
}

TEST_F(CreateVMWizardViewTest, WindowsStepKeepsAFailedQEMUInstallOnScreenAndReachesTheDesktop)
{
    m_server.setResponder([](const FakeHttpServer::Request &) { return FakeHttpServer::Response(404, "no"); });
    auto wizard = makeWizard();
    wizard->setGuestOSType(VMGuestOSType::windows);
    wizard->goToNextStep();
    auto sheet = open(wizard);
    auto *install = child<QPushButton>(*sheet, QStringLiteral("windows.installQEMU"));
    ASSERT_TRUE(install->isVisible());
    EXPECT_FALSE(shown(*sheet, QStringLiteral("windows.qemuAdvice")));
    EXPECT_FALSE(shown(*sheet, QStringLiteral("windows.qemuFailure")));
    install->click();
    ASSERT_TRUE(waitUntil([&] { return !m_qemuSetup.isDownloading(); }, std::chrono::seconds(10)));
    EXPECT_TRUE(install->isVisible());
    EXPECT_TRUE(shown(*sheet, QStringLiteral("windows.qemuFailure")));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("windows.qemuFailure"))->text(), m_qemuSetup.statusMessage());
    EXPECT_TRUE(m_qemuSetup.statusMessage().startsWith(QStringLiteral("Failed: ")));

    child<QPushButton>(*sheet, QStringLiteral("windows.openDownloadPage"))->click();
    EXPECT_EQ(m_opened, QList<QUrl>{WindowsSourceViewModel::downloadPageURL()});
    // Where no browser takes the page, the wizard's banner says so.
    m_openFailure = QStringLiteral("No web browser could be opened.");
    child<QPushButton>(*sheet, QStringLiteral("windows.openDownloadPage"))->click();
    EXPECT_EQ(wizard->errorMessage(), m_openFailure);
    EXPECT_TRUE(shown(*sheet, QStringLiteral("windows.noISOs")));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("windows.selectManually")));

    m_existingPaths = {QStringLiteral("/usr/sbin/cabextract")};
    child<QRadioButton>(*sheet, QStringLiteral("windows.mode.advanced"))->click();
    EXPECT_EQ(wizard->windowsSourceMode(), CreateVMWizardViewModel::WindowsSourceMode::advanced);
    EXPECT_TRUE(child(*sheet, QStringLiteral("uup.tool:cabextract"))->property("installed").toBool());
    EXPECT_FALSE(child(*sheet, QStringLiteral("uup.tool:aria2c"))->property("installed").toBool());
    auto *copy = child<QPushButton>(*sheet, QStringLiteral("uup.copyCommand"));
    copy->click();
    copy->click();
    EXPECT_EQ(m_copied, QStringList(2, UUPImageBuilderSection::installCommand()));
}

TEST_F(CreateVMWizardViewTest, WhereThePackageCannotRunTheWindowsStepOffersTheInstallCommandInstead)
{
    // The package pinned by default is built for macOS on Apple silicon.
    QEMUSetupService::Source source = QEMUSetupService::defaultSource();
    source.registryURL = m_server.url();
    QEMUSetupService foreign(m_logging, source, QEMUSetupService::Places{m_home.path() + QStringLiteral("/qemu"), m_home.path() + QStringLiteral("/tmp"), {}});
    auto wizard = makeWizard({8, 16 * gibibyte}, &foreign);
    wizard->setGuestOSType(VMGuestOSType::windows);
    wizard->goToNextStep();
    CreateVMWizardView sheet(wizard, WizardDesktop{[](const QString &) {}, [](const QUrl &, auto) {}, [](const QString &) { return false; }});
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    EXPECT_FALSE(shown(sheet, QStringLiteral("windows.installQEMU")));
    ASSERT_TRUE(shown(sheet, QStringLiteral("windows.qemuAdvice")));
    EXPECT_EQ(child<QLabel>(sheet, QStringLiteral("windows.qemuAdvice"))->text(),
              QStringLiteral("Install QEMU with: sudo apt install qemu-system-arm qemu-efi-aarch64 swtpm"));
}

TEST_F(CreateVMWizardViewTest, AnImageThatFailsValidationTurnsTheBadgeRedAndBlocksNext)
{
    auto wizard = makeWizard();
    wizard->setGuestOSType(VMGuestOSType::windows);
    wizard->goToNextStep();
    auto sheet = open(wizard);
    const QString small = m_home.path() + QStringLiteral("/Win11_ARM64.iso");
    write(small, "tiny");
    m_chooser.answers << small;
    child<QPushButton>(*sheet, QStringLiteral("windows.selectManually"))->click();
    ASSERT_TRUE(waitUntil([&] { return wizard->windowsISOValidation().has_value(); }, std::chrono::seconds(15)));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("windows.badge")));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("windows.badgeTitle"))->text(), QStringLiteral("ISO Problem Detected"));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("windows.badgeMessage"))->text(), wizard->windowsISOValidation()->message());
    EXPECT_FALSE(child(*sheet, QStringLiteral("windows.preflight:1"))->property("passes").toBool()) << "a refused image is no selection";
    EXPECT_FALSE(child<QPushButton>(*sheet, QStringLiteral("footer.next"))->isEnabled());
    // A file picked by hand shows as the existing image it is: its mode checked, its name and folder, and another choice.
    EXPECT_TRUE(child<QRadioButton>(*sheet, QStringLiteral("windows.mode.local"))->isChecked());
    EXPECT_FALSE(shown(*sheet, QStringLiteral("windows.noISOs")));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("windows.chooseImage"))) << "another image can still be picked";
    EXPECT_EQ(child<QPushButton>(*sheet, QStringLiteral("windows.chooseImage"))->text(), QStringLiteral("Change ISO"));
    EXPECT_TRUE(child<QLabel>(*sheet, QStringLiteral("windows.localDetail"))->text().endsWith(m_home.path()));
    EXPECT_EQ(child<QLabel>(*sheet, QStringLiteral("windows.localName"))->text(), QStringLiteral("Win11_ARM64.iso"));
    EXPECT_TRUE(shown(*sheet, QStringLiteral("windows.badge")));
}

TEST_F(CreateVMWizardViewTest, AnImageThatPassesAfterOneThatFailedHasItsBadgeTitleInOrdinaryText)
{
    auto wizard = makeWizard();
    wizard->setGuestOSType(VMGuestOSType::windows);
    wizard->goToNextStep();
    auto sheet = open(wizard);
    const QString small = m_home.path() + QStringLiteral("/Win11_ARM64_small.iso");
    write(small, "tiny");
    waitForOutcome(wizard->validateWindowsImage(small)).get();
    auto *title = child<QLabel>(*sheet, QStringLiteral("windows.badgeTitle"));
    ASSERT_EQ(title->text(), QStringLiteral("ISO Problem Detected"));
    const QColor failureInk = title->palette().color(QPalette::WindowText);

    // A readable Windows installation image of a Windows size, sparse.
    const QString good = m_home.path() + QStringLiteral("/Win11_ARM64.iso");
    ASSERT_TRUE(IsoImage::write(good, {{"EFI/BOOT/BOOTAA64.EFI", QByteArray(4096, 'e')}, {"sources/install.wim", QByteArray(4096, 'w')}},
                                qint64(WindowsImageProvider::minimumImageSize) + 1));
    waitForOutcome(wizard->validateWindowsImage(good)).get();
    ASSERT_EQ(title->text(), QStringLiteral("ISO Verified"));
    EXPECT_NE(title->palette().color(QPalette::WindowText), failureInk) << "the failure's red stayed on the title";
    EXPECT_EQ(title->palette().color(QPalette::WindowText), child(*sheet, QStringLiteral("windows.badge"))->palette().color(QPalette::WindowText));
}

TEST_F(CreateVMWizardViewTest, ACommandThatFailsFromAButtonShowsItsFailureInTheBanner)
{
    BrokenFileChooser chooser;
    auto wizard = makeWizard({8, 16 * gibibyte}, nullptr, &chooser);
    wizard->setGuestOSType(VMGuestOSType::linux);
    auto sheet = open(wizard);
    EXPECT_FALSE(shown(*sheet, QStringLiteral("wizard.banner")));
    for (const QString &button : {QStringLiteral("general.chooseFolder"), QStringLiteral("linux.chooseLocal"), QStringLiteral("sharedFolders.add")}) {
        wizard->clearErrorMessage();
        if (button == QStringLiteral("linux.chooseLocal")) {
            wizard->goToNextStep();
            child<QRadioButton>(*sheet, QStringLiteral("linux.localISO"))->click();
        } else if (button == QStringLiteral("sharedFolders.add")) {
            wizard->setSelectedLinuxDistribution(LinuxDistribution::catalog().first());
            wizard->goToNextStep();
        }
        ASSERT_TRUE(shown(*sheet, button)) << button.toStdString();
        child<QPushButton>(*sheet, button)->click();
        ASSERT_TRUE(waitUntil([&] { return wizard->errorMessage().has_value(); })) << button.toStdString();
        EXPECT_EQ(*wizard->errorMessage(), QStringLiteral("The file chooser could not open."));
        EXPECT_TRUE(shown(*sheet, QStringLiteral("wizard.banner")));
    }
}

TEST_F(CreateVMWizardViewTest, TheWindowsCardAsksForPackagesOnlyWhenTheHostLacksThem)
{
    for (const QStringList &missing : {QStringList{}, QStringList{"qemu-efi-aarch64"_q}}) {
        m_missingWindowsPackages = missing;
        auto sheet = open(makeWizard());
        QStringList captions;
        for (const QLabel *label : child(*sheet, QStringLiteral("general.guest:windows"))->findChildren<QLabel *>())
            captions << label->text();
        EXPECT_EQ(captions.join(QLatin1Char('|')).contains(QStringLiteral("sudo apt install qemu-efi-aarch64")), !missing.isEmpty())
            << captions.join(QLatin1Char('|')).toStdString();
        EXPECT_FALSE(captions.join(QLatin1Char('|')).contains(QStringLiteral("swtpm")));
    }
}

TEST_F(CreateVMWizardViewTest, TheRosettaSwitchIsOffAndUnavailableHere)
{
    auto wizard = makeWizard();
    wizard->setGuestOSType(VMGuestOSType::linux);
    auto sheet = open(wizard);
    wizard->goToNextStep();
    QCheckBox *rosetta = child<QCheckBox>(*sheet, QStringLiteral("linux.rosetta"));
    EXPECT_FALSE(rosetta->isEnabled());
    rosetta->click();
    EXPECT_FALSE(rosetta->isChecked());
    EXPECT_FALSE(wizard->linuxUseRosetta());
    EXPECT_TRUE(child<QLabel>(*sheet, QStringLiteral("linux.rosettaNote"))->text().startsWith(QStringLiteral("Not available on this computer")));
}

TEST_F(CreateVMWizardViewTest, AnImageDroppedOnTheWindowsStepIsTakenAndChecked)
{
    auto wizard = makeWizard();
    wizard->setGuestOSType(VMGuestOSType::windows);
    auto sheet = open(wizard);
    wizard->goToNextStep();
    QWidget *step = child(*sheet, QStringLiteral("wizard.windowsSourceStep"));
    const QString iso = writeISO(QStringLiteral("Win11_ARM64.iso"));

    const auto drop = [&](const QList<QUrl> &urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(step, &enter);
        QDropEvent dropped(QPointF(20, 20), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(step, &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    };
    // Several files, or anything not on this computer, are not taken.
    EXPECT_FALSE(drop({QUrl::fromLocalFile(iso), QUrl::fromLocalFile(iso)}));
    EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.com/Win11.iso"))}));
    EXPECT_FALSE(wizard->windowsISOURL());

    EXPECT_TRUE(drop({QUrl::fromLocalFile(iso)}));
    EXPECT_TRUE(waitUntil([&] { return wizard->windowsISOValidation().has_value(); }));
    EXPECT_EQ(wizard->windowsISOURL(), iso);
    EXPECT_EQ(wizard->windowsSourceMode(), CreateVMWizardViewModel::WindowsSourceMode::local);
    EXPECT_TRUE(shown(*sheet, QStringLiteral("windows.localContent")));
}

TEST(InstallProgressViewTest, DownloadLinesOnlyInADownloadAndOneCancelPerClick)
{
    InstallProgressView view;
    view.show();
    VMInstallProgress progress = VMInstallProgress::step(Stage::installingMacOS, 0.5, QStringLiteral("Installing"));
    progress.downloadedBytes = 10;
    view.setProgress(progress, false);
    EXPECT_EQ(view.findChild<QLabel *>(QStringLiteral("progress.title"))->text(), QStringLiteral("Installing macOS"));
    EXPECT_EQ(view.findChild<QLabel *>(QStringLiteral("progress.percent"))->text(), QStringLiteral("50%"));
    EXPECT_FALSE(view.findChild<QWidget *>(QStringLiteral("progress.download"))->isVisible());
    EXPECT_FALSE(view.findChild<QPushButton *>(QStringLiteral("progress.cancelDownload"))->isVisible());
    progress.stage = Stage::downloadingLinuxISO;
    view.setProgress(progress, true);
    EXPECT_TRUE(view.findChild<QLabel *>(QStringLiteral("progress.bytes"))->isVisible());
    EXPECT_FALSE(view.findChild<QLabel *>(QStringLiteral("progress.eta"))->isVisible());
    QSignalSpy cancels(&view, &InstallProgressView::cancelDownloadRequested);
    view.findChild<QPushButton *>(QStringLiteral("progress.cancelDownload"))->click();
    EXPECT_EQ(cancels.size(), 1);
}

TEST(InstallSourceOptionRowTest, BadgeOnlyWhereRecommendedAndAMissingSourceSaysSo)
{
    RestoreImageInfo option{QStringLiteral("macOS <b>15</b>"), QStringLiteral("15.1"), QStringLiteral("24B83"), std::nullopt, std::nullopt,
                            RestoreImageInfo::DownloadState::availableRemotely};
    InstallSourceOptionRow first(option, true);
    InstallSourceOptionRow second(option, false);
    EXPECT_NE(first.findChild<QLabel *>(QStringLiteral("option.recommended")), nullptr);
    EXPECT_EQ(second.findChild<QLabel *>(QStringLiteral("option.recommended")), nullptr);
    EXPECT_EQ(first.findChild<QLabel *>(QStringLiteral("option.source"))->text(), QStringLiteral("Remote source unavailable"));
    EXPECT_EQ(first.findChild<QLabel *>(QStringLiteral("option.name"))->textFormat(), Qt::PlainText);
    EXPECT_EQ(first.findChild<QLabel *>(QStringLiteral("option.build"))->text(), QStringLiteral("Build 24B83"));
    option.sourceURL = QUrl(QStringLiteral("https://updates.example/24B83.ipsw"));
    EXPECT_EQ(InstallSourceOptionRow::sourceText(option), QStringLiteral("https://updates.example/24B83.ipsw"));
}

TEST(UUPImageBuilderSectionTest, ToolsAreFoundInAnyFolderInOrder)
{
    using Tool = UUPImageBuilderSection::RequiredTool;
    EXPECT_EQ(UUPImageBuilderSection::requiredTools([](const QString &) { return false; }),
              (QList<Tool>{{"aria2c"_q, false}, {"cabextract"_q, false}, {"wimlib-imagex"_q, false}, {"mkisofs"_q, false}}));
    const QSet<QString> present{QStringLiteral("/usr/sbin/mkisofs"), QStringLiteral("/usr/bin/aria2c"), QStringLiteral("/bin/aria2c")};
    EXPECT_EQ(UUPImageBuilderSection::requiredTools([&](const QString &path) { return present.contains(path); }),
              (QList<Tool>{{"aria2c"_q, true}, {"cabextract"_q, false}, {"wimlib-imagex"_q, false}, {"mkisofs"_q, true}}));
}

TEST(WizardDesktopTest, OnlyAnExecutableFileCountsAsAnInstalledTool)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString program = folder.filePath(QStringLiteral("aria2c"));
    const QString plain = folder.filePath(QStringLiteral("cabextract"));
    const QString directory = folder.filePath(QStringLiteral("mkisofs"));
    for (const QString &path : {program, plain}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
    }
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(QDir().mkdir(directory));
    const WizardDesktop desktop = WizardDesktop::system();
    EXPECT_TRUE(desktop.isProgram(program));
    EXPECT_FALSE(desktop.isProgram(plain));
    EXPECT_FALSE(desktop.isProgram(directory)) << "a folder is no program";
    EXPECT_FALSE(desktop.isProgram(folder.filePath(QStringLiteral("wimlib-imagex"))));
}

} // namespace
