// SPDX-License-Identifier: MIT
#include "DropZoneArea.h"

#include "LabPalette.h"
#include "Symbols.h"
#include "TextStyle.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>
#include <QVBoxLayout>

namespace {

/// The local paths a drag carries; empty when it carries anything that is not a local file.
QStringList localPaths(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    QStringList paths;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}

} // namespace

DropZoneArea::DropZoneArea(QWidget *parent)
    : QWidget(parent)
    , m_symbol(new QLabel)
    , m_prompt(TextStyle::line({}, TextRole::body, TextTone::primary, QFont::Medium, QStringLiteral("drop.zone.prompt")))
    , m_hint(TextStyle::line({}, TextRole::caption, TextTone::primary, QFont::Normal, QStringLiteral("drop.zone.hint")))
{
    setObjectName(QStringLiteral("drop.zone"));
    setAcceptDrops(true);
    setFixedHeight(140);
    m_symbol->setObjectName(QStringLiteral("drop.zone.symbol"));
    m_prompt->setAlignment(Qt::AlignCenter);
    m_prompt->setWordWrap(true);
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);
    TextStyle::applyTone(*m_hint, TextTone::secondary);
    m_hint->hide();
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 12, 16, 12);
    stack->setSpacing(12);
    stack->addStretch();
    stack->addWidget(m_symbol, 0, Qt::AlignHCenter);
    stack->addWidget(m_prompt);
    stack->addWidget(m_hint);
    stack->addStretch();
    showState();
}

void DropZoneArea::setAcceptingFiles(bool accepting)
{
    m_accepting = accepting;
    if (!accepting)
        setTargeted(false);
}

void DropZoneArea::setPrompts(const QString &idle, const QString &targeted)
{
    m_idlePrompt = idle;
    m_targetedPrompt = targeted;
    showState();
}

void DropZoneArea::setHint(const QString &hint)
{
    m_hint->setText(hint);
    m_hint->setVisible(!hint.isEmpty());
}

void DropZoneArea::setTargeted(bool targeted)
{
    if (m_targeted == targeted)
        return;
    m_targeted = targeted;
    showState();
}

void DropZoneArea::showState()
{
    const QColor accent = LabPalette::accent(palette());
    const QColor secondary = TextStyle::color(TextTone::secondary, palette());
    const QString symbol = m_targeted ? QStringLiteral("arrow.down.circle.fill") : QStringLiteral("arrow.down.doc");
    m_symbol->setPixmap(Symbols::tinted(symbol, m_targeted ? accent : secondary, 36));
    m_symbol->setProperty("symbol", symbol);
    m_prompt->setText(m_targeted ? m_targetedPrompt : m_idlePrompt);
    TextStyle::tint(*m_prompt, m_targeted ? accent : secondary);
    update();
}

void DropZoneArea::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colors = palette();
    const QColor accent = LabPalette::accent(colors);
    const QRectF shape = QRectF(rect()).adjusted(1, 1, -1, -1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(
        m_targeted ? LabPalette::withOpacity(accent, 0.08) : LabPalette::withOpacity(LabPalette::cardBackground().resolved(colors), 0.5));
    painter.drawRoundedRect(shape, 16, 16);
    QPen dashes(m_targeted ? accent : LabPalette::border().resolved(colors), 2);
    dashes.setDashPattern({4, 2}); // in pen widths: 8 px dashes, 4 px gaps
    painter.setPen(dashes);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(shape, 16, 16);
}

void DropZoneArea::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        showState();
}

void DropZoneArea::dragEnterEvent(QDragEnterEvent *event)
{
    if (!m_accepting || localPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setTargeted(true);
}

void DropZoneArea::dragMoveEvent(QDragMoveEvent *event)
{
    if (!m_accepting || localPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DropZoneArea::dragLeaveEvent(QDragLeaveEvent *event)
{
    setTargeted(false);
    event->accept();
}

void DropZoneArea::dropEvent(QDropEvent *event)
{
    setTargeted(false);
    const QStringList paths = localPaths(event->mimeData());
    if (!m_accepting || paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Q_EMIT filesDropped(paths);
}
