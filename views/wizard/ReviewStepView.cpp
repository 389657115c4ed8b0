// SPDX-License-Identifier: MIT
#include "ReviewStepView.h"

#include "CreateVMWizardViewModel.h"
#include "InstallProgressView.h"
#include "LabGroupBox.h"
#include "Layouts.h"
#include "TextStyle.h"
#include "WizardTexts.h"
#include "WizardWidgets.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
constexpr int labelWidth = 130;
}

ReviewStepView::ReviewStepView(CreateVMWizardViewModel &wizard, QWidget *parent)
    : QWidget(parent)
    , m_wizard(wizard)
    , m_rowsBox(new QWidget)
    , m_rows(new QGridLayout(m_rowsBox))
    , m_note(TextStyle::label(QString(), TextRole::body, true))
    , m_progress(new InstallProgressView)
{
    setObjectName(QStringLiteral("wizard.reviewStep"));
    m_rowsBox->setObjectName(QStringLiteral("review.rows"));
    m_note->setObjectName(QStringLiteral("review.note"));
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setVerticalSpacing(12);
    m_rows->setHorizontalSpacing(12);
    m_rows->setColumnMinimumWidth(0, labelWidth);
    m_rows->setColumnStretch(1, 1);

    auto *group = new LabGroupBox(tr("Review"));
    group->contentLayout()->addWidget(m_rowsBox);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);
    column->addWidget(group);
    column->addWidget(m_note);
    column->addWidget(m_progress);
    connect(m_progress, &InstallProgressView::cancelDownloadRequested, this, [this] { m_wizard.cancelCreation(); });
    refresh();
}

void ReviewStepView::refresh()
{
    const QList<QPair<QString, QString>> rows = WizardTexts::reviewRows(m_wizard);
    if (rows != m_shownRows) {
        m_shownRows = rows;
        Layouts::clear(*m_rows);
        for (qsizetype index = 0; index < rows.size(); ++index) {
            QLabel *label = TextStyle::label(rows[index].first, TextRole::body);
            QFont medium = label->font();
            medium.setWeight(QFont::Medium);
            label->setFont(medium);
            label->setFixedWidth(labelWidth);
            label->setObjectName(QStringLiteral("review.label:") + rows[index].first);
            QLabel *value = TextStyle::label(rows[index].second, TextRole::body, true);
            value->setObjectName(QStringLiteral("review.value:") + rows[index].first);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
            m_rows->addWidget(label, int(index), 0, Qt::AlignTop | Qt::AlignLeft);
            m_rows->addWidget(value, int(index), 1, Qt::AlignTop);
        }
    }
    const bool showsProgress = m_wizard.isCreating() || m_wizard.didFinishSuccessfully();
    m_note->setText(WizardTexts::reviewNote(m_wizard.guestOSType(), m_wizard.missingWindowsHostPackages()));
    WizardWidgets::setShown(*m_note, !showsProgress);
    WizardWidgets::setShown(*m_progress, showsProgress);
    const VMInstallProgress &progress = m_wizard.installProgress();
    m_progress->setProgress(progress, m_wizard.canCancelCreation());
}
