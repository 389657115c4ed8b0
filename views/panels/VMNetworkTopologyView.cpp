// SPDX-License-Identifier: MIT
#include "VMNetworkTopologyView.h"

#include "CardFrame.h"
#include "CreateNetworkDialog.h"
#include "LabPalette.h"
#include "Layouts.h"
#include "NetworkTopologyTexts.h"
#include "PanelEmptyState.h"
#include "Symbols.h"
#include "TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString idText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QToolButton *iconButton(const QString &symbol, const QColor &color, const QString &name, const QString &tooltip)
{
    auto *button = new QToolButton;
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setToolTip(tooltip);
    button->setIcon(QIcon(Symbols::tinted(symbol, color, 14)));
    button->setIconSize(QSize(14, 14));
    return button;
}

} // namespace

VMNetworkTopologyView::VMNetworkTopologyView(QWidget *parent)
    : LabPanel(LabPanel::detailsCornerRadius, parent)
    , m_body(new QStackedWidget)
    , m_cards(new QWidget)
    , m_cardsLayout(new QVBoxLayout(m_cards))
    , m_createSheet(new CreateNetworkDialog(this))
{
    setObjectName(QStringLiteral("networkTopology"));
    auto *layout = new QVBoxLayout(this);
    LabPanel::applyContentMargins(*layout);
    layout->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->addWidget(TextStyle::line(QStringLiteral("VM-to-VM Networking"), TextRole::headline));
    header->addStretch(1);
    auto *newNetwork = new QPushButton(Symbols::icon(QStringLiteral("plus")), QStringLiteral("New Network"));
    newNetwork->setObjectName(QStringLiteral("network.newNetwork"));
    header->addWidget(newNetwork);
    layout->addLayout(header);

    m_cardsLayout->setContentsMargins(0, 0, 0, 0);
    m_cardsLayout->setSpacing(12);
    m_body->addWidget(new PanelEmptyState({QStringLiteral("network.empty"), QStringLiteral("point.3.connected.trianglepath.dotted"), 28, 20,
        QStringLiteral("No Private Networks"), NetworkTopologyTexts::emptyStateMessage(), TextRole::caption, TextTone::tertiary}));
    m_body->addWidget(m_cards);
    layout->addWidget(m_body);

    connect(newNetwork, &QPushButton::clicked, m_createSheet, &QDialog::open);
    connect(m_createSheet, &CreateNetworkDialog::createRequested, this, &VMNetworkTopologyView::createNetworkRequested);
    rebuild();
}

void VMNetworkTopologyView::setPrivateNetworks(const QList<VMPrivateNetwork> &networks)
{
    m_networks = networks;
    rebuild();
}

void VMNetworkTopologyView::setAvailableVMs(const QList<VMBundle> &vms)
{
    m_vms = vms;
    rebuild();
}

void VMNetworkTopologyView::rebuild()
{
    Layouts::clear(*m_cardsLayout);
    for (const VMPrivateNetwork &network : m_networks)
        m_cardsLayout->addWidget(networkCard(network));
    m_body->setCurrentIndex(m_networks.isEmpty() ? 0 : 1);
}

QWidget *VMNetworkTopologyView::networkCard(const VMPrivateNetwork &network)
{
    auto *card = new CardFrame(14);
    card->setObjectName(QStringLiteral("networkCard:") + idText(network.id));
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(12);
    column->addLayout(networkHeader(network));
    if (!network.memberBundleIDs.isEmpty())
        column->addLayout(memberList(network));
    const QList<VMBundle> candidates = NetworkTopologyTexts::addCandidates(network, m_vms);
    if (!candidates.isEmpty())
        column->addWidget(addVMButton(candidates, PrivateNetworkID(network.id)), 0, Qt::AlignLeft);
    return card;
}

QLayout *VMNetworkTopologyView::networkHeader(const VMPrivateNetwork &network)
{
    auto *header = new QHBoxLayout;
    auto *icon = new QLabel;
    icon->setPixmap(Symbols::tinted(QStringLiteral("network"), LabPalette::accent().resolved(palette()), 20));
    header->addWidget(icon);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    QLabel *name = TextStyle::line(network.name, TextRole::body, TextTone::primary, QFont::Medium);
    name->setObjectName(QStringLiteral("networkCard.name"));
    titles->addWidget(name);
    QLabel *subtitle = TextStyle::line(NetworkTopologyTexts::subtitle(network), TextRole::caption, TextTone::secondary);
    subtitle->setObjectName(QStringLiteral("networkCard.subtitle"));
    titles->addWidget(subtitle);
    header->addLayout(titles);
    header->addStretch(1);
    QToolButton *remove = iconButton(QStringLiteral("trash"), LabPalette::withOpacity(LabPalette::systemRed().light, 0.7),
        QStringLiteral("networkCard.delete"), QStringLiteral("Delete network"));
    const PrivateNetworkID networkID(network.id);
    connect(remove, &QToolButton::clicked, this, [this, networkID] { Q_EMIT deleteNetworkRequested(networkID); });
    header->addWidget(remove);
    return header;
}

QLayout *VMNetworkTopologyView::memberList(const VMPrivateNetwork &network)
{
    auto *list = new QVBoxLayout;
    list->setSpacing(6);
    list->addWidget(TextStyle::line(QStringLiteral("Members"), TextRole::caption, TextTone::secondary, QFont::Medium));
    for (const VMBundle &vm : NetworkTopologyTexts::memberRows(network, m_vms))
        list->addWidget(memberRow(vm, PrivateNetworkID(network.id)));
    return list;
}

QWidget *VMNetworkTopologyView::memberRow(const VMBundle &vm, const PrivateNetworkID &networkID)
{
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("memberRow:") + idText(vm.id()));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto *computer = new QLabel;
    computer->setPixmap(Symbols::tinted(QStringLiteral("desktopcomputer"), palette().color(QPalette::WindowText), 12));
    line->addWidget(computer);
    line->addWidget(TextStyle::line(vm.metadata.name, TextRole::caption));
    line->addStretch(1);
    QToolButton *leave = iconButton(QStringLiteral("minus.circle"), LabPalette::withOpacity(LabPalette::systemRed().light, 0.6),
        QStringLiteral("memberRow.remove"), QStringLiteral("Remove from network"));
    const VMBundleID bundleID(vm.id());
    connect(leave, &QToolButton::clicked, this, [this, bundleID, networkID] { Q_EMIT removeMemberRequested(bundleID, networkID); });
    line->addWidget(leave);
    return row;
}

QToolButton *VMNetworkTopologyView::addVMButton(const QList<VMBundle> &candidates, const PrivateNetworkID &networkID)
{
    auto *add = new QToolButton;
    add->setObjectName(QStringLiteral("networkCard.addVM"));
    add->setText(QStringLiteral("Add VM"));
    add->setIcon(Symbols::icon(QStringLiteral("plus.circle")));
    add->setIconSize(QSize(12, 12));
    add->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    add->setAutoRaise(true);
    add->setPopupMode(QToolButton::InstantPopup);
    TextStyle::applyFont(*add, TextRole::caption);
    auto *menu = new QMenu(add);
    for (const VMBundle &vm : candidates) {
        // A "&" in an action's text marks a shortcut; doubled it shows as itself.
        QAction *entry = menu->addAction(QString(vm.metadata.name).replace(QLatin1Char('&'), QStringLiteral("&&")));
        entry->setObjectName(QStringLiteral("addVM:") + idText(vm.id()));
        const VMBundleID bundleID(vm.id());
        connect(entry, &QAction::triggered, this, [this, bundleID, networkID] { Q_EMIT addMemberRequested(bundleID, networkID); });
    }
    add->setMenu(menu);
    return add;
}

void VMNetworkTopologyView::changeEvent(QEvent *event)
{
    LabPanel::changeEvent(event);
    if (event->type() != QEvent::PaletteChange || LabPalette::isDark(palette()) == m_dark)
        return;
    m_dark = LabPalette::isDark(palette());
    QMetaObject::invokeMethod(
        this, [this] { rebuild(); }, Qt::QueuedConnection);
}
