// SPDX-License-Identifier: MIT
#include "VMSettingsSheet.h"

#include "ErrorBannerView.h"
#include "LabGroupBox.h"
#include "RawValueEnum.h"
#include "SharedFoldersEditorView.h"
#include "TextStyle.h"
#include "VMDetailsViewModel.h"
#include "VMSettingsForm.h"
#include "ViewCommand.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

/// A caption over a 100-pixel field, as the custom width and height show.
QWidget *captionedField(const QString &caption, QLineEdit *field)
{
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(TextStyle::label(caption, TextRole::caption, true));
    field->setFixedWidth(100);
    layout->addWidget(field);
    return column;
}

/// A headline on the left and a secondary value on the right.
QHBoxLayout *valueRow(const QString &title, QLabel *value)
{
    auto *row = new QHBoxLayout;
    row->addWidget(TextStyle::label(title, TextRole::headline));
    row->addStretch();
    TextStyle::apply(*value, TextRole::body, true);
    value->setTextFormat(Qt::PlainText);
    row->addWidget(value);
    return row;
}

int clampedToInt(qint64 value)
{
    return int(std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

VMSettingsSheet::VMSettingsSheet(VMDetailsViewModel &details, FileChooser &chooser, QWidget *parent)
    : QDialog(parent)
    , m_form(new VMSettingsForm(details, chooser, this))
{
    setObjectName(QStringLiteral("settingsSheet"));
    // Two VMs may look alike in the list; the sheet says whose settings these are.
    setWindowTitle(tr("VM Settings: %1").arg(m_form->vmName()));
    setWindowModality(Qt::WindowModal);
    setFixedSize(620, 720);

    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("settings.content"));
    auto *stack = new QVBoxLayout(content);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(20);
    auto *heading = new QVBoxLayout;
    heading->setSpacing(4);
    heading->addWidget(TextStyle::label(tr("VM Settings"), TextRole::title2));
    QLabel *vmName = TextStyle::label(m_form->vmName(), TextRole::title3, true);
    vmName->setObjectName(QStringLiteral("settings.vmName"));
    heading->addWidget(vmName);
    stack->addLayout(heading);
    stack->addWidget(TextStyle::label(
        tr("These changes are applied to the VM bundle while the VM is stopped. They take effect the next time the VM starts."),
        TextRole::body, true));
    m_banner = new ErrorBannerView;
    m_banner->setObjectName(QStringLiteral("settings.banner"));
    m_banner->hide();
    connect(m_banner, &ErrorBannerView::dismissed, m_form, &VMSettingsForm::dismissLocalErrorMessage);
    stack->addWidget(m_banner);
    stack->addWidget(makeHardwareGroup());
    stack->addWidget(makeDisplayGroup());
    stack->addWidget(makeAudioGroup());
    stack->addWidget(makeSharedFoldersGroup());
    stack->addStretch();

    auto *scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("settings.scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroll, 1);
    layout->addWidget(makeButtonRow());

    connect(m_form, &VMSettingsForm::changed, this, &VMSettingsSheet::refresh);
    connect(m_form, &VMSettingsForm::limitsChanged, this, &VMSettingsSheet::refreshLimits);
    connect(m_form, &VMSettingsForm::sharedFoldersChanged, this, [this] { m_sharedFolders->setFolders(m_form->sharedFolders()); });
    m_sharedFolders->setFolders(m_form->sharedFolders());
    refreshLimits();
    refresh();
}

QWidget *VMSettingsSheet::makeHardwareGroup()
{
    auto *group = new LabGroupBox(tr("Hardware"));
    group->setObjectName(QStringLiteral("settings.hardware"));
    group->contentLayout()->setSpacing(16);

    auto *cpu = new QVBoxLayout;
    cpu->setSpacing(8);
    m_cpuValue = new QLabel;
    m_cpuValue->setObjectName(QStringLiteral("settings.cpuValue"));
    cpu->addLayout(valueRow(tr("CPU Cores"), m_cpuValue));
    m_cpu = new QSpinBox;
    m_cpu->setObjectName(QStringLiteral("settings.cpu"));
    m_cpu->setAccessibleName(tr("CPU Cores"));
    m_cpu->setMinimum(1);
    connect(m_cpu, &QSpinBox::valueChanged, m_form, [this](int value) { m_form->setCpuCount(value); });
    cpu->addWidget(m_cpu, 0, Qt::AlignLeft);
    group->contentLayout()->addLayout(cpu);

    auto *memory = new QVBoxLayout;
    memory->setSpacing(8);
    m_memoryValue = new QLabel;
    m_memoryValue->setObjectName(QStringLiteral("settings.memoryValue"));
    memory->addLayout(valueRow(tr("Memory"), m_memoryValue));
    m_memory = new QSlider(Qt::Horizontal);
    m_memory->setObjectName(QStringLiteral("settings.memory"));
    m_memory->setAccessibleName(tr("Memory"));
    m_memory->setSingleStep(1);
    m_memory->setPageStep(1);
    // Only the user's moves reach the form: a slider whose range starts above the VM's memory must not raise it.
    connect(m_memory, &QSlider::valueChanged, m_form, [this](int value) { m_form->setMemoryGigabytes(value); });
    memory->addWidget(m_memory);
    m_memoryRange = TextStyle::label({}, TextRole::footnote, true);
    m_memoryRange->setObjectName(QStringLiteral("settings.memoryRange"));
    memory->addWidget(m_memoryRange);
    m_memoryLimit = TextStyle::label({}, TextRole::footnote, true);
    m_memoryLimit->setObjectName(QStringLiteral("settings.memoryLimit"));
    memory->addWidget(m_memoryLimit);
    group->contentLayout()->addLayout(memory);
    return group;
}

QWidget *VMSettingsSheet::makeDisplayGroup()
{
    auto *group = new LabGroupBox(tr("Display"));
    group->setObjectName(QStringLiteral("settings.display"));
    m_useCustomResolution = new QCheckBox(tr("Use custom resolution"));
    m_useCustomResolution->setObjectName(QStringLiteral("settings.useCustomResolution"));
    connect(m_useCustomResolution, &QCheckBox::toggled, m_form, &VMSettingsForm::setUseCustomResolution);
    group->contentLayout()->addWidget(m_useCustomResolution);

    m_customFields = new QWidget;
    auto *fields = new QHBoxLayout(m_customFields);
    fields->setContentsMargins(0, 0, 0, 0);
    fields->setSpacing(12);
    m_customWidth = new QLineEdit;
    m_customWidth->setObjectName(QStringLiteral("settings.customWidth"));
    m_customWidth->setPlaceholderText(QStringLiteral("1920"));
    m_customWidth->setAccessibleName(tr("Width"));
    connect(m_customWidth, &QLineEdit::textEdited, m_form, &VMSettingsForm::setCustomDisplayWidth);
    m_customHeight = new QLineEdit;
    m_customHeight->setObjectName(QStringLiteral("settings.customHeight"));
    m_customHeight->setPlaceholderText(QStringLiteral("1200"));
    m_customHeight->setAccessibleName(tr("Height"));
    connect(m_customHeight, &QLineEdit::textEdited, m_form, &VMSettingsForm::setCustomDisplayHeight);
    fields->addWidget(captionedField(tr("Width"), m_customWidth));
    QLabel *times = TextStyle::label(QStringLiteral("x"), TextRole::body, true);
    times->setWordWrap(false);
    times->setContentsMargins(0, 16, 0, 0);
    fields->addWidget(times);
    fields->addWidget(captionedField(tr("Height"), m_customHeight));
    fields->addStretch();
    group->contentLayout()->addWidget(m_customFields);

    m_presetRow = new QWidget;
    auto *presetRow = new QHBoxLayout(m_presetRow);
    presetRow->setContentsMargins(0, 0, 0, 0);
    presetRow->addWidget(TextStyle::label(tr("Resolution"), TextRole::body));
    m_preset = new QComboBox;
    m_preset->setObjectName(QStringLiteral("settings.preset"));
    m_preset->setAccessibleName(tr("Resolution"));
    for (const VMHardwareProfile::DisplayPreset preset : allCases<VMHardwareProfile::DisplayPreset>())
        m_preset->addItem(VMSettingsForm::presetTitle(preset), QVariant::fromValue(int(preset)));
    connect(m_preset, &QComboBox::activated, m_form,
        [this](int index) { m_form->setSelectedDisplayPreset(VMHardwareProfile::DisplayPreset(m_preset->itemData(index).toInt())); });
    presetRow->addWidget(m_preset);
    presetRow->addStretch();
    group->contentLayout()->addWidget(m_presetRow);

    m_displayFootnote = TextStyle::label({}, TextRole::footnote, true);
    m_displayFootnote->setObjectName(QStringLiteral("settings.displayFootnote"));
    group->contentLayout()->addWidget(m_displayFootnote);
    return group;
}

QWidget *VMSettingsSheet::makeAudioGroup()
{
    auto *group = new LabGroupBox(tr("Audio"));
    group->setObjectName(QStringLiteral("settings.audio"));
    m_microphone = new QCheckBox(tr("Enable microphone input from this computer"));
    m_microphone->setObjectName(QStringLiteral("settings.microphone"));
    connect(m_microphone, &QCheckBox::toggled, m_form, &VMSettingsForm::setMicrophoneEnabled);
    m_speaker = new QCheckBox(tr("Enable speaker output to this computer"));
    m_speaker->setObjectName(QStringLiteral("settings.speaker"));
    connect(m_speaker, &QCheckBox::toggled, m_form, &VMSettingsForm::setSpeakerEnabled);
    group->contentLayout()->addWidget(m_microphone);
    group->contentLayout()->addWidget(m_speaker);
    group->contentLayout()->addWidget(
        TextStyle::label(tr("These controls use this computer's default input and output devices. Camera passthrough "
                            "is not available on this host."),
            TextRole::footnote, true));
    return group;
}

QWidget *VMSettingsSheet::makeSharedFoldersGroup()
{
    auto *group = new LabGroupBox(tr("Shared Folders"));
    group->setObjectName(QStringLiteral("settings.sharedFoldersGroup"));
    m_sharedFolders = new SharedFoldersEditorView;
    m_sharedFolders->setObjectName(QStringLiteral("settings.sharedFolders"));
    connect(m_sharedFolders, &SharedFoldersEditorView::addFolderRequested, this, [this] {
        ViewCommand::start(*this, m_form->chooseSharedFolders(), [this](const QString &message) {
            m_banner->setMessage(message);
            m_banner->show();
        });
    });
    connect(m_sharedFolders, &SharedFoldersEditorView::removeRequested, m_form, &VMSettingsForm::removeSharedFolders);
    connect(m_sharedFolders, &SharedFoldersEditorView::readOnlyChangeRequested, m_form, &VMSettingsForm::setSharedFolderReadOnly);
    group->contentLayout()->addWidget(m_sharedFolders);
    return group;
}

QWidget *VMSettingsSheet::makeButtonRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(24, 12, 24, 18);
    layout->addStretch();
    m_cancel = new QPushButton(tr("Cancel"));
    m_cancel->setObjectName(QStringLiteral("settings.cancel"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_save = new QPushButton(tr("Save Settings"));
    m_save->setObjectName(QStringLiteral("settings.save"));
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &VMSettingsSheet::save);
    layout->addWidget(m_cancel);
    layout->addWidget(m_save);
    return row;
}

void VMSettingsSheet::refreshLimits()
{
    {
        const QSignalBlocker blocker(m_cpu);
        m_cpu->setMaximum(clampedToInt(m_form->maximumCPUCount()));
    }
    {
        const QSignalBlocker blocker(m_memory);
        m_memory->setRange(m_form->memorySliderMinimum(), m_form->memorySliderMaximum());
    }
    m_memoryRange->setText(m_form->recommendedMemoryText());
    m_displayFootnote->setText(m_form->displayFootnote());
    refresh();
}

void VMSettingsSheet::refresh()
{
    const VMSettingsForm &form = *m_form;
    const std::optional<QString> &message = form.localErrorMessage();
    m_banner->setVisible(message.has_value());
    if (message)
        m_banner->setMessage(*message);

    // Controls are set without signals: only the user's own changes reach the form.
    {
        const QSignalBlocker blocker(m_cpu);
        m_cpu->setValue(clampedToInt(form.cpuCount()));
    }
    m_cpuValue->setText(QString::number(form.cpuCount()));
    {
        const QSignalBlocker blocker(m_memory);
        m_memory->setValue(int(std::clamp<double>(form.memoryGigabytes(), m_memory->minimum(), m_memory->maximum())));
    }
    m_memoryValue->setText(form.memoryText());
    const std::optional<QString> limit = form.memoryLimitText();
    m_memoryLimit->setText(limit.value_or(QString()));
    m_memoryLimit->setVisible(limit.has_value());

    {
        const QSignalBlocker blocker(m_useCustomResolution);
        m_useCustomResolution->setChecked(form.useCustomResolution());
    }
    m_customFields->setVisible(form.useCustomResolution());
    m_presetRow->setVisible(!form.useCustomResolution());
    if (m_customWidth->text() != form.customDisplayWidth())
        m_customWidth->setText(form.customDisplayWidth());
    if (m_customHeight->text() != form.customDisplayHeight())
        m_customHeight->setText(form.customDisplayHeight());
    m_preset->setCurrentIndex(m_preset->findData(int(form.selectedDisplayPreset())));

    {
        const QSignalBlocker microphone(m_microphone);
        const QSignalBlocker speaker(m_speaker);
        m_microphone->setChecked(form.isMicrophoneEnabled());
        m_speaker->setChecked(form.isSpeakerEnabled());
    }
    m_cancel->setEnabled(!form.isSaving());
    m_save->setEnabled(!form.isSaving());
}

void VMSettingsSheet::save()
{
    if (m_form->save())
        accept();
}
