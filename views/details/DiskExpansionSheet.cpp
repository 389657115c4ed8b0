// SPDX-License-Identifier: MIT
#include "DiskExpansionSheet.h"

#include "CapacityBar.h"
#include "ErrorBannerView.h"
#include "GuestDiskExpansionGuideView.h"
#include "LabGroupBox.h"
#include "LabPalette.h"
#include "LabPanel.h"
#include "SizeText.h"
#include "Symbols.h"
#include "TextStyle.h"
#include "VMDetailsViewModel.h"
#include "ViewCommand.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cmath>

using TextStyle::plain;
using TextStyle::secondary;

namespace {

// Taller than the design's 470 px: the desktop fonts here need the room for the button row.
constexpr int editingHeight = 560;
constexpr int completionHeight = 700;

QString wholeGB(double capacityGB)
{
    return SizeText::wholeGB(capacityGB);
}

quint64 diskSize(const VMDetailsViewModel &model)
{
    return model.bundle() ? model.bundle()->metadata.diskSizeBytes : 0;
}

/// A caption over a value, as the figures and the bar's ends show them.
QWidget *captioned(const QString &caption, QLabel *value, Qt::Alignment alignment)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    QLabel *label = secondary(caption);
    label->setFont(TextStyle::font(TextRole::caption, QFont::Medium));
    label->setAlignment(alignment);
    QFont bold = value->font();
    bold.setWeight(QFont::DemiBold);
    value->setFont(bold);
    value->setAlignment(alignment);
    layout->addWidget(label);
    layout->addWidget(value);
    return box;
}

QWidget *figure(const QString &caption, QLabel *value)
{
    auto *panel = new LabPanel(14);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(LabPanel::shadowMargins() + QMargins(12, 10, 12, 10));
    layout->addWidget(captioned(caption, value, Qt::AlignLeft));
    return panel;
}

} // namespace

DiskExpansionSheet::DiskExpansionSheet(VMDetailsViewModel &viewModel, QWidget *parent)
    : QDialog(parent)
    , m_viewModel(viewModel)
    , m_plan(diskSize(viewModel))
    , m_requestedGB(viewModel.bundle() ? m_plan.initialRequestGB() : 48.0)
{
    setObjectName(QStringLiteral("diskExpansion"));
    setWindowTitle(QStringLiteral("Increase Disk Capacity"));
    setWindowModality(Qt::WindowModal);
    resize(620, editingHeight);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    m_pages = new QStackedWidget;
    scroll->setWidget(m_pages);
    m_pages->addWidget(buildEditingPage());
    m_pages->addWidget(buildCompletionPage());

    connect(&m_viewModel, &VMDetailsViewModel::bundleChanged, this, &DiskExpansionSheet::refresh);
    connect(&m_viewModel, &VMDetailsViewModel::diskUsageChanged, this, &DiskExpansionSheet::refresh);
    refresh();
}

QWidget *DiskExpansionSheet::buildEditingPage()
{
    auto *editing = new QWidget;
    auto *column = new QVBoxLayout(editing);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);
    column->addWidget(TextStyle::label(QStringLiteral("Increase Disk Capacity"), TextRole::title2));
    column->addWidget(secondary(
        QStringLiteral("Drag the capacity bar to choose a larger virtual disk. Zovozu VM Lab will resize the VM disk automatically in the "
                       "background when you apply the change.")));
    m_banner = new ErrorBannerView;
    m_banner->setObjectName(QStringLiteral("diskExpansion.banner"));
    m_banner->hide();
    connect(m_banner, &ErrorBannerView::dismissed, this, [this] { setLocalError(std::nullopt); });
    column->addWidget(m_banner);
    column->addLayout(buildFacts());

    auto *target = new QVBoxLayout;
    target->setSpacing(10);
    addCapacityBar(*target);
    addSlider(*target);
    addFigures(*target);
    addCapacityField(*target);
    QLabel *automation
        = secondary(QStringLiteral("Zovozu VM Lab fully automates the VM disk resize. In many cases the guest will show the extra space on "
                                   "its own. If it still shows the old storage "
                                   "amount, use the built-in guide after the resize completes to make the guest claim the new space."));
    automation->setFont(TextStyle::font(TextRole::footnote));
    target->addWidget(automation);
    column->addLayout(target);
    column->addStretch(1);
    column->addLayout(buildButtons());
    return editing;
}

QLayout *DiskExpansionSheet::buildFacts()
{
    auto *facts = new QGridLayout;
    facts->setHorizontalSpacing(16);
    facts->setVerticalSpacing(12);
    m_currentCapacity = secondary({});
    m_currentCapacity->setObjectName(QStringLiteral("diskExpansion.currentCapacity"));
    m_hostSpace = secondary({});
    m_hostSpace->setObjectName(QStringLiteral("diskExpansion.hostSpace"));
    facts->addWidget(plain(QStringLiteral("Current Capacity")), 0, 0);
    facts->addWidget(m_currentCapacity, 0, 1);
    facts->addWidget(plain(QStringLiteral("Host Space Used")), 1, 0);
    facts->addWidget(m_hostSpace, 1, 1);
    facts->setColumnStretch(1, 1);
    return facts;
}

void DiskExpansionSheet::addCapacityBar(QVBoxLayout &target)
{
    QLabel *targetTitle = plain(QStringLiteral("Target Capacity"));
    QFont headline = targetTitle->font();
    headline.setWeight(QFont::DemiBold);
    targetTitle->setFont(headline);
    target.addWidget(targetTitle);
    m_bar = new CapacityBar;
    m_bar->setObjectName(QStringLiteral("diskExpansion.bar"));
    target.addWidget(m_bar);
    auto *ends = new QHBoxLayout;
    m_barCurrent = plain({});
    m_newCapacity = plain({});
    m_newCapacity->setObjectName(QStringLiteral("diskExpansion.newCapacity"));
    QPalette accent = m_newCapacity->palette();
    accent.setColor(QPalette::WindowText, LabPalette::accent(palette()));
    m_newCapacity->setPalette(accent);
    ends->addWidget(captioned(QStringLiteral("Current"), m_barCurrent, Qt::AlignLeft));
    ends->addStretch(1);
    ends->addWidget(captioned(QStringLiteral("New Capacity"), m_newCapacity, Qt::AlignRight));
    target.addLayout(ends);
}

void DiskExpansionSheet::addSlider(QVBoxLayout &target)
{
    m_slider = new QSlider(Qt::Horizontal);
    m_slider->setObjectName(QStringLiteral("diskExpansion.slider"));
    m_slider->setSingleStep(8);
    m_slider->setPageStep(8);
    applySliderRange();
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        if (!m_syncing)
            setRequestedCapacityGB(value);
    });
    target.addWidget(m_slider);
}

void DiskExpansionSheet::addFigures(QVBoxLayout &target)
{
    auto *figures = new QHBoxLayout;
    figures->setSpacing(12);
    m_figureCurrent = plain({});
    m_figureAdded = plain({});
    m_figureAdded->setObjectName(QStringLiteral("diskExpansion.added"));
    m_figureNew = plain({});
    figures->addWidget(figure(QStringLiteral("Current"), m_figureCurrent));
    figures->addWidget(figure(QStringLiteral("Add"), m_figureAdded));
    figures->addWidget(figure(QStringLiteral("New Size"), m_figureNew));
    figures->addStretch(1);
    target.addLayout(figures);
}

void DiskExpansionSheet::addCapacityField(QVBoxLayout &target)
{
    auto *fieldRow = new QHBoxLayout;
    fieldRow->setSpacing(12);
    m_field = new QSpinBox;
    m_field->setObjectName(QStringLiteral("diskExpansion.field"));
    // Typed values are kept as they are and clamped only through the plan.
    m_field->setRange(0, 1000000);
    m_field->setGroupSeparatorShown(true);
    m_field->setFixedWidth(96);
    m_field->setAccessibleName(QStringLiteral("Capacity"));
    connect(m_field, &QSpinBox::valueChanged, this, [this](int value) {
        if (!m_syncing)
            setRequestedCapacityGB(value);
    });
    // A typed figure outside the range is brought into it once typed, so the field never shows what the labels do not.
    connect(m_field, &QSpinBox::editingFinished, this, [this] { setRequestedCapacityGB(m_plan.typedCapacityGB(m_field->value())); });
    fieldRow->addWidget(m_field);
    fieldRow->addWidget(secondary(QStringLiteral("GB")));
    fieldRow->addStretch(1);
    m_range = secondary({});
    m_range->setObjectName(QStringLiteral("diskExpansion.range"));
    m_range->setWordWrap(false);
    fieldRow->addWidget(m_range);
    target.addLayout(fieldRow);
}

QLayout *DiskExpansionSheet::buildButtons()
{
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_cancel->setObjectName(QStringLiteral("diskExpansion.cancel"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_apply = new QPushButton(QStringLiteral("Increase Disk"));
    m_apply->setObjectName(QStringLiteral("diskExpansion.apply"));
    m_apply->setDefault(true);
    connect(m_apply, &QPushButton::clicked, this, [this] {
        ViewCommand::start(*this, applyExpansion(), [model = QPointer<VMDetailsViewModel>(&m_viewModel)](const QString &message) {
            if (model)
                model->setErrorMessage(message);
        });
    });
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_apply);
    return buttons;
}

QWidget *DiskExpansionSheet::buildCompletionPage()
{
    auto *completion = new QWidget;
    completion->setObjectName(QStringLiteral("diskExpansion.completion"));
    m_completion = new QVBoxLayout(completion);
    m_completion->setContentsMargins(24, 24, 24, 24);
    m_completion->setSpacing(18);
    return completion;
}

void DiskExpansionSheet::setRequestedCapacityGB(double capacityGB)
{
    m_requestedGB = capacityGB;
    refresh();
}

void DiskExpansionSheet::applySliderRange()
{
    // An empty range would pin the slider above its maximum: it then rests at the maximum, disabled.
    const int sliderMaximum = int(std::floor(m_plan.maximumCapacityGB()));
    m_syncing = true;
    m_slider->setRange(std::min(int(std::ceil(m_plan.minimumCapacityGB())), sliderMaximum), sliderMaximum);
    m_syncing = false;
}

void DiskExpansionSheet::followDiskSize()
{
    const DiskExpansionPlan plan(diskSize(m_viewModel));
    if (plan.currentCapacityGB() == m_plan.currentCapacityGB())
        return;
    m_plan = plan;
    // A target the disk has reached meanwhile is no target: start again from the new capacity.
    if (m_requestedGB < m_plan.minimumCapacityGB())
        m_requestedGB = m_plan.initialRequestGB();
    applySliderRange();
}

void DiskExpansionSheet::refresh()
{
    followDiskSize();
    const double normalized = m_plan.normalized(m_requestedGB);
    m_currentCapacity->setText(m_viewModel.virtualCapacityText());
    m_hostSpace->setText(m_viewModel.hostAllocationText());
    m_barCurrent->setText(m_viewModel.virtualCapacityText());
    m_newCapacity->setText(wholeGB(normalized));
    m_bar->setFractions(m_plan.barFraction(m_plan.currentCapacityGB()), m_plan.barFraction(normalized));
    m_figureCurrent->setText(wholeGB(m_plan.currentCapacityGB()));
    m_figureAdded->setText(wholeGB(m_plan.added(m_requestedGB)));
    m_figureNew->setText(wholeGB(normalized));
    m_range->setText(QStringLiteral("Range ") + QString::number(qint64(m_plan.minimumCapacityGB())) + QLatin1Char('-')
        + wholeGB(m_plan.maximumCapacityGB()));

    m_syncing = true;
    m_slider->setValue(int(std::lround(std::clamp(m_requestedGB, double(m_slider->minimum()), double(m_slider->maximum())))));
    if (m_field->value() != int(std::lround(m_requestedGB)))
        m_field->setValue(int(std::lround(std::clamp(m_requestedGB, 0.0, 1000000.0))));
    m_syncing = false;

    const bool adjustable = m_plan.isAdjustable() && !m_isApplying;
    m_slider->setEnabled(adjustable);
    m_field->setEnabled(adjustable);
    m_cancel->setEnabled(!m_isApplying);
    m_apply->setEnabled(!m_isApplying && m_plan.canApply(m_requestedGB));
}

void DiskExpansionSheet::setLocalError(const std::optional<QString> &message)
{
    m_banner->setMessage(message.value_or(QString()));
    m_banner->setVisible(message.has_value());
}

QCoro::Task<> DiskExpansionSheet::applyExpansion()
{
    if (m_isApplying)
        co_return;
    setLocalError(std::nullopt);
    m_viewModel.setErrorMessage(std::nullopt);
    const double normalized = m_plan.normalized(m_requestedGB);
    setRequestedCapacityGB(normalized);
    if (normalized < m_plan.minimumCapacityGB()) {
        setLocalError(QStringLiteral("Choose a capacity larger than the current disk size."));
        co_return;
    }
    const QPointer<DiskExpansionSheet> self(this);
    m_isApplying = true;
    refresh();
    co_await m_viewModel.expandDisk(normalized);
    if (!self)
        co_return;
    m_isApplying = false;
    refresh();
    if (m_viewModel.errorMessage())
        setLocalError(m_viewModel.errorMessage());
    else
        showCompletion(m_viewModel.virtualCapacityText());
}

void DiskExpansionSheet::showCompletion(const QString &capacitySummary)
{
    auto *heading = new QLabel;
    heading->setObjectName(QStringLiteral("diskExpansion.done"));
    auto *headingRow = new QHBoxLayout;
    auto *icon = new QLabel;
    const QColor green = LabPalette::isDark(palette()) ? QColor(48, 209, 88) : QColor(40, 167, 69);
    icon->setPixmap(Symbols::tinted(QStringLiteral("checkmark.circle.fill"), green, 24));
    heading->setTextFormat(Qt::PlainText);
    heading->setText(QStringLiteral("Disk Capacity Increased"));
    heading->setFont(TextStyle::font(TextRole::title2));
    QPalette tint = heading->palette();
    tint.setColor(QPalette::WindowText, green);
    heading->setPalette(tint);
    headingRow->addWidget(icon);
    headingRow->addWidget(heading, 1);
    m_completion->addLayout(headingRow);

    QLabel *summary = secondary(QStringLiteral("The VM disk is now ") + capacitySummary
        + QStringLiteral(". Zovozu VM Lab already completed the resize in the background. If the guest still shows the old storage "
                         "size, use the guide below to make it claim the new space."));
    summary->setObjectName(QStringLiteral("diskExpansion.summary"));
    m_completion->addWidget(summary);
    if (const std::optional<QString> &message = m_viewModel.lastDiskExpansionAutomationMessage()) {
        auto *claiming = new LabGroupBox(QStringLiteral("Automatic Claiming"));
        claiming->contentLayout()->addWidget(secondary(*message));
        m_completion->addWidget(claiming);
    }
    if (!m_viewModel.isWindowsGuest()) {
        const auto guest = m_viewModel.isLinuxGuest() ? VMGuestOSType::linux : VMGuestOSType::macOS;
        m_completion->addWidget(new GuestDiskExpansionGuideView(m_viewModel.displayTitle(), capacitySummary, guest));
    }
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *done = new QPushButton(QStringLiteral("Done"));
    done->setObjectName(QStringLiteral("diskExpansion.doneButton"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(done);
    m_completion->addLayout(buttons);
    m_pages->setCurrentIndex(1);
    resize(width(), completionHeight);
}
