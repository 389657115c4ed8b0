// SPDX-License-Identifier: MIT
#include "TemplateLibraryDialog.h"

#include "DestructiveConfirmation.h"
#include "ErrorBannerView.h"
#include "LabPalette.h"
#include "Symbols.h"
#include "TemplateCard.h"
#include "TemplateLibraryViewModel.h"
#include "TextStyle.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

constexpr int minimumCardWidth = 280;
constexpr int gridSpacing = 14;
/// The "All" chip's identifier in the button group; the categories use their enumeration values.
constexpr int allCategoriesChip = 1000;

QToolButton *chip(const QString &title, const QString &symbol, const QString &name)
{
    auto *button = new QToolButton;
    button->setObjectName(name);
    button->setCheckable(true);
    button->setText(title);
    button->setFont(TextStyle::font(TextRole::caption));
    if (!symbol.isEmpty()) {
        button->setIcon(Symbols::icon(symbol));
        button->setIconSize(QSize(12, 12));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

TemplateLibraryDialog::TemplateLibraryDialog(std::unique_ptr<TemplateLibraryViewModel> viewModel, QWidget *parent)
    : QDialog(parent)
    , m_viewModel(std::move(viewModel))
{
    setObjectName(QStringLiteral("templateLibrary"));
    setWindowTitle(tr("Template Library"));
    setWindowModality(Qt::WindowModal);
    resize(700, 580);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(16);

    auto *header = new QVBoxLayout;
    header->setSpacing(8);
    header->addWidget(TextStyle::label(tr("VM Templates"), TextRole::title));
    header->addWidget(TextStyle::label(tr("Start with a pre-configured template or create your own."), TextRole::callout, true));
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("templates.search"));
    m_search->setPlaceholderText(tr("Search templates..."));
    m_search->setClearButtonEnabled(true);
    m_search->setMaximumWidth(300);
    connect(m_search, &QLineEdit::textChanged, m_viewModel.get(), &TemplateLibraryViewModel::setSearchText);
    header->addWidget(m_search);
    stack->addLayout(header);
    stack->addWidget(makeCategoryBar());

    m_banner = new ErrorBannerView;
    m_banner->setObjectName(QStringLiteral("templates.banner"));
    connect(
        m_banner, &ErrorBannerView::dismissed, m_viewModel.get(), [model = m_viewModel.get()] { model->setErrorMessage(std::nullopt); });
    stack->addWidget(m_banner);

    auto *empty = new QWidget;
    empty->setObjectName(QStringLiteral("templates.empty"));
    auto *emptyLayout = new QVBoxLayout(empty);
    emptyLayout->setSpacing(12);
    emptyLayout->addStretch();
    auto *emptyIcon = new QLabel;
    emptyIcon->setPixmap(Symbols::tinted(QStringLiteral("doc.on.doc"), TextStyle::color(TextTone::secondary, palette()), 32));
    emptyLayout->addWidget(emptyIcon, 0, Qt::AlignHCenter);
    QLabel *emptyText = TextStyle::label(tr("No templates match your search"), TextRole::headline, true);
    emptyText->setAlignment(Qt::AlignHCenter);
    emptyLayout->addWidget(emptyText);
    emptyLayout->addStretch();

    m_grid = new QWidget;
    m_grid->setObjectName(QStringLiteral("templates.gridContent"));
    m_gridLayout = new QGridLayout(m_grid);
    m_gridLayout->setContentsMargins(0, 0, 0, 0);
    m_gridLayout->setSpacing(gridSpacing);
    m_gridLayout->setAlignment(Qt::AlignTop);
    m_scroll = new QScrollArea;
    m_scroll->setObjectName(QStringLiteral("templates.grid"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_grid);
    m_scroll->viewport()->installEventFilter(this);

    m_content = new QStackedWidget;
    m_content->addWidget(empty);
    m_content->addWidget(m_scroll);
    stack->addWidget(m_content, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *close = new QPushButton(tr("Close"));
    close->setObjectName(QStringLiteral("templates.close"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(close);
    stack->addLayout(buttons);

    connect(m_viewModel.get(), &TemplateLibraryViewModel::templatesChanged, this, &TemplateLibraryDialog::rebuildCards);
    connect(m_viewModel.get(), &TemplateLibraryViewModel::errorMessageChanged, this, &TemplateLibraryDialog::refreshBanner);
    refreshChipColours();
    refreshBanner();
    rebuildCards();
}

TemplateLibraryDialog::~TemplateLibraryDialog() = default;

QWidget *TemplateLibraryDialog::makeCategoryBar()
{
    auto *bar = new QWidget;
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_chips = new QButtonGroup(this);
    m_chips->setExclusive(true);
    QToolButton *all = chip(tr("All"), {}, QStringLiteral("templates.category.all"));
    all->setChecked(true);
    m_chips->addButton(all, allCategoriesChip);
    layout->addWidget(all);
    for (const VMTemplateCategory category : allCases<VMTemplateCategory>()) {
        QToolButton *button = chip(displayName(category), symbolName(category), QStringLiteral("templates.category.") + toRaw(category));
        m_chips->addButton(button, int(category));
        layout->addWidget(button);
    }
    layout->addStretch();
    connect(m_chips, &QButtonGroup::idClicked, m_viewModel.get(), [model = m_viewModel.get()](int id) {
        model->setSelectedCategory(id == allCategoriesChip ? std::nullopt : std::optional(VMTemplateCategory(id)));
    });

    auto *scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("templates.categories"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setWidget(bar);
    m_categories = scroll;
    return scroll;
}

void TemplateLibraryDialog::refreshChipColours()
{
    const QPalette &colors = palette();
    const QColor accent = LabPalette::accent(colors);
    const QFont chipFont = TextStyle::font(TextRole::caption);
    const QString style
        = QStringLiteral("QToolButton { padding: 5px 9px; border-radius: 12px; border: 1px solid transparent; background-color: %1; "
                         "color: %2; font-size: %6; font-weight: 500; }"
                         "QToolButton:checked { background-color: %3; border-color: %4; color: %5; }")
              .arg(LabPalette::cardBackground().resolved(colors).name(QColor::HexArgb), colors.color(QPalette::WindowText).name(),
                  LabPalette::withOpacity(accent, 0.2).name(QColor::HexArgb), LabPalette::withOpacity(accent, 0.5).name(QColor::HexArgb),
                  accent.name(),
                  chipFont.pointSizeF() > 0 ? QString::number(chipFont.pointSizeF()) + QStringLiteral("pt")
                                            : QString::number(chipFont.pixelSize()) + QStringLiteral("px"));
    // A chip is as wide as its text and symbol; the style's own width for tool buttons leaves a gap.
    const QFontMetrics metrics(chipFont);
    for (QAbstractButton *button : m_chips->buttons()) {
        button->setStyleSheet(style);
        button->setFixedWidth(metrics.horizontalAdvance(button->text()) + (button->icon().isNull() ? 0 : 16) + 24);
    }
    // The chips' height follows their style.
    m_categories->setFixedHeight(m_categories->widget()->sizeHint().height() + 2);
}

void TemplateLibraryDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_chips)
        refreshChipColours();
}

void TemplateLibraryDialog::refreshBanner()
{
    const std::optional<QString> &message = m_viewModel->errorMessage();
    m_banner->setVisible(message.has_value());
    if (message)
        m_banner->setMessage(*message, m_viewModel->messageKind());
}

void TemplateLibraryDialog::rebuildCards()
{
    qDeleteAll(m_cards);
    m_cards.clear();
    const QList<VMTemplate> shown = m_viewModel->filteredTemplates();
    for (const VMTemplate &item : shown) {
        auto *card = new TemplateCard(item, true, m_grid);
        connect(card, &TemplateCard::clicked, this, [this, item] {
            Q_EMIT templateChosen(item);
            accept();
        });
        connect(card, &TemplateCard::deleteRequested, this, [this, item] { confirmDeletion(item); });
        m_cards << card;
    }
    m_content->setCurrentIndex(shown.isEmpty() ? 0 : 1);
    m_columns = 0;
    layOutCards();
}

void TemplateLibraryDialog::layOutCards()
{
    // Adaptive columns of at least 280 pixels, as many as the width allows.
    const int width = m_scroll->viewport()->width();
    const int columns = std::max(1, (width + gridSpacing) / (minimumCardWidth + gridSpacing));
    if (columns == m_columns)
        return;
    m_columns = columns;
    for (TemplateCard *card : std::as_const(m_cards))
        m_gridLayout->removeWidget(card);
    for (int column = 0; column < m_gridLayout->columnCount(); ++column)
        m_gridLayout->setColumnStretch(column, 0);
    for (qsizetype index = 0; index < m_cards.size(); ++index)
        m_gridLayout->addWidget(m_cards[index], int(index / columns), int(index % columns));
    for (int column = 0; column < columns; ++column)
        m_gridLayout->setColumnStretch(column, 1);
}

bool TemplateLibraryDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize)
        layOutCards();
    return QDialog::eventFilter(watched, event);
}

void TemplateLibraryDialog::confirmDeletion(const VMTemplate &doomed)
{
    const DestructiveConfirmation confirmation {QStringLiteral("templates.confirmDelete"), tr("Delete Template?"),
        tr("Delete the template \"%1\"? This cannot be undone.").arg(doomed.name), tr("Delete")};
    const QUuid id = doomed.id;
    confirmation.open(this, [this, id] { m_viewModel->deleteTemplate(id); });
}
