// SPDX-License-Identifier: MIT
#pragma once

#include "DiskExpansionPlan.h"

#include <QCoroTask>
#include <QDialog>

#include <optional>

class CapacityBar;
class ErrorBannerView;
class QLabel;
class QLayout;
class QPushButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QVBoxLayout;
class VMDetailsViewModel;

/**
 * The sheet in which the user grows a VM's disk: the current capacity and
 * host use, a target chosen with a slider or a number (clamped into the
 * plan's range and rounded to 8 GB), and "Increase Disk", which grows the
 * disk through the details view model and then shows the new capacity, what
 * the guest was asked to do and, for macOS and Linux guests, the guide to
 * claiming the space. A disk too large to grow shows its range disabled.
 * The range follows the VM's disk while the sheet is open: grown elsewhere,
 * it starts from the new capacity.
 */
class DiskExpansionSheet final : public QDialog
{
    Q_OBJECT

public:
    explicit DiskExpansionSheet(VMDetailsViewModel &viewModel, QWidget *parent = nullptr);

    double requestedCapacityGB() const { return m_requestedGB; }
    void setRequestedCapacityGB(double capacityGB);
    const DiskExpansionPlan &plan() const { return m_plan; }
    QCoro::Task<> applyExpansion();

private:
    QWidget *buildEditingPage();
    QLayout *buildFacts();
    void addCapacityBar(QVBoxLayout &target);
    void addSlider(QVBoxLayout &target);
    void addFigures(QVBoxLayout &target);
    void addCapacityField(QVBoxLayout &target);
    QLayout *buildButtons();
    QWidget *buildCompletionPage();
    void refresh();
    /// Takes the plan of the VM's disk as it is now, when its capacity has changed.
    void followDiskSize();
    void applySliderRange();
    void showCompletion(const QString &capacitySummary);
    void setLocalError(const std::optional<QString> &message);

    VMDetailsViewModel &m_viewModel;
    DiskExpansionPlan m_plan;
    double m_requestedGB;
    bool m_isApplying = false;
    bool m_syncing = false;

    QStackedWidget *m_pages;
    ErrorBannerView *m_banner;
    QLabel *m_currentCapacity;
    QLabel *m_hostSpace;
    CapacityBar *m_bar;
    QLabel *m_barCurrent;
    QLabel *m_newCapacity;
    QSlider *m_slider;
    QLabel *m_figureCurrent;
    QLabel *m_figureAdded;
    QLabel *m_figureNew;
    QSpinBox *m_field;
    QLabel *m_range;
    QPushButton *m_cancel;
    QPushButton *m_apply;
    QVBoxLayout *m_completion;
};
