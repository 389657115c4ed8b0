// SPDX-License-Identifier: MIT
#include "WizardFooterView.h"

#include "CreateVMWizardViewModel.h"
#include "InstallProgressTexts.h"
#include "TextStyle.h"
#include "WizardWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

using Step = CreateVMWizardViewModel::Step;

WizardFooterView::WizardFooterView(CreateVMWizardViewModel &wizard, QWidget *parent)
    : QWidget(parent)
    , m_wizard(wizard)
    , m_cancel(WizardWidgets::button(tr("Cancel"), QString(), QStringLiteral("footer.cancel")))
    , m_creatingHint(TextStyle::label(QString(), TextRole::callout, true))
    , m_blockReason(TextStyle::label(QString(), TextRole::callout, true))
    , m_back(WizardWidgets::button(tr("Back"), QString(), QStringLiteral("footer.back")))
    , m_next(WizardWidgets::button(tr("Next"), QString(), QStringLiteral("footer.next")))
    , m_create(WizardWidgets::button(tr("Create"), QString(), QStringLiteral("footer.create")))
    , m_done(WizardWidgets::button(tr("Done"), QString(), QStringLiteral("footer.done")))
{
    setObjectName(QStringLiteral("wizard.footer"));
    m_creatingHint->setObjectName(QStringLiteral("footer.creatingHint"));
    m_blockReason->setObjectName(QStringLiteral("footer.blockReason"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(20, 20, 20, 20);
    row->addWidget(m_cancel);
    row->addWidget(m_creatingHint, 3);
    row->addWidget(m_blockReason, 3);
    row->addStretch(1);
    row->addWidget(m_back);
    row->addWidget(m_next);
    row->addWidget(m_create);
    row->addWidget(m_done);
    for (QPushButton *button : {m_next, m_create, m_done})
        button->setMinimumWidth(90);

    connect(m_cancel, &QPushButton::clicked, this, &WizardFooterView::dismissRequested);
    connect(m_done, &QPushButton::clicked, this, &WizardFooterView::dismissRequested);
    connect(m_back, &QPushButton::clicked, this, [this] { m_wizard.goToPreviousStep(); });
    // Return reaches a disabled default button too; the wizard's own checks decide.
    connect(m_next, &QPushButton::clicked, this, [this] {
        if (m_wizard.canAdvance() && !m_wizard.isCreating())
            m_wizard.goToNextStep();
    });
    connect(m_create, &QPushButton::clicked, this, [this] {
        if (m_wizard.canAdvance() && !m_wizard.isCreating())
            submitCreate(m_wizard);
    });
    refresh();
}

void WizardFooterView::submitCreate(CreateVMWizardViewModel &wizard)
{
    switch (wizard.guestOSType()) {
    case VMGuestOSType::macOS:
        wizard.createMacOSVM();
        return;
    case VMGuestOSType::linux:
        wizard.createLinuxVM();
        return;
    case VMGuestOSType::windows:
        wizard.createWindowsVM();
        return;
    }
}

void WizardFooterView::refresh()
{
    const bool finished = m_wizard.didFinishSuccessfully();
    const bool creating = m_wizard.isCreating();
    const Step step = m_wizard.currentStep();
    const bool onReview = step == Step::review;

    WizardWidgets::setShown(*m_done, finished);
    WizardWidgets::setShown(*m_cancel, !finished);
    WizardWidgets::setShown(*m_back, !finished && step != Step::general);
    WizardWidgets::setShown(*m_next, !finished && !onReview);
    WizardWidgets::setShown(*m_create, !finished && onReview);
    m_cancel->setEnabled(!creating);
    m_back->setEnabled(!creating);
    const std::optional<QString> blocked = m_wizard.advanceBlockReason();
    const bool advance = !blocked && !creating;
    m_next->setEnabled(advance);
    m_create->setEnabled(advance);
    const bool showReason = blocked && !creating && !finished;
    m_blockReason->setText(showReason ? *blocked : QString());
    WizardWidgets::setShown(*m_blockReason, showReason);
    for (QPushButton *button : {m_next, m_create})
        button->setToolTip(showReason ? *blocked : QString());

    // Exactly one default button: the one the footer shows for going on.
    QPushButton *defaultButton = finished ? m_done : onReview ? m_create : m_next;
    for (QPushButton *button : {m_next, m_create, m_done})
        button->setDefault(button == defaultButton);

    QString hint;
    if (creating) {
        hint = !m_wizard.canCancelCreation() ? tr("Creating the VM. The wizard stays open until it ends.")
            : InstallProgressTexts::isDownloadStage(m_wizard.installProgress().stage)
            ? tr("Creating the VM. The wizard stays open until it ends; use Cancel Download to stop the download.")
            : tr("Creating the VM. The wizard stays open until it ends; use Cancel to stop copying the ISO.");
    }
    m_creatingHint->setText(hint);
    WizardWidgets::setShown(*m_creatingHint, creating);
}
