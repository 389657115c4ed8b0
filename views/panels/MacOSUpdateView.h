// SPDX-License-Identifier: MIT
#pragma once

#include "GuestUpdatePresentation.h"
#include "LabPanel.h"
#include "VMMacOSUpdateStrategy.h"

class QButtonGroup;
class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

/**
 * The guest update panel ("macOS Updates" or "Guest Updates"): "Check for
 * Updates", then the result of the last check: up to date, a newer version
 * with a choice of strategy and "Prepare Update", or "Could not check" with
 * the reason. The owner passes the result, the check's failure, whether a
 * check runs, the guest type (the panel hides itself for Windows guests,
 * which have nothing to check against), and whether a snapshot of the VM is
 * being taken or the VM runs; "Prepare Update" is disabled in either case.
 * The chosen strategy lives as long as the panel, starting at "Snapshot +
 * Update". Children: "updates.check", "updates.checking", "updates.invitation",
 * "updates.statusTitle", "updates.current", "updates.available",
 * "updates.downloadSize", "updates.failure", "updates.linuxExplanation",
 * "strategy:<raw>", "updates.prepare".
 */
class MacOSUpdateView final : public LabPanel
{
    Q_OBJECT

public:
    explicit MacOSUpdateView(QWidget *parent = nullptr);

    void setUpdateInfo(const std::optional<VMMacOSUpdateInfo> &info);
    void setCheckFailure(const std::optional<QString> &failure);
    void setChecking(bool checking);
    /// None when the view model holds no bundle (shown as a macOS panel).
    void setGuestOSType(std::optional<VMGuestOSType> guestOSType);
    void setSnapshotOperationRunning(bool running);
    void setVMRunning(bool running);

    VMMacOSUpdateStrategy selectedStrategy() const { return m_strategy; }

protected:
    /// Symbols are painted in the appearance's colours: they are drawn again when it changes.
    void changeEvent(QEvent *event) override;

Q_SIGNALS:
    void checkRequested();
    void prepareRequested(VMMacOSUpdateStrategy strategy);

private:
    bool isLinux() const { return m_guestOSType == VMGuestOSType::linux; }
    /// The body in steps: the invitation before any check, else the status line, then the strategy choice when an update waits.
    void rebuildBody();
    void addInvitation();
    void addStatusLine(GuestUpdatePresentation::Status status);
    QLabel *statusSymbol(GuestUpdatePresentation::Status status) const;
    /// The status title and what the check found: the failure's reason, or the current and available versions.
    QVBoxLayout *statusTexts(GuestUpdatePresentation::Status status) const;
    void addStrategyChoice();
    void updatePrepare();
    QWidget *strategyRow(VMMacOSUpdateStrategy strategy);

    std::optional<VMMacOSUpdateInfo> m_info;
    std::optional<QString> m_failure;
    std::optional<VMGuestOSType> m_guestOSType;
    bool m_checking = false;
    bool m_snapshotRunning = false;
    bool m_vmRunning = false;
    VMMacOSUpdateStrategy m_strategy = VMMacOSUpdateStrategy::snapshotThenUpdate;

    QLabel *m_title;
    QPushButton *m_check;
    QProgressBar *m_checkingIndicator;
    QWidget *m_body;
    QVBoxLayout *m_bodyLayout;
    QButtonGroup *m_strategies = nullptr;
    QPushButton *m_prepare = nullptr;
    /// Whether the symbols were last painted for a dark appearance.
    bool m_dark = false;
};
