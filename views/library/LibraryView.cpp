// SPDX-License-Identifier: MIT
#include "LibraryView.h"

#include "EmptyStateView.h"
#include "ErrorBannerView.h"
#include "LabPalette.h"
#include "LibraryViewModel.h"
#include "NoSelectionView.h"
#include "Symbols.h"
#include "ViewCommand.h"

#include <QAction>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>

namespace {

QAction *command(QObject *parent, const QString &objectName, const QString &title, const QString &symbol)
{
    auto *action = new QAction(Symbols::icon(symbol), title, parent);
    action->setObjectName(objectName);
    return action;
}

} // namespace

LibraryView::LibraryView(LibraryViewModel &viewModel, Actions actions, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_actions(std::move(actions))
    , m_refresh(command(this, QStringLiteral("library.action.refresh"), tr("Refresh"), QStringLiteral("arrow.clockwise")))
    , m_create(command(this, QStringLiteral("library.action.create"), tr("Create VM"), QStringLiteral("plus")))
    , m_fromTemplate(command(this, QStringLiteral("library.action.fromTemplate"), tr("From Template"), QStringLiteral("doc.on.doc")))
    , m_import(command(this, QStringLiteral("library.action.import"), tr("Import VM"), QStringLiteral("square.and.arrow.down")))
    , m_backup(command(this, QStringLiteral("library.action.backup"), tr("Backup VM"), QStringLiteral("archivebox")))
    , m_splitter(new QSplitter(Qt::Horizontal))
    , m_sidebar(new SidebarVMListView(viewModel, m_actions.openConsole))
    , m_detailColumn(new QStackedWidget)
    , m_emptyState(new EmptyStateView([this] { m_create->trigger(); }, [this] { m_import->trigger(); }))
    , m_noSelection(new NoSelectionView)
    , m_banner(new ErrorBannerView(this))
{
    setObjectName(QStringLiteral("library"));
    m_splitter->setObjectName(QStringLiteral("library.splitter"));
    m_banner->setObjectName(QStringLiteral("library.banner"));
    m_detailColumn->setObjectName(QStringLiteral("library.detailColumn"));
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_detailColumn);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({320, 780});
    m_splitter->setChildrenCollapsible(false);
    m_sidebar->setMinimumWidth(260);
    m_detailColumn->addWidget(m_emptyState);
    m_detailColumn->addWidget(m_noSelection);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    m_create->setEnabled(bool(m_actions.createVM));
    m_fromTemplate->setEnabled(bool(m_actions.showTemplateLibrary));
    m_emptyState->createButton()->setEnabled(bool(m_actions.createVM));

    connect(m_refresh, &QAction::triggered, this, [this] { ViewCommand::start(*this, m_viewModel.reload(), bannerReport()); });
    connect(m_create, &QAction::triggered, this, [this] {
        if (m_actions.createVM)
            m_actions.createVM();
    });
    connect(m_fromTemplate, &QAction::triggered, this, [this] {
        if (m_actions.showTemplateLibrary)
            m_actions.showTemplateLibrary();
    });
    connect(m_import, &QAction::triggered, this, [this] { ViewCommand::start(*this, m_viewModel.importBundle(), bannerReport()); });
    connect(m_backup, &QAction::triggered, this, [this] {
        if (const std::optional<QUuid> id = m_viewModel.selectedBundleID())
            ViewCommand::start(*this, m_viewModel.backupBundle(*id), bannerReport());
    });

    connect(&m_viewModel, &LibraryViewModel::bundlesChanged, this, [this] {
        updateDetailColumn();
        updateCommands();
    });
    connect(&m_viewModel, &LibraryViewModel::selectedBundleIDChanged, this, [this] {
        updateDetailColumn();
        updateCommands();
    });
    connect(&m_viewModel, &LibraryViewModel::bannerMessageChanged, this, &LibraryView::updateBanner);
    connect(m_banner, &ErrorBannerView::dismissed, this, [this] { m_viewModel.setBannerMessage(std::nullopt); });

    updateDetailColumn();
    updateCommands();
    updateBanner();
}

LibraryView::~LibraryView() = default;

QList<QAction *> LibraryView::toolbarActions() const
{
    return {m_refresh, m_create, m_fromTemplate, m_import, m_backup};
}

ViewCommand::FailureReport LibraryView::bannerReport() const
{
    return [model = &m_viewModel](const QString &message) { model->setBannerMessage(message); };
}

void LibraryView::updateDetailColumn()
{
    const std::optional<VMBundle> selected = m_viewModel.selectedBundle();
    const std::optional<QUuid> id = selected ? std::optional<QUuid>(selected->id()) : std::nullopt;
    if (id == m_detailsID && (m_details || !id)) {
        if (!m_details)
            showPlaceholder();
        return;
    }
    if (m_details) {
        m_detailColumn->removeWidget(m_details);
        m_details->deleteLater();
        m_details = nullptr;
    }
    m_detailsID = id;
    if (id && m_actions.makeDetailsView) {
        m_details = m_actions.makeDetailsView(*id);
        m_detailColumn->addWidget(m_details);
        m_detailColumn->setCurrentWidget(m_details);
    } else {
        showPlaceholder();
    }
}

void LibraryView::showPlaceholder()
{
    if (m_viewModel.allBundles().isEmpty()) {
        m_detailColumn->setCurrentWidget(m_emptyState);
        return;
    }
    m_noSelection->setHint(
        m_viewModel.bundles().isEmpty() ? tr("No VM matches the search.") : tr("Select a VM in the list to see its details."));
    m_detailColumn->setCurrentWidget(m_noSelection);
}

void LibraryView::updateCommands()
{
    m_backup->setEnabled(m_viewModel.isSelectedBundleStopped());
}

void LibraryView::updateBanner()
{
    const std::optional<QString> &message = m_viewModel.bannerMessage();
    if (message)
        m_banner->setMessage(*message, m_viewModel.bannerKind());
    m_banner->setVisible(message.has_value());
    placeBanner();
    if (message)
        m_banner->raise();
}

void LibraryView::placeBanner()
{
    // The content moves down below the banner, so the banner never hides the search field or a card.
    if (!m_banner->isVisibleTo(this)) {
        layout()->setContentsMargins(0, 0, 0, 0);
        return;
    }
    const int width = qMax(0, this->width() - 32);
    const int height = qMax(m_banner->hasHeightForWidth() ? m_banner->heightForWidth(width) : m_banner->sizeHint().height(),
        m_banner->minimumSizeHint().height());
    m_banner->setGeometry(16, 16, width, height);
    layout()->setContentsMargins(0, 16 + height + 8, 0, 0);
}

void LibraryView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeBanner();
}

void LibraryView::paintEvent(QPaintEvent *)
{
    // The window background: the window colour drifting towards a faint accent.
    QPainter painter(this);
    const QColor base = palette().color(QPalette::Window);
    const QColor accent = LabPalette::accent().resolved(palette());
    QLinearGradient background(rect().topLeft(), rect().bottomRight());
    background.setColorAt(0, base);
    QColor tinted = base;
    tinted.setRgbF(base.redF() * 0.94f + accent.redF() * 0.06f, base.greenF() * 0.94f + accent.greenF() * 0.06f,
        base.blueF() * 0.94f + accent.blueF() * 0.06f);
    background.setColorAt(1, tinted);
    painter.fillRect(rect(), background);
}
