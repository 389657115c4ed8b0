// SPDX-License-Identifier: MIT
#pragma once

#include "LabPanel.h"

#include <memory>

class CIRunnerViewModel;
class QLabel;
class QPushButton;
class QVBoxLayout;
struct VMCIRunConfiguration;
struct VMCIRunResult;

/**
 * The CI panel of a VM's pane: the header with the active run's status and
 * "New Configuration", one row per configuration (Run, delete), an empty
 * state without any, and the ten newest runs. It shows its view model and
 * follows it as the CI service changes; the create sheet is a window-modal
 * CIConfigurationDialog. Refusals and failures come out of failed() for the
 * pane's banner.
 *
 * Children: "ci.activeStatus" (its text "ci.activeStatus.text"),
 * "ci.newConfiguration", "ci.empty", rows "ci.configuration" holding
 * "ci.configuration.name", "ci.configuration.timeout", "ci.configuration.run",
 * "ci.configuration.delete"; "ci.runHistory" with rows "ci.run" holding
 * "ci.run.symbol", "ci.run.status", "ci.run.duration", "ci.run.exit",
 * "ci.run.started".
 */
class CIRunnerView : public LabPanel
{
    Q_OBJECT

public:
    explicit CIRunnerView(std::unique_ptr<CIRunnerViewModel> viewModel, QWidget *parent = nullptr);
    ~CIRunnerView() override;

    CIRunnerViewModel &viewModel() const { return *m_viewModel; }

Q_SIGNALS:
    /// An action was refused or failed; `message` is for the pane's banner.
    void failed(const QString &message);

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    QWidget *configurationRow(const VMCIRunConfiguration &configuration) const;
    QWidget *runRow(const VMCIRunResult &run) const;
    void openCreateSheet();

    std::unique_ptr<CIRunnerViewModel> m_viewModel;
    QWidget *m_activeStatus = nullptr;
    QWidget *m_header;
    QPushButton *m_newConfiguration;
    QWidget *m_empty;
    QVBoxLayout *m_configurationRows;
    QWidget *m_runHistory;
    QVBoxLayout *m_runRows;
};
