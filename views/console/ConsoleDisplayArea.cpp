// SPDX-License-Identifier: MIT
#include "ConsoleDisplayArea.h"

#include "GuestDisplayWidget.h"
#include "RfbConnection.h"
#include "TextStyle.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace {

/// The card that tells how to start the VM; painted as a translucent rounded panel.
class PlaceholderCard final : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 18, 18);
        QColor fill = palette().color(QPalette::Window);
        fill.setAlphaF(0.92f);
        painter.fillPath(path, fill);
        QColor edge = palette().color(QPalette::WindowText);
        edge.setAlphaF(0.12f);
        painter.setPen(QPen(edge, 1));
        painter.drawPath(path);
    }
};

/// The display asks for 900×640 points, less on a screen too small for that.
QSize preferredDisplaySize()
{
    const QSize wanted(900, 640);
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return wanted;
    // Room for the header and the window's frame within the console window's cap of 92 % of the screen.
    const QSize room = (QSizeF(screen->availableSize()) * 0.92).toSize() - QSize(0, 160);
    return wanted.boundedTo(room.expandedTo(QSize(320, 240)));
}

} // namespace

ConsoleDisplayArea::ConsoleDisplayArea(QWidget *parent, std::unique_ptr<GuestDisplayConnection> connection)
    : QWidget(parent)
    , m_connection(connection ? std::move(connection) : std::make_unique<RfbConnection>())
    , m_display(new GuestDisplayWidget(*m_connection, this))
    , m_placeholder(new QWidget(this))
    , m_hint(new QLabel(this))
    , m_stack(new QStackedLayout)
{
    m_display->setObjectName(QStringLiteral("console.display"));

    auto *card = new PlaceholderCard(m_placeholder);
    card->setObjectName(QStringLiteral("console.placeholder.card"));
    auto *symbol = new QLabel(card);
    symbol->setPixmap(QIcon::fromTheme(QStringLiteral("video-display")).pixmap(42, 42));
    symbol->setAlignment(Qt::AlignCenter);
    auto *title = new QLabel(tr("Virtual Machine Console"), card);
    title->setTextFormat(Qt::PlainText);
    title->setAlignment(Qt::AlignCenter);
    title->setFont(TextStyle::font(TextRole::title3, QFont::DemiBold));
    m_hint->setParent(card);
    m_hint->setObjectName(QStringLiteral("console.placeholder.hint"));
    m_hint->setTextFormat(Qt::PlainText);
    m_hint->setWordWrap(true);
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setMaximumWidth(340);
    TextStyle::applyTone(*m_hint, TextTone::secondary);
    auto *cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(28, 28, 28, 28);
    cardLayout->setSpacing(14);
    cardLayout->addWidget(symbol);
    cardLayout->addWidget(title);
    // Not aligned: an aligned label is narrowed to its size hint after its height was taken for the full width, and loses a line.
    cardLayout->addWidget(m_hint);

    m_placeholder->setObjectName(QStringLiteral("console.placeholder"));
    auto *centred = new QVBoxLayout(m_placeholder);
    centred->addWidget(card, 0, Qt::AlignCenter);

    m_stack->setStackingMode(QStackedLayout::StackAll);
    m_stack->addWidget(m_display);
    m_stack->addWidget(m_placeholder);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->addLayout(m_stack);
    // No minimum beyond the placeholder's: a smaller window shows the whole guest screen scaled down, never a cropped part.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    connect(m_connection.get(), &GuestDisplayConnection::disconnected, this, &ConsoleDisplayArea::handleFailure);
    connect(m_connection.get(), &GuestDisplayConnection::serverClosed, this, &ConsoleDisplayArea::handleServerClose);
}

ConsoleDisplayArea::~ConsoleDisplayArea()
{
    // The widget refers to the connection; it goes first.
    delete m_display;
}

QSize ConsoleDisplayArea::sizeHint() const
{
    return preferredDisplaySize();
}

void ConsoleDisplayArea::setPlaceholder(const std::optional<QString> &hint)
{
    if (hint) {
        m_hint->setText(*hint);
        m_placeholder->show();
        m_stack->setCurrentWidget(m_placeholder);
    } else {
        m_placeholder->hide();
    }
}

void ConsoleDisplayArea::follow(ConsoleDisplayLink link, GuestDisplayConnection::SocketPathSource socketPath, bool newRun)
{
    if (newRun || link != ConsoleDisplayLink::attach)
        m_reconnected = false;
    m_link = link;
    switch (link) {
    case ConsoleDisplayLink::attach:
        m_socketPath = socketPath;
        if (newRun || m_connection->status() == GuestDisplayConnection::Status::closed)
            m_connection->open(std::move(socketPath), socketPatience);
        return;
    case ConsoleDisplayLink::keep:
        return;
    case ConsoleDisplayLink::detach:
        m_connection->close();
        return;
    }
}

void ConsoleDisplayArea::handleFailure(const QString &message)
{
    if (m_link == ConsoleDisplayLink::attach)
        Q_EMIT displayFailed(message);
}

void ConsoleDisplayArea::handleServerClose()
{
    if (m_link != ConsoleDisplayLink::attach)
        return;
    if (m_reconnected) {
        Q_EMIT displayFailed(tr("The guest display closed the connection."));
        return;
    }
    m_reconnected = true;
    m_connection->open(m_socketPath, socketPatience);
}
