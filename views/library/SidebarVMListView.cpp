// SPDX-License-Identifier: MIT
#include "SidebarVMListView.h"

#include "BundleListModel.h"
#include "ColorTagColors.h"
#include "DestructiveConfirmation.h"
#include "LibraryViewModel.h"
#include "RenameDialog.h"
#include "Symbols.h"
#include "TextStyle.h"
#include "VMCardDelegate.h"
#include "VMDeletionTexts.h"
#include "VMDetailsActions.h"
#include "ViewCommand.h"
#include "VirtualMachineError.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScopedValueRollback>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QIcon colorDot(const QColor &color)
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(5, 5, 10, 10));
    return QIcon(pixmap);
}

QAction *addItem(QMenu &menu, const QString &objectName, const QString &title, const QString &symbol)
{
    QAction *action = menu.addAction(Symbols::icon(symbol), title);
    action->setObjectName(objectName);
    return action;
}

} // namespace

SidebarVMListView::SidebarVMListView(LibraryViewModel &viewModel, ConsoleOpener openConsole, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_openConsole(std::move(openConsole))
    , m_search(new QLineEdit)
    , m_sort(new QToolButton)
    , m_list(new QListView)
    , m_model(new BundleListModel(viewModel, this))
    , m_delegate(new VMCardDelegate(*m_model, this))
    , m_noMatches(new QWidget)
    , m_noMatchesText(new QLabel)
{
    setObjectName(QStringLiteral("sidebar"));
    QWidget *searchBar = makeSearchBar();
    setUpList();
    setUpNoMatches();

    auto *divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(searchBar);
    stack->addWidget(divider);
    stack->addWidget(m_list, 1);
    stack->addWidget(m_noMatches, 1);

    connectViewModel();
    m_search->setText(m_viewModel.searchText());
    selectFromViewModel();
    updateNoMatches();
}

SidebarVMListView::~SidebarVMListView() = default;

QWidget *SidebarVMListView::makeSearchBar()
{
    auto *searchBar = new QWidget;
    searchBar->setObjectName(QStringLiteral("sidebar.searchBar"));
    searchBar->setAutoFillBackground(true);
    auto *searchRow = new QHBoxLayout(searchBar);
    searchRow->setContentsMargins(14, 8, 14, 8);
    searchRow->setSpacing(8);
    auto *glass = new QLabel;
    glass->setPixmap(Symbols::tinted(QStringLiteral("magnifyingglass"), TextStyle::color(TextTone::secondary, palette()), 14));
    searchRow->addWidget(glass);
    m_search->setObjectName(QStringLiteral("sidebar.search"));
    m_search->setPlaceholderText(tr("Search VMs..."));
    m_search->setFrame(false);
    m_search->setClearButtonEnabled(true);
    searchRow->addWidget(m_search, 1);
    m_sort->setObjectName(QStringLiteral("sidebar.sort"));
    m_sort->setIcon(Symbols::icon(QStringLiteral("arrow.up.arrow.down")));
    m_sort->setToolTip(tr("Sort"));
    m_sort->setPopupMode(QToolButton::InstantPopup);
    m_sort->setAutoRaise(true);
    m_sort->setFixedWidth(28);
    searchRow->addWidget(m_sort);
    buildSortMenu();
    return searchBar;
}

void SidebarVMListView::setUpList()
{
    m_list->setObjectName(QStringLiteral("sidebar.list"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(m_delegate);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setUniformItemSizes(true);
    m_list->setMouseTracking(true);
    m_list->viewport()->setAttribute(Qt::WA_Hover);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setSpacing(0);
    m_list->setContentsMargins(0, 7, 0, 7);
}

void SidebarVMListView::setUpNoMatches()
{
    m_noMatches->setObjectName(QStringLiteral("sidebar.noMatches"));
    auto *noMatches = new QVBoxLayout(m_noMatches);
    noMatches->setContentsMargins(12, 40, 12, 12);
    noMatches->setSpacing(8);
    auto *noMatchesIcon = new QLabel;
    noMatchesIcon->setPixmap(Symbols::tinted(QStringLiteral("magnifyingglass"), TextStyle::color(TextTone::secondary, palette()), 24));
    noMatches->addWidget(noMatchesIcon, 0, Qt::AlignHCenter);
    m_noMatchesText->setObjectName(QStringLiteral("sidebar.noMatches.text"));
    m_noMatchesText->setTextFormat(Qt::PlainText);
    m_noMatchesText->setWordWrap(true);
    m_noMatchesText->setAlignment(Qt::AlignHCenter);
    TextStyle::applyTone(*m_noMatchesText, TextTone::secondary);
    noMatches->addWidget(m_noMatchesText);
    noMatches->addStretch();
}

void SidebarVMListView::connectViewModel()
{
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text != m_viewModel.searchText())
            m_viewModel.setSearchText(text);
    });
    connect(&m_viewModel, &LibraryViewModel::searchTextChanged, this, [this] {
        if (m_search->text() != m_viewModel.searchText())
            m_search->setText(m_viewModel.searchText());
        m_viewModel.applyFilterAndSort();
        updateNoMatches();
    });
    connect(&m_viewModel, &LibraryViewModel::bundlesChanged, this, [this] {
        selectFromViewModel();
        updateNoMatches();
    });
    connect(&m_viewModel, &LibraryViewModel::selectedBundleIDChanged, this, &SidebarVMListView::selectFromViewModel);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &SidebarVMListView::selectFromList);
    connect(m_list, &QListView::customContextMenuRequested, this, &SidebarVMListView::showContextMenu);
    connect(m_delegate, &VMCardDelegate::deleteRequested, this, [this](const QUuid &id) {
        const QModelIndex index = m_model->indexOf(id);
        if (const std::optional<VMBundle> bundle = m_model->bundle(index))
            confirmDeletion(*bundle);
    });
}

QMessageBox *SidebarVMListView::deleteAlert() const
{
    return m_deleteAlert.data();
}

RenameDialog *SidebarVMListView::renameSheet() const
{
    return m_renameSheet.data();
}

void SidebarVMListView::buildSortMenu()
{
    auto *menu = new QMenu(m_sort);
    menu->setObjectName(QStringLiteral("sidebar.sortMenu"));
    auto *group = new QActionGroup(menu);
    group->setExclusive(true);
    for (const VMSortOrder order : allCases<VMSortOrder>()) {
        QAction *item = menu->addAction(Symbols::icon(systemImage(order)), title(order));
        item->setObjectName(QStringLiteral("sidebar.sort.") + toRaw(order));
        item->setCheckable(true);
        item->setData(QVariant::fromValue(int(order)));
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, order] {
            m_viewModel.setSortOrder(order);
            m_viewModel.applyFilterAndSort();
        });
    }
    // A style draws an item's symbol where its check mark would go, so the current order also carries one after its title.
    const auto markCurrent = [this, group] {
        for (QAction *item : group->actions()) {
            const auto order = VMSortOrder(item->data().toInt());
            const bool current = order == m_viewModel.sortOrder();
            item->setChecked(current);
            item->setText(current ? title(order) + QStringLiteral("\t✓") : title(order));
        }
    };
    connect(&m_viewModel, &LibraryViewModel::sortOrderChanged, group, markCurrent);
    markCurrent();
    m_sort->setMenu(menu);
}

void SidebarVMListView::selectFromViewModel()
{
    const QScopedValueRollback syncing(m_syncingSelection, true);
    const std::optional<QUuid> &selected = m_viewModel.selectedBundleID();
    const QModelIndex index = selected ? m_model->indexOf(*selected) : QModelIndex();
    if (index.isValid()) {
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_list->scrollTo(index);
    } else {
        m_list->selectionModel()->clearSelection();
    }
    m_list->viewport()->update();
}

void SidebarVMListView::selectFromList()
{
    if (m_syncingSelection)
        return;
    const QModelIndexList selected = m_list->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        // Clicking beside the cards clears the list's selection, never the library's.
        selectFromViewModel();
        return;
    }
    if (const std::optional<VMBundle> bundle = m_model->bundle(selected.first()))
        m_viewModel.select(bundle->id());
}

void SidebarVMListView::updateNoMatches()
{
    const bool noMatches = m_viewModel.bundles().isEmpty() && !m_viewModel.searchText().isEmpty();
    m_noMatchesText->setText(tr("No VMs match \"%1\"").arg(m_viewModel.searchText()));
    m_noMatches->setVisible(noMatches);
    m_list->setVisible(!noMatches);
}

void SidebarVMListView::focusSearch()
{
    m_search->setFocus(Qt::ShortcutFocusReason);
    m_search->selectAll();
}

void SidebarVMListView::showContextMenu(const QPoint &position)
{
    const std::optional<VMBundle> bundle = m_model->bundle(m_list->indexAt(position));
    if (!bundle)
        return;
    QMenu *menu = contextMenu(*bundle).release();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

std::unique_ptr<QMenu> SidebarVMListView::contextMenu(const VMBundle &bundle)
{
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("sidebar.contextMenu"));
    const QUuid id = bundle.id();
    const VMMetadata &metadata = bundle.metadata;

    connect(addItem(*menu, QStringLiteral("sidebar.menu.rename"), tr("Rename"), QStringLiteral("pencil")), &QAction::triggered, this,
        [this, bundle] { beginRename(bundle); });
    menu->addSeparator();

    if (metadata.installState == VMInstallState::installed) {
        // Which items a state offers, and whether they can be pressed, follow the details pane's buttons.
        const VMDetailsActions::Inputs inputs = m_viewModel.actionInputs(bundle);
        const auto command = [&](const QString &objectName, const QString &title, const QString &symbol, VMDetailsAction rule,
                                 std::function<QCoro::Task<>()> run) {
            QAction *item = addItem(*menu, objectName, title, symbol);
            item->setEnabled(VMDetailsActions::isEnabled(inputs, rule));
            connect(item, &QAction::triggered, this, [this, run = std::move(run)] { ViewCommand::start(*this, run(), bannerReport()); });
            return item;
        };
        if (VMDetailsActions::applies(inputs, VMDetailsAction::start)) {
            command(QStringLiteral("sidebar.menu.start"), tr("Start"), QStringLiteral("play"), VMDetailsAction::start,
                [this, id] { return m_viewModel.start(id, false); });
            if (VMDetailsActions::applies(inputs, VMDetailsAction::resumeSavedState)) {
                command(QStringLiteral("sidebar.menu.resume"), tr("Resume Saved State"), QStringLiteral("arrow.clockwise"),
                    VMDetailsAction::resumeSavedState, [this, id] { return m_viewModel.start(id, true); });
            }
            menu->addSeparator();
            command(QStringLiteral("sidebar.menu.duplicate"), tr("Duplicate"), QStringLiteral("plus.square.on.square"),
                VMDetailsAction::clone, [this, id] { return m_viewModel.cloneBundle(id); });
            connect(addItem(*menu, QStringLiteral("sidebar.menu.backup"), tr("Backup..."), QStringLiteral("archivebox")),
                &QAction::triggered, this, [this, id] { ViewCommand::start(*this, m_viewModel.backupBundle(id), bannerReport()); });
        } else {
            QAction *console
                = addItem(*menu, QStringLiteral("sidebar.menu.openConsole"), tr("Open Console"), QStringLiteral("rectangle.on.rectangle"));
            console->setEnabled(bool(m_openConsole));
            connect(console, &QAction::triggered, this, [this, id] {
                m_viewModel.setSelectedBundleID(id);
                if (m_openConsole)
                    m_openConsole(id);
            });
            command(QStringLiteral("sidebar.menu.stop"), tr("Stop"), QStringLiteral("stop"), VMDetailsAction::stop,
                [this, id] { return m_viewModel.stop(id); });
        }
        menu->addSeparator();
    }

    QMenu *tags = menu->addMenu(Symbols::icon(QStringLiteral("tag")), tr("Color Tag"));
    tags->setObjectName(QStringLiteral("sidebar.menu.colorTag"));
    tags->menuAction()->setObjectName(QStringLiteral("sidebar.menu.colorTag"));
    for (const VMColorTag tag : allCases<VMColorTag>()) {
        QAction *item = tags->addAction(colorDot(ColorTagColors::color(tag)), ColorTagColors::title(tag));
        item->setObjectName(QStringLiteral("sidebar.menu.colorTag.") + toRaw(tag));
        item->setCheckable(true);
        item->setChecked(metadata.colorTag == tag);
        connect(item, &QAction::triggered, this, [this, id, tag] { m_viewModel.setColorTag(id, tag); });
    }
    tags->addSeparator();
    QAction *removeTag = tags->addAction(tr("Remove Tag"));
    removeTag->setObjectName(QStringLiteral("sidebar.menu.colorTag.remove"));
    removeTag->setEnabled(metadata.colorTag.has_value());
    connect(removeTag, &QAction::triggered, this, [this, id] { m_viewModel.setColorTag(id, std::nullopt); });

    connect(addItem(*menu, QStringLiteral("sidebar.menu.reveal"), tr("Show in File Manager"), QStringLiteral("folder")),
        &QAction::triggered, this, [this, id] { m_viewModel.revealBundle(id); });
    menu->addSeparator();
    connect(addItem(*menu, QStringLiteral("sidebar.menu.delete"), tr("Delete"), QStringLiteral("trash")), &QAction::triggered, this,
        [this, bundle] { confirmDeletion(bundle); });
    return menu;
}

void SidebarVMListView::requestDeleteSelected()
{
    if (const std::optional<VMBundle> selected = m_viewModel.selectedBundle())
        confirmDeletion(*selected);
}

void SidebarVMListView::requestRenameSelected()
{
    if (const std::optional<VMBundle> selected = m_viewModel.selectedBundle())
        beginRename(*selected);
}

void SidebarVMListView::confirmDeletion(const VMBundle &bundle)
{
    // A VM that cannot go now is refused before the question, not after it.
    if (m_deleteAlert || !m_viewModel.mayDelete(bundle.id()))
        return;
    m_bundleToDelete = bundle;
    const DestructiveConfirmation confirmation {QStringLiteral("sidebar.deleteAlert"), VMDeletionTexts::title(bundle),
        VMDeletionTexts::message(bundle), tr("Delete"), VMDeletionTexts::consequence()};
    // Cancel answers Return (also the rename shortcut) and Escape, so both keep the VM.
    const QPointer<SidebarVMListView> self(this);
    QMessageBox *alert = confirmation.open(window(), [self] {
        if (self)
            self->finishDeletion(true);
    });
    connect(alert, &QMessageBox::finished, this, [this] { finishDeletion(false); });
    m_deleteAlert = alert;
}

void SidebarVMListView::finishDeletion(bool confirmed)
{
    const std::optional<VMBundle> bundle = std::exchange(m_bundleToDelete, std::nullopt);
    if (!confirmed || !bundle)
        return;
    try {
        m_viewModel.deleteBundle(bundle->id());
    } catch (const VirtualMachineError &error) {
        m_viewModel.setBannerMessage(error.errorDescription());
    } catch (const std::exception &error) {
        m_viewModel.setBannerMessage(QString::fromUtf8(error.what()));
    }
}

void SidebarVMListView::beginRename(const VMBundle &bundle)
{
    if (m_renameSheet)
        return;
    m_bundleToRename = bundle;
    auto *sheet = new RenameDialog(window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setText(bundle.metadata.name);
    connect(sheet, &RenameDialog::committed, this, &SidebarVMListView::commitRename);
    connect(sheet, &QDialog::finished, this, [this] { m_bundleToRename.reset(); });
    m_renameSheet = sheet;
    sheet->open();
}

void SidebarVMListView::commitRename(const QString &text)
{
    if (const std::optional<VMBundle> bundle = std::exchange(m_bundleToRename, std::nullopt))
        m_viewModel.renameBundle(bundle->id(), text);
    closeRename();
}

ViewCommand::FailureReport SidebarVMListView::bannerReport() const
{
    return [model = &m_viewModel](const QString &message) { model->setBannerMessage(message); };
}

void SidebarVMListView::closeRename()
{
    if (m_renameSheet)
        m_renameSheet->accept();
}
