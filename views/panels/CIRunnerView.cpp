// SPDX-License-Identifier: MIT
#include "CIRunnerView.h"

#include "CIConfigurationDialog.h"
#include "CIRunnerViewModel.h"
#include "CardFrame.h"
#include "LabPalette.h"
#include "Layouts.h"
#include "PanelEmptyState.h"
#include "Symbols.h"
#include "TextStyle.h"
#include "ViewCommand.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QColor runColor(VMCIRunColor color, const QPalette &palette)
{
    switch (color) {
    case VMCIRunColor::accent:
        return LabPalette::accent(palette);
    case VMCIRunColor::green:
        return LabPalette::systemGreen().resolved(palette);
    case VMCIRunColor::red:
        return LabPalette::systemRed().resolved(palette);
    case VMCIRunColor::secondary:
        break;
    }
    return TextStyle::color(TextTone::secondary, palette);
}

} // namespace

CIRunnerView::CIRunnerView(std::unique_ptr<CIRunnerViewModel> viewModel, QWidget *parent)
    : LabPanel(22, parent)
    , m_viewModel(std::move(viewModel))
    , m_header(new QWidget)
    , m_newConfiguration(new QPushButton(tr("New Configuration")))
    , m_empty(new PanelEmptyState({QStringLiteral("ci.empty"), QStringLiteral("gearshape.2"), 28, 20, tr("No CI Configurations"),
          tr("Create a CI configuration to run automated build and test scripts inside your VM."), TextRole::caption, TextTone::secondary}))
    , m_configurationRows(new QVBoxLayout)
    , m_runHistory(new QWidget)
    , m_runRows(new QVBoxLayout)
{
    setObjectName(QStringLiteral("ci"));
    auto *stack = new QVBoxLayout(this);
    const QMargins shadow = shadowMargins();
    stack->setContentsMargins(shadow.left() + 18, shadow.top() + 18, shadow.right() + 18, shadow.bottom() + 18);
    stack->setSpacing(16);

    auto *header = new QHBoxLayout(m_header);
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(TextStyle::line(tr("CI Runner"), TextRole::headline, TextTone::primary, QFont::DemiBold, QStringLiteral("ci.title")));
    header->addStretch();
    m_newConfiguration->setObjectName(QStringLiteral("ci.newConfiguration"));
    m_newConfiguration->setIcon(Symbols::icon(QStringLiteral("plus")));
    header->addWidget(m_newConfiguration);
    stack->addWidget(m_header);

    stack->addWidget(m_empty);
    m_configurationRows->setSpacing(8);
    stack->addLayout(m_configurationRows);

    m_runHistory->setObjectName(QStringLiteral("ci.runHistory"));
    auto *history = new QVBoxLayout(m_runHistory);
    history->setContentsMargins(0, 0, 0, 0);
    history->setSpacing(10);
    history->addWidget(TextStyle::line(tr("Run History"), TextRole::subheadline));
    m_runRows->setSpacing(10);
    history->addLayout(m_runRows);
    stack->addWidget(m_runHistory);

    connect(m_newConfiguration, &QPushButton::clicked, this, &CIRunnerView::openCreateSheet);
    connect(m_viewModel.get(), &CIRunnerViewModel::changed, this, &CIRunnerView::refresh);
    connect(m_viewModel.get(), &CIRunnerViewModel::failed, this, &CIRunnerView::failed);
    refresh();
}

CIRunnerView::~CIRunnerView() = default;

void CIRunnerView::changeEvent(QEvent *event)
{
    LabPanel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refresh();
}

void CIRunnerView::refresh()
{
    const QPalette &colors = palette();
    if (m_activeStatus) {
        m_activeStatus->hide();
        m_activeStatus->setParent(nullptr);
        m_activeStatus->deleteLater();
        m_activeStatus = nullptr;
    }
    if (const std::optional<VMCIRunResult> &active = m_viewModel->activeRun()) {
        m_activeStatus = TextStyle::symbolText(QStringLiteral("circle.fill"), displayName(active->status),
            runColor(symbolColor(active->status), colors), TextRole::caption, QStringLiteral("ci.activeStatus.text"));
        m_activeStatus->setObjectName(QStringLiteral("ci.activeStatus"));
        static_cast<QHBoxLayout *>(m_header->layout())->insertWidget(2, m_activeStatus);
    }

    Layouts::clearLater(*m_configurationRows);
    const QList<VMCIRunConfiguration> &configurations = m_viewModel->configurations();
    m_empty->setVisible(configurations.isEmpty());
    for (const VMCIRunConfiguration &configuration : configurations)
        m_configurationRows->addWidget(configurationRow(configuration));

    Layouts::clearLater(*m_runRows);
    const QList<VMCIRunResult> runs = m_viewModel->recentRuns();
    m_runHistory->setVisible(!runs.isEmpty());
    for (const VMCIRunResult &run : runs)
        m_runRows->addWidget(runRow(run));
}

QWidget *CIRunnerView::configurationRow(const VMCIRunConfiguration &configuration) const
{
    const QPalette &colors = palette();
    const QColor secondary = TextStyle::color(TextTone::secondary, colors);
    auto *row = new CardFrame(10);
    row->setObjectName(QStringLiteral("ci.configuration"));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(10, 10, 10, 10);
    line->setSpacing(12);
    QLabel *icon = Symbols::label(QStringLiteral("terminal"), LabPalette::accent(colors), 20);
    icon->setFixedWidth(24);
    icon->setAlignment(Qt::AlignCenter);
    line->addWidget(icon);

    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(
        TextStyle::line(configuration.name, TextRole::body, TextTone::primary, QFont::Medium, QStringLiteral("ci.configuration.name")));
    auto *options = new QHBoxLayout;
    options->setSpacing(8);
    if (configuration.snapshotBeforeRun)
        options->addWidget(TextStyle::symbolText(QStringLiteral("camera"), tr("Snapshot"), secondary, TextRole::caption2));
    if (configuration.shutdownAfterCompletion)
        options->addWidget(TextStyle::symbolText(QStringLiteral("power"), tr("Auto-stop"), secondary, TextRole::caption2));
    options->addWidget(TextStyle::symbolText(QStringLiteral("clock"), CIRunnerViewModel::timeoutText(configuration.timeoutSeconds),
        secondary, TextRole::caption2, QStringLiteral("ci.configuration.timeout")));
    options->addStretch();
    text->addLayout(options);
    line->addLayout(text, 1);

    auto *run = new QPushButton(Symbols::icon(QStringLiteral("play.fill")), tr("Run"));
    run->setObjectName(QStringLiteral("ci.configuration.run"));
    run->setEnabled(m_viewModel->isRunEnabled());
    line->addWidget(run);
    auto *remove = new QPushButton;
    remove->setObjectName(QStringLiteral("ci.configuration.delete"));
    remove->setFlat(true);
    remove->setIcon(
        QIcon(Symbols::tinted(QStringLiteral("trash"), LabPalette::withOpacity(LabPalette::systemRed().resolved(colors), 0.7), 16)));
    remove->setToolTip(tr("Delete"));
    remove->setAccessibleName(tr("Delete"));
    line->addWidget(remove);

    const QUuid id = configuration.id;
    CIRunnerViewModel *model = m_viewModel.get();
    connect(run, &QPushButton::clicked, model,
        [model, id] { ViewCommand::start(*model, model->run(id), [model](const QString &message) { Q_EMIT model->failed(message); }); });
    connect(remove, &QPushButton::clicked, model, [model, id] { model->deleteConfiguration(id); });
    return row;
}

QWidget *CIRunnerView::runRow(const VMCIRunResult &run) const
{
    const QPalette &colors = palette();
    const QColor statusColor = runColor(symbolColor(run.status), colors);
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("ci.run"));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    QLabel *symbol = Symbols::label(run.statusSymbolName(), statusColor, 14);
    symbol->setObjectName(QStringLiteral("ci.run.symbol"));
    symbol->setFixedWidth(16);
    line->addWidget(symbol);
    line->addWidget(
        TextStyle::line(displayName(run.status), TextRole::caption, TextTone::primary, QFont::Medium, QStringLiteral("ci.run.status")));
    if (const std::optional<QString> duration = run.durationText()) {
        QLabel *label = TextStyle::line(*duration, TextRole::caption, TextTone::primary, QFont::Normal, QStringLiteral("ci.run.duration"));
        TextStyle::applyTone(*label, TextTone::secondary);
        line->addWidget(label);
    }
    if (const std::optional<QString> exit = run.exitCodeText()) {
        QLabel *label = TextStyle::line(*exit, TextRole::caption, TextTone::primary, QFont::Normal, QStringLiteral("ci.run.exit"));
        TextStyle::tint(*label, runColor(*run.exitCodeColor(), colors));
        line->addWidget(label);
    }
    line->addStretch();
    QLabel *started = TextStyle::line(QLocale().toString(run.startedAt.toLocalTime(), QLocale::ShortFormat), TextRole::caption2,
        TextTone::primary, QFont::Normal, QStringLiteral("ci.run.started"));
    TextStyle::applyTone(*started, TextTone::secondary);
    line->addWidget(started);
    return row;
}

void CIRunnerView::openCreateSheet()
{
    auto *sheet = new CIConfigurationDialog(m_viewModel->form(), this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    CIRunnerViewModel *model = m_viewModel.get();
    connect(sheet, &CIConfigurationDialog::formChanged, model, &CIRunnerViewModel::setForm);
    connect(sheet, &CIConfigurationDialog::createRequested, sheet, [model, sheet] {
        model->setForm(sheet->form());
        if (model->createConfiguration())
            sheet->accept();
    });
    sheet->open();
}
