// SPDX-License-Identifier: MIT
#include "TemplateCard.h"

#include "LabPalette.h"
#include "SizeText.h"
#include "Symbols.h"
#include "TemplateLibraryViewModel.h"
#include "TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr qreal cornerRadius = 14;
constexpr int iconTile = 36;

/// A secondary caption that lets clicks through to the card.
QLabel *cardLabel(const QString &text, TextRole role, const char *name)
{
    QLabel *label = TextStyle::label(text, role, true);
    label->setObjectName(QLatin1String(name));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

/// A symbol and a caption, as the hardware row shows them.
QWidget *hardwareFigure(const QString &symbol, const QString &text, const char *name)
{
    auto *item = new QWidget;
    item->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *layout = new QHBoxLayout(item);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto *icon = new QLabel;
    icon->setPixmap(Symbols::icon(symbol).pixmap(12, 12));
    layout->addWidget(icon);
    QLabel *label = cardLabel(text, TextRole::caption2, name);
    label->setWordWrap(false);
    layout->addWidget(label);
    return item;
}

} // namespace

TemplateCard::TemplateCard(const VMTemplate &shown, bool deletable, QWidget *parent)
    : QAbstractButton(parent)
    , m_template(shown)
{
    setObjectName(QStringLiteral("templates.card"));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setAccessibleName(shown.name);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_icon = new QLabel;
    m_icon->setObjectName(QStringLiteral("templateCard.icon"));
    m_icon->setFixedSize(iconTile, iconTile);
    m_icon->setAlignment(Qt::AlignCenter);
    m_icon->setAttribute(Qt::WA_TransparentForMouseEvents);

    QLabel *name = cardLabel(shown.name, TextRole::headline, "templateCard.name");
    TextStyle::apply(*name, TextRole::headline);
    auto *nameRow = new QHBoxLayout;
    nameRow->setSpacing(6);
    nameRow->addWidget(name);
    if (shown.isBuiltIn) {
        m_badge = cardLabel(QStringLiteral("BUILT-IN"), TextRole::caption2, "templateCard.badge");
        QFont badgeFont = m_badge->font();
        badgeFont.setBold(true);
        m_badge->setFont(badgeFont);
        m_badge->setWordWrap(false);
        m_badge->setContentsMargins(5, 1, 5, 1);
        nameRow->addWidget(m_badge);
    }
    nameRow->addStretch();
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addLayout(nameRow);
    titles->addWidget(cardLabel(displayName(shown.category), TextRole::caption, "templateCard.category"));

    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(m_icon);
    header->addLayout(titles, 1);
    if (deletable && !shown.isBuiltIn) {
        m_delete = new QToolButton;
        m_delete->setObjectName(QStringLiteral("templateCard.delete"));
        m_delete->setAutoRaise(true);
        m_delete->setToolTip(tr("Delete Template"));
        m_delete->setAccessibleName(tr("Delete Template"));
        connect(m_delete, &QToolButton::clicked, this, &TemplateCard::deleteRequested);
        header->addWidget(m_delete, 0, Qt::AlignTop);
    }

    QLabel *description = cardLabel(shown.description, TextRole::caption, "templateCard.description");
    // Two lines at most, and every card as high as two lines, so that the grid's rows line up.
    description->setFixedHeight(description->fontMetrics().lineSpacing() * 2 + 3);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const VMHardwareProfile &hardware = shown.hardwareProfile;
    auto *figures = new QHBoxLayout;
    figures->setSpacing(12);
    figures->addWidget(hardwareFigure(QStringLiteral("cpu"), TemplateLibraryViewModel::cpuText(hardware.cpuCount), "templateCard.cpu"));
    figures->addWidget(hardwareFigure(QStringLiteral("memorychip"), SizeText::bytes(hardware.memorySizeBytes), "templateCard.memory"));
    figures->addWidget(hardwareFigure(QStringLiteral("internaldrive"), SizeText::bytes(hardware.diskSizeBytes), "templateCard.disk"));
    figures->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addLayout(header);
    layout->addWidget(description);
    layout->addLayout(figures);
    refreshColours();
}

QString TemplateCard::iconSymbol(const VMTemplate &shown)
{
    return Symbols::isKnown(shown.iconSystemName) ? shown.iconSystemName : symbolName(shown.category);
}

QSize TemplateCard::sizeHint() const
{
    return layout()->sizeHint();
}

QSize TemplateCard::minimumSizeHint() const
{
    return layout()->minimumSize();
}

void TemplateCard::refreshColours()
{
    const QPalette &colors = palette();
    const QColor accent = LabPalette::accent(colors);
    m_icon->setPixmap(Symbols::tinted(iconSymbol(m_template), accent, 22));
    m_icon->setStyleSheet(
        QStringLiteral("background-color: %1; border-radius: 8px;").arg(LabPalette::withOpacity(accent, 0.12).name(QColor::HexArgb)));
    if (m_badge)
        m_badge->setStyleSheet(QStringLiteral("background-color: %1; border-radius: 7px;")
                                   .arg(LabPalette::highlight().resolved(colors).name(QColor::HexArgb)));
    if (m_delete)
        m_delete->setIcon(
            QIcon(Symbols::tinted(QStringLiteral("trash"), LabPalette::withOpacity(LabPalette::systemRed().resolved(colors), 0.7), 14)));
}

void TemplateCard::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refreshColours();
}

void TemplateCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colors = palette();
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(LabPalette::cardBackground().resolved(colors));
    const QColor border = LabPalette::border().resolved(colors);
    painter.setPen(QPen(hasFocus() || underMouse() ? LabPalette::accent(colors) : LabPalette::withOpacity(border, 0.5), 1.0));
    painter.drawRoundedRect(shape, cornerRadius, cornerRadius);
}
