// SPDX-License-Identifier: MIT
#include "CreateVMWizardView.h"

#include "ErrorBannerView.h"
#include "FirstBootEditorView.h"
#include "GeneralStepView.h"
#include "LinuxSourceStepView.h"
#include "MacOSSourceStepView.h"
#include "ReviewStepView.h"
#include "SharedFoldersEditorView.h"
#include "ViewCommand.h"
#include "WindowsSourceStepView.h"
#include "WizardFooterView.h"
#include "WizardHeaderView.h"
#include "WizardTexts.h"
#include "WizardWidgets.h"

#include <QCloseEvent>
#include <QFrame>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

using Step = CreateVMWizardViewModel::Step;

CreateVMWizardView::CreateVMWizardView(std::shared_ptr<CreateVMWizardViewModel> wizard, WizardDesktop desktop, QWidget *parent)
    : QDialog(parent)
    , m_wizard(std::move(wizard))
    , m_header(new WizardHeaderView)
    , m_scroll(new QScrollArea)
    , m_banner(new ErrorBannerView)
    , m_general(new GeneralStepView(*m_wizard))
    , m_macOSSource(new MacOSSourceStepView(*m_wizard))
    , m_linuxSource(new LinuxSourceStepView(*m_wizard))
    , m_windowsSource(new WindowsSourceStepView(*m_wizard, std::move(desktop)))
    , m_review(new ReviewStepView(*m_wizard))
    , m_footer(new WizardFooterView(*m_wizard))
    , m_shownStep(m_wizard->currentStep())
{
    setObjectName(QStringLiteral("createWizard"));
    setWindowTitle(tr("Create VM"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(820, 640);
    resize(900, 760);
    m_banner->setObjectName(QStringLiteral("wizard.banner"));
    layOut();
    connectSheet();
    refresh();
}

CreateVMWizardView::~CreateVMWizardView() = default;

QWidget *CreateVMWizardView::makeContent()
{
    m_pages = {
        {Step::general, m_general},
        {Step::macOSSource, m_macOSSource},
        {Step::linuxSource, m_linuxSource},
        {Step::windowsSource, m_windowsSource},
        {Step::sharedFolders, makeSharedFoldersPage()},
        {Step::firstBoot, makeFirstBootPage()},
        {Step::review, m_review},
    };

    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("wizard.content"));
    auto *contentColumn = new QVBoxLayout(content);
    contentColumn->setContentsMargins(24, 24, 24, 24);
    contentColumn->setSpacing(24);
    contentColumn->addWidget(m_banner);
    // Only the current page is shown, so the scrolled height is that page's own.
    auto *pages = new QVBoxLayout;
    pages->setSpacing(0);
    for (const Step step :
        {Step::general, Step::macOSSource, Step::linuxSource, Step::windowsSource, Step::sharedFolders, Step::firstBoot, Step::review}) {
        m_pages[step]->setVisible(false);
        pages->addWidget(m_pages[step]);
    }
    contentColumn->addLayout(pages);
    contentColumn->addStretch(1);
    return content;
}

void CreateVMWizardView::layOut()
{
    m_scroll->setObjectName(QStringLiteral("wizard.scroll"));
    m_scroll->setWidget(makeContent());
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_header);
    column->addWidget(WizardWidgets::divider());
    column->addWidget(m_scroll, 1);
    column->addWidget(WizardWidgets::divider());
    column->addWidget(m_footer);
}

void CreateVMWizardView::connectSheet()
{
    connect(m_banner, &ErrorBannerView::dismissed, this, [this] {
        // The message is the view model's: the banner only asks for it to go.
        m_wizard->clearErrorMessage();
    });
    connect(m_footer, &WizardFooterView::dismissRequested, this, [this] {
        if (m_wizard->didFinishSuccessfully())
            accept();
        else
            reject();
    });
    connect(m_wizard.get(), &CreateVMWizardViewModel::changed, this, &CreateVMWizardView::refresh);
}

QWidget *CreateVMWizardView::makeSharedFoldersPage()
{
    m_sharedFolders = new SharedFoldersEditorView;
    m_sharedFolders->setObjectName(QStringLiteral("wizard.sharedFoldersStep"));
    connect(m_sharedFolders, &SharedFoldersEditorView::addFolderRequested, this,
        [this] { ViewCommand::start(*this, m_wizard->addSharedFolders(), m_wizard->failureReport()); });
    connect(m_sharedFolders, &SharedFoldersEditorView::removeRequested, this,
        [this](const QList<QUuid> &folderIDs) { m_wizard->removeSharedFolders(folderIDs); });
    connect(m_sharedFolders, &SharedFoldersEditorView::readOnlyChangeRequested, this,
        [this](const QUuid &id, bool readOnly) { m_wizard->setSharedFolderReadOnly(id, readOnly); });
    return m_sharedFolders;
}

QWidget *CreateVMWizardView::makeFirstBootPage()
{
    m_firstBoot = new FirstBootEditorView;
    m_firstBoot->setObjectName(QStringLiteral("wizard.firstBootStep"));
    connect(
        m_firstBoot, &FirstBootEditorView::enabledChangeRequested, this, [this](bool enabled) { m_wizard->setFirstBootEnabled(enabled); });
    connect(m_firstBoot, &FirstBootEditorView::notesEdited, this, [this](const QString &notes) { m_wizard->setFirstBootNotes(notes); });
    connect(m_firstBoot, &FirstBootEditorView::chooseScriptRequested, this,
        [this] { ViewCommand::start(*this, m_wizard->chooseFirstBootScript(), m_wizard->failureReport()); });
    connect(m_firstBoot, &FirstBootEditorView::addFilesRequested, this,
        [this] { ViewCommand::start(*this, m_wizard->addFirstBootAdditionalFiles(), m_wizard->failureReport()); });
    connect(m_firstBoot, &FirstBootEditorView::removeFilesRequested, this,
        [this](const QStringList &paths) { m_wizard->removeFirstBootAdditionalFiles(paths); });
    return m_firstBoot;
}

void CreateVMWizardView::refresh()
{
    const CreateVMWizardViewModel &wizard = *m_wizard;
    m_header->setGuest(wizard.guestOSType());
    QStringList titles;
    const QList<Step> steps = wizard.visibleSteps();
    for (const Step step : steps)
        titles << WizardTexts::stepTitle(step);
    m_header->setSteps(titles, steps.indexOf(wizard.currentStep()));

    const std::optional<QString> &error = wizard.errorMessage();
    if (error && m_banner->message() != *error)
        m_banner->setMessage(*error);
    m_banner->setVisible(error.has_value());

    const Step step = wizard.currentStep();
    if (step != m_shownStep || !m_pages[step]->isVisibleTo(this)) {
        for (const auto &[pageStep, page] : m_pages)
            page->setVisible(pageStep == step);
        if (step != m_shownStep)
            m_scroll->verticalScrollBar()->setValue(0);
        m_shownStep = step;
    }
    switch (step) {
    case Step::general:
        m_general->refresh();
        break;
    case Step::macOSSource:
        m_macOSSource->refresh();
        break;
    case Step::linuxSource:
        m_linuxSource->refresh();
        break;
    case Step::windowsSource:
        m_windowsSource->refresh();
        break;
    case Step::sharedFolders:
        m_sharedFolders->setFolders(wizard.sharedFolders());
        break;
    case Step::firstBoot:
        m_firstBoot->setValues(
            {wizard.firstBootEnabled(), wizard.firstBootScriptURL(), wizard.firstBootAdditionalFiles(), wizard.firstBootNotes()});
        break;
    case Step::review:
        m_review->refresh();
        break;
    }
    m_footer->refresh();
    keepReturnForTheFooter();
    loadRestoreImagesIfMacOS();
}

void CreateVMWizardView::keepReturnForTheFooter()
{
    // A dialog makes every push button take Return once it has the focus (the banner's Dismiss, the editors' buttons):
    // only the footer's default button may.
    for (QPushButton *button : findChildren<QPushButton *>())
        if (button->autoDefault())
            button->setAutoDefault(false);
}

void CreateVMWizardView::loadRestoreImagesIfMacOS()
{
    // The catalog is fetched once per wizard, and only for a macOS guest: other guests never see its failures.
    if (!m_wasShown || m_requestedRestoreImages || m_wizard->guestOSType() != VMGuestOSType::macOS)
        return;
    m_requestedRestoreImages = true;
    ViewCommand::start(*this, m_wizard->loadAutomaticRestoreImagesIfNeeded(), m_wizard->failureReport());
}

void CreateVMWizardView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    keepReturnForTheFooter();
    // Buttons become the dialog's default only once they are inside it.
    m_footer->refresh();
    if (m_wasShown)
        return;
    m_wasShown = true;
    if (m_wizard->bridgedInterfaceOptions().isEmpty())
        m_wizard->refreshBridgedInterfaces();
    loadRestoreImagesIfMacOS();
}

void CreateVMWizardView::reject()
{
    // A running creation keeps the sheet open: its progress and outcome are only shown here.
    if (m_wizard->isCreating())
        return;
    QDialog::reject();
}

void CreateVMWizardView::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // Marks and symbols are tinted pixmaps: draw them again in the new appearance.
    if (event->type() == QEvent::PaletteChange)
        refresh();
}

void CreateVMWizardView::closeEvent(QCloseEvent *event)
{
    if (m_wizard->isCreating()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
