// SPDX-License-Identifier: MIT
#include "SnapshotRowView.h"

#include "LabPalette.h"
#include "SnapshotTimelineTexts.h"
#include "Symbols.h"
#include "TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

/// The timeline marker: the circle at the top and the connector line to the bottom of the row.
class TimelineMarker final : public QWidget
{
public:
    explicit TimelineMarker(bool active)
        : m_active(active)
    {
        setFixedWidth(12);
        setObjectName(QStringLiteral("snapshotRow.marker"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF circle(0, 12, 12, 12);
        painter.setPen(Qt::NoPen);
        painter.setBrush(LabPalette::withOpacity(LabPalette::border().resolved(palette()), 0.5));
        painter.drawRect(QRectF(5, circle.bottom(), 2, height() - circle.bottom()));
        painter.setBrush(m_active ? LabPalette::accent().resolved(palette()) : LabPalette::cardBackground().resolved(palette()));
        if (!m_active)
            painter.setPen(QPen(LabPalette::border().resolved(palette()), 1));
        painter.drawEllipse(circle);
        if (m_active) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(Qt::white, 2));
            painter.drawEllipse(circle.adjusted(2, 2, -2, -2));
        }
    }

private:
    bool m_active;
};

/// The "ACTIVE" capsule: accent text on the accent at 20 %.
class ActiveBadge final : public QLabel
{
public:
    ActiveBadge()
        : QLabel(QStringLiteral("ACTIVE"))
    {
        setObjectName(QStringLiteral("snapshotRow.active"));
        TextStyle::applyFont(*this, TextRole::caption2, QFont::Bold);
        setContentsMargins(6, 2, 6, 2);
        setAlignment(Qt::AlignCenter);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor accent = LabPalette::accent().resolved(palette());
        painter.setPen(Qt::NoPen);
        painter.setBrush(LabPalette::withOpacity(accent, 0.2));
        const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
        TextStyle::tint(*this, accent);
        QLabel::paintEvent(event);
    }
};

/// At most two lines of the notes, the second ending in "…" when more follow.
QString twoLines(const QString &notes, const QFont &font, int width)
{
    QString flat = notes;
    flat.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flat, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    qsizetype consumed = 0;
    for (int index = 0; index < 2; ++index) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        lines.append(flat.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator).trimmed());
        consumed = line.textStart() + line.textLength();
    }
    layout.endLayout();
    if (consumed < flat.size() && !lines.isEmpty())
        lines.last() = QFontMetrics(font).elidedText(lines.last() + QStringLiteral(" \u2026"), Qt::ElideRight, width);
    return lines.join(QLatin1Char('\n'));
}

QToolButton *rowButton(const QString &symbol, const QString &tooltip, const QString &name, const QColor &tint)
{
    auto *button = new QToolButton;
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setToolTip(tooltip);
    button->setIcon(QIcon(Symbols::tinted(symbol, tint, 16)));
    button->setIconSize(QSize(16, 16));
    return button;
}

QWidget *iconText(const QString &symbol, const QString &text, TextRole style, TextTone tone, const QString &name = {})
{
    auto *line = new QWidget;
    auto *row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    QLabel *label = TextStyle::line(text, style, tone);
    auto *icon = new QLabel;
    icon->setPixmap(Symbols::tinted(symbol, label->palette().color(label->foregroundRole()), 12));
    row->addWidget(icon);
    row->addWidget(label);
    row->addStretch(1);
    if (!name.isEmpty())
        label->setObjectName(name);
    return line;
}

} // namespace

SnapshotRowView::SnapshotRowView(const VMSnapshotTimeline &timeline, const VMSnapshot &snapshot, QWidget *parent)
    : QWidget(parent)
    , m_snapshot(snapshot)
    , m_restore(rowButton(QStringLiteral("arrow.counterclockwise"), QStringLiteral("Restore to this snapshot"),
          QStringLiteral("snapshotRow.restore"), TextStyle::color(TextTone::secondary, palette())))
    , m_rename(rowButton(QStringLiteral("pencil"), QStringLiteral("Rename snapshot"), QStringLiteral("snapshotRow.rename"),
          TextStyle::color(TextTone::secondary, palette())))
    , m_delete(rowButton(
          QStringLiteral("trash"), QStringLiteral("Delete snapshot"), QStringLiteral("snapshotRow.delete"), LabPalette::systemRed().light))
{
    setObjectName(QStringLiteral("snapshotRow:") + snapshot.id.toString(QUuid::WithoutBraces).toUpper());
    const bool active = SnapshotTimelineTexts::isActive(timeline, snapshot);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(14);
    layout->addWidget(new TimelineMarker(active));

    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 10, 0, 10);
    column->setSpacing(6);
    layout->addLayout(column, 1);

    auto *titleLine = new QHBoxLayout;
    titleLine->setSpacing(6);
    QLabel *name = TextStyle::line(snapshot.name, TextRole::body);
    name->setObjectName(QStringLiteral("snapshotRow.name"));
    QFont nameFont = name->font();
    nameFont.setWeight(QFont::Medium);
    name->setFont(nameFont);
    titleLine->addWidget(name);
    if (active)
        titleLine->addWidget(new ActiveBadge);
    if (snapshot.isAutoSnapshot) {
        auto *gear = new QLabel;
        gear->setObjectName(QStringLiteral("snapshotRow.auto"));
        gear->setToolTip(QStringLiteral("Taken automatically"));
        gear->setPixmap(Symbols::tinted(QStringLiteral("gearshape"), TextStyle::color(TextTone::secondary, palette()), 12));
        titleLine->addWidget(gear);
    }
    titleLine->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(m_restore);
    buttons->addWidget(m_rename);
    buttons->addWidget(m_delete);
    titleLine->addLayout(buttons);
    column->addLayout(titleLine);

    auto *details = new QHBoxLayout;
    details->setSpacing(12);
    details->addWidget(
        iconText(QStringLiteral("clock"), SnapshotTimelineTexts::dateText(snapshot.createdAt), TextRole::caption, TextTone::secondary));
    details->addWidget(iconText(QStringLiteral("cpu"), snapshot.hardwareSummary(), TextRole::caption, TextTone::secondary));
    details->addStretch(1);
    column->addLayout(details);

    if (!snapshot.notes.isEmpty()) {
        QLabel *notes = TextStyle::line(QString(), TextRole::caption, TextTone::tertiary);
        notes->setObjectName(QStringLiteral("snapshotRow.notes"));
        notes->setText(twoLines(snapshot.notes, notes->font(), 420));
        notes->setToolTip(QStringLiteral("<p>") + snapshot.notes.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"))
            + QStringLiteral("</p>"));
        column->addWidget(notes);
    }
    if (const std::optional<QString> lineage = SnapshotTimelineTexts::lineageText(timeline, snapshot))
        column->addWidget(iconText(
            QStringLiteral("arrow.turn.up.left"), *lineage, TextRole::caption2, TextTone::tertiary, QStringLiteral("snapshotRow.lineage")));

    connect(m_restore, &QToolButton::clicked, this, &SnapshotRowView::restoreRequested);
    connect(m_rename, &QToolButton::clicked, this, &SnapshotRowView::renameRequested);
    connect(m_delete, &QToolButton::clicked, this, &SnapshotRowView::deleteRequested);
}

void SnapshotRowView::setActionsEnabled(bool enabled)
{
    m_restore->setEnabled(enabled);
    m_rename->setEnabled(enabled);
    m_delete->setEnabled(enabled);
}
