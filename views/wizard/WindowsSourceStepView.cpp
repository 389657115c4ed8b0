// SPDX-License-Identifier: MIT
#include "WindowsSourceStepView.h"

#include "CreateVMWizardViewModel.h"
#include "HostInstallAdvice.h"
#include "LabGroupBox.h"
#include "LabPalette.h"
#include "Layouts.h"
#include "SelectableCard.h"
#include "SizeText.h"
#include "Symbols.h"
#include "TextStyle.h"
#include "UUPImageBuilderSection.h"
#include "ViewCommand.h"
#include "WizardWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using WindowsSourceMode = CreateVMWizardViewModel::WindowsSourceMode;

namespace {

const QColor green(52, 168, 83);
const QColor red(220, 53, 69);
const QColor orange(240, 140, 30);
const QColor yellow(230, 185, 30);

void setSymbol(QLabel &label, const QString &symbol, const QColor &color, int size)
{
    label.setPixmap(Symbols::tinted(symbol, color, size));
    label.setFixedSize(size, size);
}

void setInk(QLabel &label, const QColor &color)
{
    QPalette tinted = label.palette();
    tinted.setColor(QPalette::WindowText, color);
    label.setPalette(tinted);
}

/// The one local file a drag carries; none for several items, a folder's contents or anything not on this computer.
std::optional<QString> droppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return std::nullopt;
    return data->urls().first().toLocalFile();
}

QWidget *row(QWidget *parent = nullptr)
{
    auto *widget = new QWidget(parent);
    auto *layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    return widget;
}

} // namespace

WindowsSourceStepView::WindowsSourceStepView(CreateVMWizardViewModel &wizard, WizardDesktop desktop, QWidget *parent)
    : QWidget(parent)
    , m_wizard(wizard)
    , m_windows(wizard.windowsSource())
    , m_desktop(std::move(desktop))
{
    setObjectName(QStringLiteral("wizard.windowsSourceStep"));
    setAcceptDrops(true);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);
    column->addWidget(makeEngineGroup());
    column->addWidget(makeMediaGroup());
    column->addWidget(makeConfigurationGroup());
    column->addWidget(makePreflightGroup());

    connect(&m_windows, &WindowsSourceViewModel::changed, this, &WindowsSourceStepView::refresh);
    refresh();
}

void WindowsSourceStepView::startCommand(QCoro::Task<> command)
{
    ViewCommand::start(*this, std::move(command), m_wizard.failureReport());
}

QWidget *WindowsSourceStepView::makeEngineGroup()
{
    auto *group = new LabGroupBox(tr("VM Engine"));
    group->setObjectName(QStringLiteral("windows.engine"));
    QVBoxLayout *content = group->contentLayout();
    content->setSpacing(12);
    auto *status = new QHBoxLayout;
    status->setSpacing(10);
    m_engineIcon = new QLabel;
    status->addWidget(m_engineIcon, 0, Qt::AlignVCenter);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(TextStyle::label(tr("QEMU Virtual Machine Engine"), TextRole::headline));
    m_engineStatus = TextStyle::label(QString(), TextRole::callout, true);
    m_engineStatus->setObjectName(QStringLiteral("windows.engineStatus"));
    texts->addWidget(m_engineStatus);
    status->addLayout(texts, 1);
    content->addLayout(status);

    m_installQEMU = WizardWidgets::button(
        tr("Install QEMU Automatically (~105 MB)"), QStringLiteral("arrow.down.circle"), QStringLiteral("windows.installQEMU"));
    content->addWidget(m_installQEMU, 0, Qt::AlignLeft);
    // Where the package behind the button cannot run, the command that installs QEMU takes its place.
    m_installAdvice = TextStyle::label(tr("Install QEMU with: %1").arg(HostInstallAdvice::qemuInstallCommand), TextRole::callout);
    m_installAdvice->setObjectName(QStringLiteral("windows.qemuAdvice"));
    m_installAdvice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    content->addWidget(m_installAdvice);
    m_installProgress = new QWidget;
    m_installProgress->setObjectName(QStringLiteral("windows.qemuProgress"));
    auto *progress = new QVBoxLayout(m_installProgress);
    progress->setContentsMargins(0, 0, 0, 0);
    progress->setSpacing(6);
    m_installBar = new QProgressBar;
    m_installBar->setRange(0, 1000);
    m_installBar->setTextVisible(false);
    m_installStatus = TextStyle::label(QString(), TextRole::caption, true);
    m_installStatus->setObjectName(QStringLiteral("windows.qemuStatus"));
    progress->addWidget(m_installBar);
    progress->addWidget(m_installStatus);
    content->addWidget(m_installProgress);
    // A failed installation keeps its reason, with the advice how to install QEMU instead, until the next attempt.
    m_installFailure = TextStyle::label(QString(), TextRole::callout);
    m_installFailure->setObjectName(QStringLiteral("windows.qemuFailure"));
    m_installFailure->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setInk(*m_installFailure, red);
    content->addWidget(m_installFailure);
    connect(m_installQEMU, &QPushButton::clicked, this, [this] { startCommand(m_windows.installQEMU()); });
    return group;
}

QWidget *WindowsSourceStepView::makeMediaGroup()
{
    auto *group = new LabGroupBox(tr("Windows Installation Media"));
    group->setObjectName(QStringLiteral("windows.media"));
    QVBoxLayout *content = group->contentLayout();
    content->setSpacing(14);
    auto *modes = new QButtonGroup(this);
    const QList<std::tuple<WindowsSourceMode, QString, QString, QString>> options {
        {WindowsSourceMode::download, tr("Download from Microsoft (Recommended)"), QStringLiteral("arrow.down.circle"),
            QStringLiteral("windows.mode.download")},
        {WindowsSourceMode::local, tr("Use Existing ISO"), QStringLiteral("folder"), QStringLiteral("windows.mode.local")},
        {WindowsSourceMode::advanced, tr("Advanced (UUP Build)"), QStringLiteral("wrench.and.screwdriver"),
            QStringLiteral("windows.mode.advanced")},
    };
    for (const auto &[mode, text, symbol, name] : options) {
        auto *radio = new QRadioButton(text);
        radio->setObjectName(name);
        radio->setIcon(Symbols::icon(symbol));
        modes->addButton(radio);
        content->addWidget(radio);
        m_modes << radio;
        connect(radio, &QRadioButton::toggled, this, [this, mode](bool on) {
            if (on)
                m_wizard.setWindowsSourceMode(mode);
        });
    }
    m_downloadContent = makeDownloadContent();
    m_localContent = makeLocalContent();
    m_advancedContent = new UUPImageBuilderSection(m_wizard, m_desktop);
    content->addWidget(m_downloadContent);
    content->addWidget(m_localContent);
    content->addWidget(m_advancedContent);

    m_badge = new QFrame;
    m_badge->setObjectName(QStringLiteral("windows.badge"));
    auto *badge = new QHBoxLayout(m_badge);
    badge->setContentsMargins(12, 12, 12, 12);
    badge->setSpacing(10);
    m_badgeIcon = new QLabel;
    badge->addWidget(m_badgeIcon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_badgeTitle = TextStyle::label(QString(), TextRole::callout);
    m_badgeTitle->setObjectName(QStringLiteral("windows.badgeTitle"));
    QFont semibold = m_badgeTitle->font();
    semibold.setWeight(QFont::DemiBold);
    m_badgeTitle->setFont(semibold);
    m_badgeMessage = TextStyle::label(QString(), TextRole::caption, true);
    m_badgeMessage->setObjectName(QStringLiteral("windows.badgeMessage"));
    m_badgeArchitecture = TextStyle::label(QString(), TextRole::caption, true);
    m_badgeArchitecture->setObjectName(QStringLiteral("windows.badgeArchitecture"));
    texts->addWidget(m_badgeTitle);
    texts->addWidget(m_badgeMessage);
    texts->addWidget(m_badgeArchitecture);
    badge->addLayout(texts, 1);
    content->addWidget(m_badge);
    return group;
}

QWidget *WindowsSourceStepView::makeDownloadContent()
{
    auto *widget = new QWidget;
    widget->setObjectName(QStringLiteral("windows.downloadContent"));
    auto *column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(
        TextStyle::label(tr("Download a Windows 11 ARM64 ISO from Microsoft, then select it below or we'll detect it automatically."),
            TextRole::callout, true));
    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    QPushButton *open = WizardWidgets::button(
        tr("Open Microsoft Download Page"), QStringLiteral("arrow.up.right.square"), QStringLiteral("windows.openDownloadPage"));
    QPushButton *scan = WizardWidgets::button(tr("Scan for ISOs"), QStringLiteral("magnifyingglass"), QStringLiteral("windows.scan"));
    actions->addWidget(open);
    actions->addWidget(scan);
    actions->addStretch(1);
    column->addLayout(actions);

    m_detectedList = new QWidget;
    m_detectedList->setObjectName(QStringLiteral("windows.detected"));
    m_detectedRows = new QVBoxLayout(m_detectedList);
    m_detectedRows->setContentsMargins(0, 0, 0, 0);
    m_detectedRows->setSpacing(8);
    auto *heading = new QHBoxLayout;
    heading->addWidget(WizardWidgets::symbolLabel(QStringLiteral("sparkles"), yellow, 16));
    QLabel *headingText = TextStyle::label(tr("Windows ISOs detected on this computer:"), TextRole::callout);
    QFont medium = headingText->font();
    medium.setWeight(QFont::Medium);
    headingText->setFont(medium);
    heading->addWidget(headingText, 1);
    m_detectedRows->addLayout(heading);
    column->addWidget(m_detectedList);

    m_scanning = row();
    m_scanning->setObjectName(QStringLiteral("windows.scanning"));
    auto *spinner = new QProgressBar;
    spinner->setRange(0, 0);
    spinner->setMaximumWidth(60);
    spinner->setMaximumHeight(10);
    m_scanning->layout()->addWidget(spinner);
    m_scanning->layout()->addWidget(TextStyle::label(tr("Scanning Downloads, Desktop, Documents..."), TextRole::caption, true));
    column->addWidget(m_scanning);
    m_noDetected = TextStyle::label(
        tr("No Windows ISOs detected yet. Download one from Microsoft, then click \"Scan for ISOs\"."), TextRole::caption, true);
    m_noDetected->setObjectName(QStringLiteral("windows.noISOs"));
    column->addWidget(m_noDetected);
    m_scanReport = TextStyle::label(QString(), TextRole::caption, true);
    m_scanReport->setObjectName(QStringLiteral("windows.scanReport"));
    column->addWidget(m_scanReport);
    m_selectManually
        = WizardWidgets::button(tr("Or Select ISO Manually"), QStringLiteral("folder"), QStringLiteral("windows.selectManually"));
    column->addWidget(m_selectManually, 0, Qt::AlignLeft);

    connect(open, &QPushButton::clicked, this, [this] {
        if (m_desktop.openURL)
            // The browser may fail after the step is gone; its report then goes nowhere.
            m_desktop.openURL(
                WindowsSourceViewModel::downloadPageURL(), [step = QPointer<WindowsSourceStepView>(this)](const QString &reason) {
                    if (step)
                        step->m_wizard.failureReport()(reason);
                });
    });
    connect(scan, &QPushButton::clicked, this, [this] { m_windows.scanForImages(); });
    connect(m_selectManually, &QPushButton::clicked, this, [this] { startCommand(m_wizard.chooseWindowsImage()); });
    return widget;
}

QWidget *WindowsSourceStepView::makeLocalContent()
{
    auto *widget = new QWidget;
    widget->setObjectName(QStringLiteral("windows.localContent"));
    auto *column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(TextStyle::label(tr("Select an existing Windows 11 ARM64 ISO or VHDX on this computer."), TextRole::callout, true));

    m_localCard = new QFrame;
    m_localCard->setObjectName(QStringLiteral("windows.selectedCard"));
    m_localCard->setStyleSheet(QStringLiteral("#windows\\.selectedCard { background: %1; border-radius: 10px; }")
                                   .arg(LabPalette::cardBackground().resolved(palette()).name(QColor::HexArgb)));
    auto *card = new QHBoxLayout(m_localCard);
    card->setContentsMargins(10, 10, 10, 10);
    m_localIcon = new QLabel;
    card->addWidget(m_localIcon, 0, Qt::AlignVCenter);
    auto *texts = new QVBoxLayout;
    m_localName = TextStyle::label(QString(), TextRole::body);
    m_localName->setObjectName(QStringLiteral("windows.localName"));
    m_localDetail = TextStyle::label(QString(), TextRole::caption, true);
    m_localDetail->setObjectName(QStringLiteral("windows.localDetail"));
    m_localDetail->setWordWrap(false);
    texts->addWidget(m_localName);
    texts->addWidget(m_localDetail);
    card->addLayout(texts, 1);
    column->addWidget(m_localCard);

    auto *chooser = new QHBoxLayout;
    chooser->setSpacing(12);
    m_chooseImage = WizardWidgets::button(tr("Select ISO"), QStringLiteral("folder"), QStringLiteral("windows.chooseImage"));
    chooser->addWidget(m_chooseImage);
    chooser->addWidget(TextStyle::label(tr("Drag & drop is also supported."), TextRole::caption, true), 1);
    column->addLayout(chooser);
    connect(m_chooseImage, &QPushButton::clicked, this, [this] { startCommand(m_wizard.chooseWindowsImage()); });
    return widget;
}

QWidget *WindowsSourceStepView::makeConfigurationGroup()
{
    auto *group = new LabGroupBox(tr("Configuration"));
    QVBoxLayout *content = group->contentLayout();
    content->setSpacing(12);
    m_tpm = new QCheckBox(tr("Enable TPM 2.0 emulation (required for Windows 11)"));
    m_tpm->setObjectName(QStringLiteral("windows.tpm"));
    content->addWidget(m_tpm);
    content->addWidget(
        TextStyle::label(tr("Windows 11 requires TPM 2.0. Zovozu VM Lab emulates a TPM device automatically."), TextRole::callout, true));
    connect(m_tpm, &QCheckBox::toggled, this, [this](bool on) { m_wizard.setWindowsEnableTPM(on); });
    return group;
}

QWidget *WindowsSourceStepView::makePreflightGroup()
{
    auto *group = new LabGroupBox(tr("Pre-flight Check"));
    group->setObjectName(QStringLiteral("windows.preflight"));
    m_preflightRows = group->contentLayout();
    m_preflightRows->setSpacing(10);
    return group;
}

void WindowsSourceStepView::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedFile(event->mimeData()) && !m_wizard.isCreating()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void WindowsSourceStepView::dropEvent(QDropEvent *event)
{
    const std::optional<QString> file = droppedFile(event->mimeData());
    if (!file || m_wizard.isCreating())
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    startCommand(m_wizard.dropWindowsImage(*file));
}

void WindowsSourceStepView::refresh()
{
    refreshEngine();
    const WindowsSourceMode mode = m_wizard.windowsSourceMode();
    const qsizetype modeIndex = mode == WindowsSourceMode::download ? 0 : mode == WindowsSourceMode::local ? 1 : 2;
    WizardWidgets::checkQuietly(*m_modes[modeIndex], m_modes);
    WizardWidgets::setShown(*m_downloadContent, mode == WindowsSourceMode::download);
    WizardWidgets::setShown(*m_localContent, mode == WindowsSourceMode::local);
    WizardWidgets::setShown(*m_advancedContent, mode == WindowsSourceMode::advanced);
    refreshDetected();
    refreshLocalCard();
    refreshBadge();
    if (m_tpm->isChecked() != m_wizard.windowsEnableTPM()) {
        const QSignalBlocker blocker(m_tpm);
        m_tpm->setChecked(m_wizard.windowsEnableTPM());
    }
    refreshPreflight();
}

void WindowsSourceStepView::refreshEngine()
{
    const bool installed = m_windows.isQEMUInstalled();
    const bool downloading = m_windows.isInstallingQEMU();
    setSymbol(*m_engineIcon, installed ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.circle"),
        installed ? green : orange, 24);
    const bool automatic = m_windows.canInstallQEMUHere();
    if (installed)
        m_engineStatus->setText(tr("Installed and ready."));
    else
        m_engineStatus->setText(automatic ? tr("Required for Windows VMs. Install automatically below.")
                                          : tr("Required for Windows VMs. Install it as shown below."));
    WizardWidgets::setShown(*m_installQEMU, automatic && !installed && !downloading);
    WizardWidgets::setShown(*m_installAdvice, !automatic && !installed);
    WizardWidgets::setShown(*m_installProgress, !installed && downloading);
    m_installBar->setValue(int(m_windows.qemuInstallFraction() * 1000));
    m_installStatus->setText(m_windows.qemuStatusMessage());
    const std::optional<QString> failure = m_windows.qemuInstallFailure();
    m_installFailure->setText(failure.value_or(QString()));
    WizardWidgets::setShown(*m_installFailure, failure.has_value());
}

void WindowsSourceStepView::refreshDetected()
{
    const QList<WindowsSourceViewModel::DetectedImage> &detected = m_windows.detectedImages();
    if (detected != m_shownDetected) {
        for (const auto &[card, iso] : std::as_const(m_detected))
            delete card;
        m_detected.clear();
        m_shownDetected = detected;
        for (const WindowsSourceViewModel::DetectedImage &iso : detected) {
            auto *card = new SelectableCard(10);
            card->setObjectName(QStringLiteral("windows.detectedRow:") + iso.id.toString(QUuid::WithoutBraces));
            card->contentLayout()->setContentsMargins(10, 10, 10, 10);
            QLabel *mark = WizardWidgets::selectionMark();
            mark->setObjectName(QStringLiteral("windows.mark"));
            card->contentLayout()->addWidget(mark, 0, Qt::AlignVCenter);
            auto *texts = new QVBoxLayout;
            texts->setSpacing(2);
            QLabel *name = TextStyle::label(iso.fileName, TextRole::callout);
            QFont medium = name->font();
            medium.setWeight(QFont::Medium);
            name->setFont(medium);
            texts->addWidget(name);
            texts->addWidget(TextStyle::label(
                SizeText::bytes(iso.fileSizeBytes) + QStringLiteral(" — ") + QFileInfo(QFileInfo(iso.path).absolutePath()).fileName(),
                TextRole::caption, true));
            card->contentLayout()->addLayout(texts, 1);
            connect(card, &SelectableCard::clicked, this, [this, path = iso.path] { startCommand(m_wizard.validateWindowsImage(path)); });
            m_detectedRows->addWidget(card);
            m_detected.append({card, iso});
        }
    }
    for (const auto &[card, iso] : std::as_const(m_detected)) {
        const bool selected = m_wizard.windowsISOURL() == iso.path;
        card->setSelected(selected);
        if (auto *mark = card->findChild<QLabel *>(QStringLiteral("windows.mark")))
            WizardWidgets::setSelectionMark(*mark, selected);
    }
    WizardWidgets::setShown(*m_detectedList, !detected.isEmpty());
    WizardWidgets::setShown(*m_scanning, detected.isEmpty() && m_windows.isScanning());
    WizardWidgets::setShown(*m_noDetected, m_windows.showsNoImagesHint(m_wizard));
    const std::optional<QString> report = m_windows.scanReport();
    m_scanReport->setText(report.value_or(QString()));
    WizardWidgets::setShown(*m_scanReport, report.has_value());
    WizardWidgets::setShown(*m_selectManually, WindowsSourceViewModel::offersImageChoice(m_wizard));
}

void WindowsSourceStepView::refreshLocalCard()
{
    const std::optional<QString> &image = m_wizard.windowsISOURL();
    WizardWidgets::setShown(*m_localCard, image.has_value());
    m_chooseImage->setText(image ? tr("Change ISO") : tr("Select ISO"));
    if (!image)
        return;
    const std::optional<WindowsISOValidation> &validation = m_wizard.windowsISOValidation();
    const bool valid = validation && validation->status == WindowsISOValidation::Status::valid;
    setSymbol(*m_localIcon, QStringLiteral("opticaldisc.fill"), valid ? green : orange, 28);
    const QFileInfo file(*image);
    m_localName->setText(file.fileName());
    m_localDetail->setText(
        SizeText::bytes(validation ? validation->fileSizeBytes : quint64(0)) + QStringLiteral(" — ") + file.absolutePath());
}

void WindowsSourceStepView::refreshBadge()
{
    const std::optional<WindowsISOValidation> &validation = m_wizard.windowsISOValidation();
    WizardWidgets::setShown(*m_badge, validation.has_value());
    if (!validation)
        return;
    const bool valid = validation->status == WindowsISOValidation::Status::valid;
    const QColor colour = valid ? green : red;
    setSymbol(*m_badgeIcon, valid ? QStringLiteral("checkmark.shield.fill") : QStringLiteral("xmark.shield.fill"), colour, 22);
    m_badgeTitle->setText(valid ? tr("ISO Verified") : tr("ISO Problem Detected"));
    m_badgeMessage->setText(validation->message());
    m_badgeArchitecture->setText(validation->detectedArchitecture ? tr("Architecture: ") + *validation->detectedArchitecture : QString());
    WizardWidgets::setShown(*m_badgeArchitecture, validation->detectedArchitecture.has_value());
    // The title's red goes in the same style sheet: each new sheet puts back the palette a child had under the
    // previous one, so a red set on the title's palette would come back over a verified image.
    const QString failedTitle = valid ? QString() : QStringLiteral(" #windows\\.badgeTitle { color: %1; }").arg(red.name());
    m_badge->setStyleSheet(
        QStringLiteral("#windows\\.badge { background: %1; border: 1px solid %2; border-radius: 10px; }")
            .arg(LabPalette::withOpacity(colour, 0.08).name(QColor::HexArgb), LabPalette::withOpacity(colour, 0.3).name(QColor::HexArgb))
        + failedTitle);
}

void WindowsSourceStepView::refreshPreflight()
{
    using PreflightRow = WindowsSourceViewModel::PreflightRow;
    const QList<PreflightRow> rows = WindowsSourceViewModel::preflightRows(m_wizard, m_windows.isQEMUInstalled());
    if (rows == m_shownPreflight)
        return;
    m_shownPreflight = rows;
    Layouts::clear(*m_preflightRows);
    for (qsizetype index = 0; index < rows.size(); ++index) {
        const PreflightRow &check = rows[index];
        QWidget *line = row();
        line->setObjectName(QStringLiteral("windows.preflight:%1").arg(index));
        line->setProperty("passes", check.passes);
        auto *layout = static_cast<QHBoxLayout *>(line->layout());
        layout->setSpacing(10);
        layout->addWidget(WizardWidgets::symbolLabel(
            check.passes ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.circle"), check.passes ? green : red, 16));
        layout->addWidget(TextStyle::label(check.title, TextRole::callout), 1);
        QLabel *detail = TextStyle::label(check.detail, TextRole::caption, true);
        detail->setObjectName(QStringLiteral("windows.preflightDetail"));
        detail->setWordWrap(false);
        layout->addWidget(detail);
        m_preflightRows->addWidget(line);
    }
}
