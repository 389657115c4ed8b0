// SPDX-License-Identifier: MIT
#pragma once

#include "LabPanel.h"
#include "VMInstallProgress.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

/**
 * How far the creation of a new VM has come: the stage's title, a progress
 * bar, the detail line with a percentage, and during a download its bytes,
 * speed and time left, with a cancel button when the owner offers one
 * ("Cancel Download" during a download, else "Cancel").
 * Shows what setProgress() gives; its one action is cancelDownloadRequested().
 * Children: "progress.title", "progress.bar", "progress.detail",
 * "progress.percent", "progress.bytes", "progress.eta", "progress.cancelDownload".
 */
class InstallProgressView final : public LabPanel
{
    Q_OBJECT

public:
    explicit InstallProgressView(QWidget *parent = nullptr);

    void setProgress(const VMInstallProgress &progress, bool isCancelable);

Q_SIGNALS:
    void cancelDownloadRequested();

private:
    QLabel *m_title;
    QProgressBar *m_bar;
    QLabel *m_detail;
    QLabel *m_percent;
    QWidget *m_downloadLines;
    QLabel *m_bytes;
    QLabel *m_eta;
    QPushButton *m_cancel;
};
