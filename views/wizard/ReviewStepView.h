// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QPair>
#include <QWidget>

class CreateVMWizardViewModel;
class InstallProgressView;
class QGridLayout;
class QLabel;

/**
 * The wizard's last page: one labelled line per choice, then either what
 * Create will do or, once creation has started, its progress with the
 * download's cancel. Children: "review.rows" (labels "review.label:<label>",
 * values "review.value:<label>"), "review.note", "installProgress".
 */
class ReviewStepView final : public QWidget
{
    Q_OBJECT

public:
    explicit ReviewStepView(CreateVMWizardViewModel &wizard, QWidget *parent = nullptr);

    void refresh();

private:
    CreateVMWizardViewModel &m_wizard;
    QWidget *m_rowsBox;
    QGridLayout *m_rows;
    QList<QPair<QString, QString>> m_shownRows;
    QLabel *m_note;
    InstallProgressView *m_progress;
};
