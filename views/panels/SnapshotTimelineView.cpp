// SPDX-License-Identifier: MIT
#include "SnapshotTimelineView.h"

#include "CreateSnapshotDialog.h"
#include "DestructiveConfirmation.h"
#include "LabPalette.h"
#include "Layouts.h"
#include "PanelEmptyState.h"
#include "RenameSnapshotDialog.h"
#include "SnapshotRowView.h"
#include "SnapshotTimelineTexts.h"
#include "Symbols.h"
#include "TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

/// A scroll area as tall as its rows, up to 400 px.
class CappedScrollArea final : public QScrollArea
{
public:
    QSize sizeHint() const override
    {
        const int content = widget() ? widget()->sizeHint().height() : 0;
        return {QScrollArea::sizeHint().width(), std::min(content + 2 * frameWidth(), 400)};
    }
    QSize minimumSizeHint() const override { return {0, std::min(sizeHint().height(), 120)}; }
};

} // namespace

SnapshotTimelineView::SnapshotTimelineView(QWidget *parent)
    : LabPanel(LabPanel::detailsCornerRadius, parent)
    , m_count(TextStyle::line(QString(), TextRole::caption, TextTone::secondary))
    , m_newSnapshot(new QPushButton(Symbols::icon(QStringLiteral("camera.fill")), QStringLiteral("New Snapshot")))
    , m_body(new QStackedWidget)
    , m_rows(new QWidget)
    , m_rowsLayout(new QVBoxLayout(m_rows))
    , m_createSheet(new CreateSnapshotDialog(this))
    , m_renameSheet(new RenameSnapshotDialog(this))
{
    setObjectName(QStringLiteral("snapshotTimeline"));
    auto *layout = new QVBoxLayout(this);
    LabPanel::applyContentMargins(*layout);
    layout->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->addWidget(TextStyle::line(QStringLiteral("Snapshot Timeline"), TextRole::headline));
    header->addStretch(1);
    m_count->setObjectName(QStringLiteral("snapshots.count"));
    header->addWidget(m_count);
    m_newSnapshot->setObjectName(QStringLiteral("snapshots.newSnapshot"));
    header->addWidget(m_newSnapshot);
    layout->addLayout(header);

    auto *scroll = new CappedScrollArea;
    scroll->setObjectName(QStringLiteral("snapshots.list"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    scroll->setWidget(m_rows);
    // The rows lie on the panel itself; setWidget() turned the fill on.
    scroll->viewport()->setAutoFillBackground(false);
    m_rows->setAutoFillBackground(false);
    m_body->addWidget(new PanelEmptyState(
        {QStringLiteral("snapshots.empty"), QStringLiteral("clock.arrow.circlepath"), 32, 24, QStringLiteral("No Snapshots Yet"),
            QStringLiteral("Create a snapshot to save the current state of your VM. You can restore to any snapshot at any time."),
            TextRole::caption, TextTone::tertiary}));
    m_body->addWidget(scroll);
    layout->addWidget(m_body);

    connect(m_newSnapshot, &QPushButton::clicked, this,
        [this] { m_createSheet->openWith(SnapshotTimelineTexts::proposedName(m_timeline.snapshots.size())); });
    connect(m_createSheet, &CreateSnapshotDialog::createRequested, this, &SnapshotTimelineView::createRequested);
    connect(m_renameSheet, &RenameSnapshotDialog::renameRequested, this, &SnapshotTimelineView::renameRequested);
    rebuildRows();
}

void SnapshotTimelineView::setTimeline(const VMSnapshotTimeline &timeline)
{
    m_timeline = timeline;
    rebuildRows();
}

void SnapshotTimelineView::setOperationRunning(bool running)
{
    m_operationRunning = running;
    updateEnabled();
}

void SnapshotTimelineView::rebuildRows()
{
    m_count->setText(SnapshotTimelineTexts::countText(m_timeline.snapshots.size()));
    Layouts::clear(*m_rowsLayout);
    for (const VMSnapshot &snapshot : SnapshotTimelineTexts::sorted(m_timeline)) {
        auto *row = new SnapshotRowView(m_timeline, snapshot);
        connect(row, &SnapshotRowView::restoreRequested, this, [this, snapshot] { confirmRestore(snapshot); });
        connect(row, &SnapshotRowView::deleteRequested, this, [this, snapshot] { confirmDelete(snapshot); });
        connect(row, &SnapshotRowView::renameRequested, this, [this, snapshot] { m_renameSheet->openFor(snapshot.id, snapshot.name); });
        m_rowsLayout->addWidget(row);
    }
    m_rowsLayout->addStretch(1);
    m_body->setCurrentIndex(m_timeline.snapshots.isEmpty() ? 0 : 1);
    m_body->widget(1)->updateGeometry();
    updateEnabled();
}

void SnapshotTimelineView::updateEnabled()
{
    m_newSnapshot->setEnabled(!m_operationRunning);
    const QString reason = m_operationRunning ? QStringLiteral("A snapshot operation of this VM is running.") : QString();
    m_newSnapshot->setToolTip(reason);
    for (SnapshotRowView *row : m_rows->findChildren<SnapshotRowView *>(Qt::FindDirectChildrenOnly))
        row->setActionsEnabled(!m_operationRunning);
}

void SnapshotTimelineView::confirmRestore(const VMSnapshot &snapshot)
{
    const QUuid id = snapshot.id;
    const DestructiveConfirmation confirmation {QStringLiteral("snapshots.restoreAlert"), QStringLiteral("Restore Snapshot?"),
        SnapshotTimelineTexts::restoreMessage(snapshot), QStringLiteral("Restore")};
    confirmation.open(this, [this, id] { Q_EMIT restoreRequested(id); });
}

void SnapshotTimelineView::confirmDelete(const VMSnapshot &snapshot)
{
    const QUuid id = snapshot.id;
    const DestructiveConfirmation confirmation {QStringLiteral("snapshots.deleteAlert"), QStringLiteral("Delete Snapshot?"),
        SnapshotTimelineTexts::deleteMessage(m_timeline, snapshot), QStringLiteral("Delete")};
    confirmation.open(this, [this, id] { Q_EMIT deleteRequested(id); });
}

void SnapshotTimelineView::changeEvent(QEvent *event)
{
    LabPanel::changeEvent(event);
    if (event->type() != QEvent::PaletteChange || LabPalette::isDark(palette()) == m_dark)
        return;
    m_dark = LabPalette::isDark(palette());
    QMetaObject::invokeMethod(
        this, [this] { rebuildRows(); }, Qt::QueuedConnection);
}
