// SPDX-License-Identifier: MIT
#include "FileDropTransferView.h"

#include "DropZoneArea.h"
#include "FileDropTransferViewModel.h"
#include "LabPalette.h"
#include "Layouts.h"
#include "SizeText.h"
#include "Symbols.h"
#include "TextStyle.h"
#include "ViewCommand.h"

#include <QCoroTask>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

/// A drop as a command: whether a folder took it shows in the transfers, so its answer is not needed here.
QCoro::Task<> dropFiles(FileDropTransferViewModel &model, QStringList paths)
{
    co_await model.drop(std::move(paths));
}

} // namespace

FileDropTransferView::FileDropTransferView(std::unique_ptr<FileDropTransferViewModel> viewModel, QWidget *parent)
    : LabPanel(22, parent)
    , m_viewModel(std::move(viewModel))
    , m_count(TextStyle::line({}, TextRole::caption, TextTone::primary, QFont::Normal, QStringLiteral("drop.count")))
    , m_progress(TextStyle::line({}, TextRole::caption, TextTone::primary, QFont::Normal, QStringLiteral("drop.progress")))
    , m_zone(new DropZoneArea)
    , m_recent(new QWidget)
    , m_rows(new QVBoxLayout)
{
    setObjectName(QStringLiteral("drop"));
    auto *stack = new QVBoxLayout(this);
    const QMargins shadow = shadowMargins();
    stack->setContentsMargins(shadow.left() + 18, shadow.top() + 18, shadow.right() + 18, shadow.bottom() + 18);
    stack->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->addWidget(
        TextStyle::line(tr("File Transfer"), TextRole::headline, TextTone::primary, QFont::DemiBold, QStringLiteral("drop.title")));
    header->addStretch();
    TextStyle::applyTone(*m_progress, TextTone::secondary);
    header->addWidget(m_progress);
    TextStyle::applyTone(*m_count, TextTone::secondary);
    header->addWidget(m_count);
    stack->addLayout(header);
    stack->addWidget(m_zone);

    m_recent->setObjectName(QStringLiteral("drop.recent"));
    auto *recent = new QVBoxLayout(m_recent);
    recent->setContentsMargins(0, 0, 0, 0);
    recent->setSpacing(8);
    recent->addWidget(TextStyle::line(tr("Recent Transfers"), TextRole::subheadline));
    m_rows->setSpacing(8);
    recent->addLayout(m_rows);
    stack->addWidget(m_recent);

    connect(m_zone, &DropZoneArea::filesDropped, m_viewModel.get(), [model = m_viewModel.get()](const QStringList &paths) {
        ViewCommand::start(*model, dropFiles(*model, paths), [model](const QString &message) { Q_EMIT model->failed(message); });
    });
    connect(m_viewModel.get(), &FileDropTransferViewModel::sharedFolderChanged, this, &FileDropTransferView::showZone);
    connect(m_viewModel.get(), &FileDropTransferViewModel::vmNameChanged, this, &FileDropTransferView::showZone);
    connect(m_viewModel.get(), &FileDropTransferViewModel::transfersChanged, this, &FileDropTransferView::showTransfers);
    connect(m_viewModel.get(), &FileDropTransferViewModel::pendingCountChanged, this, [this] {
        m_progress->setText(m_viewModel->progressText());
        m_progress->setVisible(m_viewModel->pendingCount() > 0);
    });
    connect(m_viewModel.get(), &FileDropTransferViewModel::failed, this, &FileDropTransferView::failed);
    m_progress->hide();
    showZone();
    showTransfers();
}

FileDropTransferView::~FileDropTransferView() = default;

void FileDropTransferView::changeEvent(QEvent *event)
{
    LabPanel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        showTransfers();
}

void FileDropTransferView::showZone()
{
    m_zone->setAcceptingFiles(m_viewModel->acceptsDrops());
    m_zone->setPrompts(m_viewModel->promptText(false), m_viewModel->promptText(true));
    m_zone->setHint(m_viewModel->acceptsDrops() ? QString() : tr("Configure a shared folder first to enable file transfer."));
}

void FileDropTransferView::showTransfers()
{
    m_count->setText(m_viewModel->countText());
    m_count->setVisible(!m_viewModel->transfers().isEmpty());
    Layouts::clear(*m_rows);
    const QList<TransferredFile> recent = m_viewModel->recentTransfers();
    m_recent->setVisible(!recent.isEmpty());
    for (const TransferredFile &transfer : recent)
        m_rows->addWidget(transferRow(transfer));
}

QWidget *FileDropTransferView::transferRow(const TransferredFile &transfer) const
{
    const QPalette &colors = palette();
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("drop.row"));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    QLabel *icon = Symbols::label(FileDropTransferViewModel::iconName(transfer.name), LabPalette::accent(colors), 16);
    line->addWidget(icon);
    QLabel *name = TextStyle::line(transfer.name, TextRole::caption, TextTone::primary, QFont::Normal, QStringLiteral("drop.row.name"));
    name->setMinimumWidth(40);
    name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    line->addWidget(name, 1);
    QLabel *size = TextStyle::line(
        SizeText::bytes(transfer.sizeBytes), TextRole::caption, TextTone::primary, QFont::Normal, QStringLiteral("drop.row.size"));
    TextStyle::applyTone(*size, TextTone::secondary);
    line->addWidget(size);
    const QColor mark = transfer.success ? LabPalette::systemGreen().resolved(colors) : LabPalette::systemRed().resolved(colors);
    QLabel *status
        = Symbols::label(transfer.success ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.circle.fill"), mark, 14);
    status->setObjectName(QStringLiteral("drop.row.status"));
    line->addWidget(status);
    if (transfer.errorMessage)
        row->setToolTip(QStringLiteral("<p>") + transfer.errorMessage->toHtmlEscaped() + QStringLiteral("</p>"));
    return row;
}
