// SPDX-License-Identifier: MIT
#include "EmptyStateView.h"

#include "LabPalette.h"
#include "LabPanel.h"
#include "Symbols.h"
#include "TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

/// The round hero icon: an accent-to-teal disc behind the "new machine" symbol.
class HeroIcon final : public QWidget
{
public:
    HeroIcon() { setFixedSize(104, 104); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor accent = LabPalette::accent().resolved(palette());
        const QColor teal = LabPalette::teal().resolved(palette());
        QLinearGradient disc(rect().topLeft(), rect().bottomRight());
        disc.setColorAt(0, LabPalette::withOpacity(accent, 0.26));
        disc.setColorAt(1, LabPalette::withOpacity(teal, 0.16));
        painter.setPen(Qt::NoPen);
        painter.setBrush(disc);
        painter.drawEllipse(rect());
        const QRect symbol(rect().center() - QPoint(23, 23), QSize(46, 46));
        painter.drawPixmap(symbol, Symbols::tinted(QStringLiteral("macwindow.badge.plus"), accent, 46));
    }
};

QLabel *plainLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

/// A feature line's symbol, tinted anew whenever the palette changes.
class FeatureSymbol final : public QLabel
{
public:
    explicit FeatureSymbol(const QString &symbol)
        : m_symbol(symbol)
    {
        setObjectName(QStringLiteral("library.emptyState.featureIcon"));
        tint();
    }

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::PaletteChange)
            tint();
        QLabel::changeEvent(event);
    }

private:
    void tint()
    {
        // Opaque and well apart from the window: a theme's placeholder colour may be half transparent, and thin symbols fade in it.
        const QColor text = palette().color(QPalette::WindowText);
        const QColor window = palette().color(QPalette::Window);
        const QColor ink = QColor::fromRgbF(0.7f * text.redF() + 0.3f * window.redF(), 0.7f * text.greenF() + 0.3f * window.greenF(),
            0.7f * text.blueF() + 0.3f * window.blueF());
        setPixmap(Symbols::tinted(m_symbol, ink, 16));
    }

    QString m_symbol;
};

QWidget *featureLine(const QString &text, const QString &symbol)
{
    auto *line = new QWidget;
    auto *row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto *icon = new FeatureSymbol(symbol);
    row->addWidget(icon);
    auto *label = plainLabel(text);
    TextStyle::applyTone(*label, TextTone::secondary);
    row->addWidget(label, 1);
    return line;
}

} // namespace

EmptyStateView::EmptyStateView(std::function<void()> createAction, std::function<void()> importAction, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("library.emptyState"));
    auto *panel = new LabPanel(28);
    panel->setMaximumWidth(680);
    auto *stack = new QVBoxLayout(panel);
    stack->setContentsMargins(LabPanel::shadowMargins() + QMargins(40, 40, 40, 40));
    stack->setSpacing(22);
    stack->addWidget(new HeroIcon, 0, Qt::AlignHCenter);

    auto *title = plainLabel(tr("No Virtual Machines Yet"));
    title->setFont(TextStyle::font(TextRole::largeTitle));
    title->setAlignment(Qt::AlignHCenter);
    auto *body
        = plainLabel(tr("Build a fast, portable library of virtual machines with self-contained bundles that reopen from local storage, "
                        "custom folders, and external SSDs."));
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignHCenter);
    body->setMaximumWidth(480);
    TextStyle::applyTone(*body, TextTone::secondary);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(8);
    texts->addWidget(title, 0, Qt::AlignHCenter);
    // Without an alignment the column gives the wrapped text the height its width needs.
    texts->addWidget(body);
    stack->addLayout(texts);

    auto *features = new QVBoxLayout;
    features->setSpacing(10);
    features->setContentsMargins(20, 0, 20, 0);
    features->addWidget(
        featureLine(tr("Create a new Linux or Windows VM from an installer image"), QStringLiteral("square.and.arrow.down")));
    features->addWidget(featureLine(tr("Adjust hardware, folders, and runtime settings later"), QStringLiteral("slider.horizontal.3")));
    features->addWidget(featureLine(tr("Back up or restore by copying and importing a .vm bundle"), QStringLiteral("shippingbox")));
    stack->addLayout(features);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch();
    if (createAction) {
        m_create = new QPushButton(tr("Create Virtual Machine"));
        m_create->setObjectName(QStringLiteral("library.emptyState.create"));
        m_create->setDefault(true);
        connect(m_create, &QPushButton::clicked, this, [createAction] { createAction(); });
        buttons->addWidget(m_create);
    }
    if (importAction) {
        m_import = new QPushButton(tr("Import Existing Bundle"));
        m_import->setObjectName(QStringLiteral("library.emptyState.import"));
        connect(m_import, &QPushButton::clicked, this, [importAction] { importAction(); });
        buttons->addWidget(m_import);
    }
    buttons->addStretch();
    stack->addLayout(buttons);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(40, 40, 40, 40);
    outer->addStretch();
    outer->addWidget(panel, 0, Qt::AlignHCenter);
    outer->addStretch();
}
