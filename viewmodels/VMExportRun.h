// SPDX-License-Identifier: MIT
#pragma once

#include "VMExportConfiguration.h"
#include "VMExportFormat.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class FileChooser;
class VMBundleOperations;
class VMDetailsViewModel;
class VMExportService;
class VMStore;

/**
 * Exports the details pane's VM once the export sheet has been filled in:
 * asks for a folder ("Export Here"), checks that the VM is stopped and that
 * the folder is neither the library folder nor inside a VM bundle, asks
 * before an item of the result's name is replaced, and exports through the
 * bundle operations, which hold the VM's lease while the copy runs.
 *
 * While it runs, statusText() and progressFraction() follow the export
 * service's phase and fraction; the message of an earlier action is cleared
 * as the export begins, since the pane's banner belongs to the last one. How
 * it ended (where the result lies, a refusal or a failure) goes to the
 * details view model's errorMessage, which the pane shows in its banner. A
 * second run while one is under way is ignored. GUI thread only.
 */
class VMExportRun final : public QObject
{
    Q_OBJECT

public:
    struct Services {
        VMBundleOperations &operations;
        VMExportService &exports;
        const VMStore &store;
        FileChooser &chooser;
    };
    /// Asks whether the item at the path may be replaced; true replaces it.
    using ReplaceConfirmation = std::function<QCoro::Task<bool>(QString path)>;

    VMExportRun(VMDetailsViewModel &details, Services services, ReplaceConfirmation confirmReplace, QObject *parent = nullptr);

    /// The question asked before an existing item is replaced; the pane that shows the run supplies it.
    void setReplaceConfirmation(ReplaceConfirmation confirmReplace) { m_confirmReplace = std::move(confirmReplace); }

    QCoro::Task<> run(VMExportFormat format, VMExportConfiguration configuration);

    bool isRunning() const { return m_isRunning; }
    /// The pane's line on a running export: how far it has come; none when no export runs.
    const std::optional<QString> &statusText() const { return m_statusText; }
    /// How much of the running phase is done, 0 to 1; none while it is not known (announced with statusTextChanged).
    const std::optional<double> &progressFraction() const { return m_progressFraction; }

    /// Why `folder` may not receive an export; none when it may.
    std::optional<QString> destinationRefusal(const QString &folder) const;

Q_SIGNALS:
    void isRunningChanged();
    void statusTextChanged();

private:
    void setRunning(bool running);
    void setStatusText(const std::optional<QString> &text, std::optional<double> fraction = std::nullopt);
    void followProgress();

    QPointer<VMDetailsViewModel> m_details;
    VMBundleOperations &m_operations;
    VMExportService &m_exports;
    const VMStore &m_store;
    FileChooser &m_chooser;
    ReplaceConfirmation m_confirmReplace;
    bool m_isRunning = false;
    std::optional<QString> m_statusText;
    std::optional<double> m_progressFraction;
};
