// SPDX-License-Identifier: MIT
#include "GeneralStepView.h"

#include "CreateVMWizardViewModel.h"
#include "LabGroupBox.h"
#include "LabPalette.h"
#include "SelectableCard.h"
#include "TextStyle.h"
#include "ViewCommand.h"
#include "WizardStepper.h"
#include "WizardTexts.h"
#include "WizardWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

constexpr int highestCPUCount = 16;
constexpr int highestDiskGB = 512;

const VMGuestOSType guests[] = {VMGuestOSType::macOS, VMGuestOSType::linux, VMGuestOSType::windows};

WizardStepper *stepper(const QString &objectName, const QString &suffix, int step)
{
    auto *box = new WizardStepper;
    box->setObjectName(objectName);
    box->setSuffix(suffix);
    box->setSingleStep(step);
    box->setMinimumWidth(110);
    return box;
}

QString mediaStatus(bool enabled, const QString &how)
{
    return enabled ? how : QStringLiteral("Disabled");
}

} // namespace

GeneralStepView::GeneralStepView(CreateVMWizardViewModel &wizard, QWidget *parent)
    : QWidget(parent)
    , m_wizard(wizard)
{
    setObjectName(QStringLiteral("wizard.generalStep"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);

    auto *guestGroup = new LabGroupBox(tr("Guest Operating System"));
    guestGroup->contentLayout()->setSpacing(12);
    guestGroup->contentLayout()->addWidget(
        TextStyle::label(tr("Choose the operating system for this virtual machine."), TextRole::callout, true));
    guestGroup->contentLayout()->addWidget(makeGuestCards());
    column->addWidget(guestGroup);

    auto *nameRow = new QHBoxLayout;
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("general.name"));
    m_name->setPlaceholderText(tr("VM Name"));
    nameRow->addWidget(TextStyle::label(tr("VM Name")), 0);
    nameRow->addWidget(m_name, 1);
    column->addLayout(nameRow);
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString &text) { m_wizard.setName(text); });

    column->addWidget(makeSteppers());
    column->addWidget(makeStorageGroup());
    QLabel *bundleNote
        = WizardWidgets::markupLabel(tr("The wizard creates a self-contained `.vm` bundle on disk and stages the blank disk, firmware "
                                        "and boot files, and metadata needed for later boots. Keeping the bundle on a fast external "
                                        "SSD works well for larger VMs and simpler backups."));
    TextStyle::apply(*bundleNote, TextRole::body, true);
    column->addWidget(bundleNote);
    column->addWidget(makeDisplayGroup());
    column->addWidget(makeNetworkGroup());
    column->addWidget(makeMediaGroup());
    refresh();
}

QWidget *GeneralStepView::makeGuestCards()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    for (const VMGuestOSType guest : guests) {
        auto *card = new SelectableCard(12);
        card->setObjectName(QStringLiteral("general.guest:") + toRaw(guest));
        card->setAccessibleName(WizardTexts::guestCardName(guest));
        card->contentLayout()->addWidget(
            WizardWidgets::symbolLabel(WizardTexts::guestSymbol(guest), LabPalette::accent(palette()), 28), 0, Qt::AlignVCenter);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(2);
        texts->addWidget(TextStyle::label(WizardTexts::guestCardName(guest), TextRole::headline));
        texts->addWidget(
            TextStyle::label(WizardTexts::guestCardDescription(guest, m_wizard.missingWindowsHostPackages()), TextRole::caption, true));
        card->contentLayout()->addLayout(texts, 1);
        connect(card, &SelectableCard::clicked, this, [this, guest] { m_wizard.setGuestOSType(guest); });
        m_guestCards << card;
        layout->addWidget(card, 1);
    }
    return row;
}

QWidget *GeneralStepView::makeSteppers()
{
    auto *area = new QWidget;
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);
    m_cpu = stepper(QStringLiteral("general.cpu"), QString(), 1);
    m_memory = stepper(QStringLiteral("general.memory"), QStringLiteral(" GB"), 1);
    m_disk = stepper(QStringLiteral("general.disk"), QStringLiteral(" GB"), 8);
    const QList<QPair<QString, QSpinBox *>> steppers {{tr("CPU Count"), m_cpu}, {tr("Memory"), m_memory}, {tr("Disk"), m_disk}};
    for (const auto &[title, box] : steppers) {
        auto *label = TextStyle::label(title, TextRole::body);
        label->setWordWrap(false);
        label->setBuddy(box);
        layout->addWidget(label);
        layout->addWidget(box);
    }
    layout->addStretch(1);
    m_memoryLimit = TextStyle::label(QString(), TextRole::caption, true);
    m_memoryLimit->setObjectName(QStringLiteral("general.memoryLimit"));
    auto *column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(row);
    column->addWidget(m_memoryLimit);
    connect(m_cpu, &QSpinBox::valueChanged, this, [this](int value) { m_wizard.setCPUCount(value); });
    connect(m_memory, &QSpinBox::valueChanged, this, [this](int value) { m_wizard.setMemorySizeGB(value); });
    connect(m_disk, &QSpinBox::valueChanged, this, [this](int value) { m_wizard.setDiskSizeGB(value); });
    return area;
}

QWidget *GeneralStepView::makeStorageGroup()
{
    auto *group = new LabGroupBox(tr("Storage"));
    QVBoxLayout *content = group->contentLayout();
    content->setSpacing(12);
    auto *locationRow = new QHBoxLayout;
    locationRow->addWidget(TextStyle::label(tr("Location")));
    m_location = TextStyle::label(QString(), TextRole::body, true);
    m_location->setObjectName(QStringLiteral("general.location"));
    m_location->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    locationRow->addWidget(m_location, 1);
    content->addLayout(locationRow);
    m_path = WizardWidgets::selectableLabel(QString());
    m_path->setObjectName(QStringLiteral("general.path"));
    content->addWidget(m_path);
    auto *chooseRow = new QHBoxLayout;
    chooseRow->setSpacing(12);
    QPushButton *choose = WizardWidgets::button(tr("Choose Folder"), QString(), QStringLiteral("general.chooseFolder"));
    chooseRow->addWidget(choose);
    chooseRow->addWidget(WizardWidgets::markupLabel(tr("Store the `.vm` bundle anywhere, including an external SSD.")), 1);
    content->addLayout(chooseRow);
    connect(choose, &QPushButton::clicked, this,
        [this] { ViewCommand::start(*this, m_wizard.chooseDestinationDirectory(), m_wizard.failureReport()); });
    return group;
}

QWidget *GeneralStepView::makeDisplayGroup()
{
    auto *group = new LabGroupBox(tr("Display"));
    QVBoxLayout *content = group->contentLayout();
    content->setSpacing(12);
    m_display = new QComboBox;
    m_display->setObjectName(QStringLiteral("general.display"));
    for (const VMHardwareProfile::DisplayPreset preset : allCases<VMHardwareProfile::DisplayPreset>())
        m_display->addItem(WizardTexts::displayPresetLabel(preset), QVariant::fromValue(int(preset)));
    auto *row = new QHBoxLayout;
    row->addWidget(TextStyle::label(tr("Starting Display")));
    row->addWidget(m_display);
    row->addStretch(1);
    content->addLayout(row);
    content->addWidget(
        TextStyle::label(tr("The VM starts at the selected resolution. During runtime, the guest display follows the VM window size in the "
                            "console."),
            TextRole::callout, true));
    connect(m_display, &QComboBox::activated, this,
        [this](int index) { m_wizard.setSelectedDisplayPreset(VMHardwareProfile::DisplayPreset(m_display->itemData(index).toInt())); });
    return group;
}

QWidget *GeneralStepView::makeNetworkGroup()
{
    auto *group = new LabGroupBox(tr("Network"));
    QVBoxLayout *content = group->contentLayout();
    content->setSpacing(12);
    m_nat = new QRadioButton(tr("Shared NAT"));
    m_nat->setObjectName(QStringLiteral("general.network.nat"));
    m_bridged = new QRadioButton(tr("Bridged"));
    m_bridged->setObjectName(QStringLiteral("general.network.bridged"));
    auto *modes = new QButtonGroup(this);
    modes->addButton(m_nat);
    modes->addButton(m_bridged);
    auto *modeRow = new QHBoxLayout;
    modeRow->addWidget(TextStyle::label(tr("Network Mode")));
    modeRow->addWidget(m_nat);
    modeRow->addWidget(m_bridged);
    modeRow->addStretch(1);
    content->addLayout(modeRow);

    m_noInterfaces = TextStyle::label(tr("No bridged host interfaces are currently available on this computer."), TextRole::body, true);
    m_noInterfaces->setObjectName(QStringLiteral("general.noInterfaces"));
    content->addWidget(m_noInterfaces);
    m_interfaceRow = new QWidget;
    auto *interfaceLayout = new QHBoxLayout(m_interfaceRow);
    interfaceLayout->setContentsMargins(0, 0, 0, 0);
    m_interface = new QComboBox;
    m_interface->setObjectName(QStringLiteral("general.interface"));
    m_interface->setMinimumWidth(220);
    interfaceLayout->addWidget(TextStyle::label(tr("Host Interface")));
    interfaceLayout->addWidget(m_interface);
    interfaceLayout->addStretch(1);
    content->addWidget(m_interfaceRow);
    m_networkCaption = TextStyle::label(QString(), TextRole::callout, true);
    m_networkCaption->setObjectName(QStringLiteral("general.networkCaption"));
    content->addWidget(m_networkCaption);

    connect(m_nat, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_wizard.setNetworkMode(VMNetworkConfiguration::Mode::nat);
    });
    connect(m_bridged, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_wizard.setNetworkMode(VMNetworkConfiguration::Mode::bridged);
    });
    connect(m_interface, &QComboBox::activated, this, [this](int index) {
        const QString identifier = m_interface->itemData(index).toString();
        m_wizard.setSelectedBridgedInterfaceIdentifier(identifier.isEmpty() ? std::nullopt : std::optional<QString>(identifier));
    });
    return group;
}

QWidget *GeneralStepView::makeMediaGroup()
{
    auto *group = new LabGroupBox(tr("Media"));
    QVBoxLayout *content = group->contentLayout();
    content->setSpacing(12);
    m_microphone = new QCheckBox(tr("Expose the host microphone to the guest"));
    m_microphone->setObjectName(QStringLiteral("general.microphone"));
    m_microphoneStatus = TextStyle::label(QString(), TextRole::callout, true);
    m_microphoneStatus->setObjectName(QStringLiteral("general.microphoneStatus"));
    m_speaker = new QCheckBox(tr("Play guest audio through the host speakers"));
    m_speaker->setObjectName(QStringLiteral("general.speaker"));
    m_speakerStatus = TextStyle::label(QString(), TextRole::callout, true);
    m_speakerStatus->setObjectName(QStringLiteral("general.speakerStatus"));
    content->addWidget(m_microphone);
    content->addWidget(m_microphoneStatus);
    content->addWidget(m_speaker);
    content->addWidget(m_speakerStatus);
    content->addWidget(WizardWidgets::divider());
    auto *cameraRow = new QHBoxLayout;
    cameraRow->addWidget(WizardWidgets::symbolLabel(QStringLiteral("camera.slash"), palette().color(QPalette::WindowText), 16));
    QLabel *camera = TextStyle::label(tr("Camera passthrough is not available on this host"), TextRole::callout);
    QFont medium = camera->font();
    medium.setWeight(QFont::Medium);
    camera->setFont(medium);
    cameraRow->addWidget(camera, 1);
    content->addLayout(cameraRow);
    content->addWidget(
        TextStyle::label(tr("When enabled, the guest uses this computer's default microphone and speaker devices through its sound "
                            "server. QEMU offers no camera passthrough here, so Zovozu VM Lab cannot offer a camera device setting."),
            TextRole::callout, true));
    connect(m_microphone, &QCheckBox::toggled, this, [this](bool on) { m_wizard.setMicrophoneEnabled(on); });
    connect(m_speaker, &QCheckBox::toggled, this, [this](bool on) { m_wizard.setSpeakerEnabled(on); });
    return group;
}

void GeneralStepView::refresh()
{
    for (qsizetype index = 0; index < m_guestCards.size(); ++index)
        m_guestCards[index]->setSelected(guests[index] == m_wizard.guestOSType());
    if (m_name->text() != m_wizard.name()) {
        const QSignalBlocker blocker(m_name);
        m_name->setText(m_wizard.name());
    }
    refreshSteppers();

    const QString path = m_wizard.destinationDirectoryURL();
    const bool isDefault = QDir::cleanPath(path) == QDir::cleanPath(m_wizard.defaultDestinationDirectoryURL());
    m_location->setText(isDefault ? tr("Default Library") : tr("Custom Location"));
    m_path->setText(path);

    const int displayIndex = m_display->findData(int(m_wizard.selectedDisplayPreset()));
    if (m_display->currentIndex() != displayIndex) {
        const QSignalBlocker blocker(m_display);
        m_display->setCurrentIndex(displayIndex);
    }
    refreshNetwork();

    const auto check = [](QCheckBox &box, bool on) {
        if (box.isChecked() != on) {
            const QSignalBlocker blocker(box);
            box.setChecked(on);
        }
    };
    check(*m_microphone, m_wizard.isMicrophoneEnabled());
    check(*m_speaker, m_wizard.isSpeakerEnabled());
    m_microphoneStatus->setText(mediaStatus(m_wizard.isMicrophoneEnabled(), tr("Enabled via host default input")));
    m_speakerStatus->setText(mediaStatus(m_wizard.isSpeakerEnabled(), tr("Enabled via host default output")));
}

void GeneralStepView::refreshSteppers()
{
    const WizardHardwareLimits &limits = m_wizard.limits();
    const VMGuestOSType guest = m_wizard.guestOSType();
    const int hostCPUs = int(std::min<qint64>(limits.maximumCPUCount(), highestCPUCount));
    const int hostMemory = WizardTexts::wholeNumber(limits.maximumMemoryGB());
    const int cpu = int(std::clamp<qint64>(m_wizard.cpuCount(), 0, std::numeric_limits<int>::max()));
    m_cpu->showValue(std::min(2, hostCPUs), hostCPUs, cpu);
    m_memory->showValue(std::min(WizardTexts::wholeNumber(WizardHardwareLimits::minimumMemoryGB(guest)), hostMemory), hostMemory,
        WizardTexts::wholeNumber(m_wizard.memorySizeGB()));
    m_disk->showValue(WizardTexts::wholeNumber(WizardHardwareLimits::minimumDiskSizeGB(guest)), highestDiskGB,
        WizardTexts::wholeNumber(m_wizard.diskSizeGB()));
    const std::optional<QString> limit = m_wizard.memoryLimitText();
    m_memoryLimit->setText(limit.value_or(QString()));
    WizardWidgets::setShown(*m_memoryLimit, limit.has_value());
}

void GeneralStepView::refreshNetwork()
{
    const bool bridged = m_wizard.networkMode() == VMNetworkConfiguration::Mode::bridged;
    WizardWidgets::checkQuietly(bridged ? *m_bridged : *m_nat, {m_nat, m_bridged});
    const QList<HostBridgedNetworkInterfaceOption> &options = m_wizard.bridgedInterfaceOptions();
    WizardWidgets::setShown(*m_noInterfaces, bridged && options.isEmpty());
    WizardWidgets::setShown(*m_interfaceRow, bridged && !options.isEmpty());
    {
        const QSignalBlocker blocker(m_interface);
        bool same = m_interface->count() == options.size();
        for (qsizetype index = 0; same && index < options.size(); ++index)
            same = m_interface->itemData(int(index)).toString() == options[index].identifier
                && m_interface->itemText(int(index)) == options[index].label();
        if (!same) {
            m_interface->clear();
            for (const HostBridgedNetworkInterfaceOption &option : options)
                m_interface->addItem(option.label(), option.identifier);
        }
        const std::optional<QString> &selected = m_wizard.selectedBridgedInterfaceIdentifier();
        m_interface->setCurrentIndex(selected ? m_interface->findData(*selected) : -1);
    }
    m_networkCaption->setText(bridged
            ? tr("Bridged networking places the VM directly on the selected host bridge. QEMU's bridge helper must be "
                 "allowed to use it (an \"allow\" line in /etc/qemu/bridge.conf).")
            : tr("Shared NAT is the safest default and needs no setup on this computer."));
}
