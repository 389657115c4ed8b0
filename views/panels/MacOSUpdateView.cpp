// SPDX-License-Identifier: MIT
#include "MacOSUpdateView.h"

#include "LabPalette.h"
#include "Layouts.h"
#include "SizeText.h"
#include "Symbols.h"
#include "TextStyle.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QLabel *named(QLabel *label, const QString &name)
{
    label->setObjectName(name);
    return label;
}

} // namespace

MacOSUpdateView::MacOSUpdateView(QWidget *parent)
    : LabPanel(LabPanel::detailsCornerRadius, parent)
    , m_title(TextStyle::line(QString(), TextRole::headline))
    , m_check(new QPushButton(Symbols::icon(QStringLiteral("arrow.clockwise")), QStringLiteral("Check for Updates")))
    , m_checkingIndicator(new QProgressBar)
    , m_body(new QWidget)
    , m_bodyLayout(new QVBoxLayout(m_body))
{
    setObjectName(QStringLiteral("guestUpdates"));
    auto *layout = new QVBoxLayout(this);
    LabPanel::applyContentMargins(*layout);
    layout->setSpacing(16);

    auto *header = new QHBoxLayout;
    m_title->setObjectName(QStringLiteral("updates.title"));
    header->addWidget(m_title);
    header->addStretch(1);
    m_checkingIndicator->setObjectName(QStringLiteral("updates.checking"));
    m_checkingIndicator->setRange(0, 0);
    m_checkingIndicator->setFixedWidth(80);
    m_checkingIndicator->setTextVisible(false);
    m_checkingIndicator->hide();
    header->addWidget(m_checkingIndicator);
    m_check->setObjectName(QStringLiteral("updates.check"));
    header->addWidget(m_check);
    layout->addLayout(header);

    m_bodyLayout->setContentsMargins(0, 0, 0, 0);
    m_bodyLayout->setSpacing(14);
    layout->addWidget(m_body);

    connect(m_check, &QPushButton::clicked, this, &MacOSUpdateView::checkRequested);
    rebuildBody();
}

void MacOSUpdateView::setUpdateInfo(const std::optional<VMMacOSUpdateInfo> &info)
{
    m_info = info;
    rebuildBody();
}

void MacOSUpdateView::setCheckFailure(const std::optional<QString> &failure)
{
    m_failure = failure;
    rebuildBody();
}

void MacOSUpdateView::setChecking(bool checking)
{
    m_checking = checking;
    m_check->setEnabled(!checking);
    m_check->setVisible(!checking);
    m_checkingIndicator->setVisible(checking);
}

void MacOSUpdateView::setGuestOSType(std::optional<VMGuestOSType> guestOSType)
{
    m_guestOSType = guestOSType;
    setVisible(GuestUpdatePresentation::isShown(guestOSType));
    rebuildBody();
}

void MacOSUpdateView::setSnapshotOperationRunning(bool running)
{
    m_snapshotRunning = running;
    updatePrepare();
}

void MacOSUpdateView::setVMRunning(bool running)
{
    m_vmRunning = running;
    updatePrepare();
}

void MacOSUpdateView::updatePrepare()
{
    if (!m_prepare)
        return;
    m_prepare->setEnabled(GuestUpdatePresentation::canPrepare(m_snapshotRunning, m_vmRunning));
    m_prepare->setToolTip(GuestUpdatePresentation::prepareBlockedReason(m_snapshotRunning, m_vmRunning));
}

void MacOSUpdateView::rebuildBody()
{
    using P = GuestUpdatePresentation;
    m_title->setText(P::panelTitle(isLinux()));
    Layouts::clear(*m_bodyLayout);
    m_strategies = nullptr;
    m_prepare = nullptr;
    const P::Status status = P::status(m_info, m_failure);
    if (status == P::Status::unchecked) {
        addInvitation();
        return;
    }
    addStatusLine(status);
    if (status == P::Status::upToDate && isLinux()) {
        QLabel *explanation = named(TextStyle::line(P::linuxUpToDateExplanation(), TextRole::caption, TextTone::secondary),
            QStringLiteral("updates.linuxExplanation"));
        explanation->setWordWrap(true);
        m_bodyLayout->addWidget(explanation);
    }
    if (status == P::Status::updateAvailable)
        addStrategyChoice();
}

void MacOSUpdateView::addInvitation()
{
    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 16, 0, 16);
    column->setSpacing(10);
    auto *icon = new QLabel;
    icon->setPixmap(Symbols::tinted(QStringLiteral("arrow.triangle.2.circlepath"), TextStyle::color(TextTone::secondary, palette()), 24));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    QLabel *invitation = named(TextStyle::line(GuestUpdatePresentation::invitation(isLinux()), TextRole::caption, TextTone::secondary),
        QStringLiteral("updates.invitation"));
    invitation->setWordWrap(true);
    invitation->setAlignment(Qt::AlignHCenter);
    column->addWidget(invitation);
    m_bodyLayout->addLayout(column);
}

void MacOSUpdateView::addStatusLine(GuestUpdatePresentation::Status status)
{
    auto *statusLine = new QHBoxLayout;
    statusLine->setSpacing(14);
    statusLine->addWidget(statusSymbol(status), 0, Qt::AlignTop);
    statusLine->addLayout(statusTexts(status), 1);
    m_bodyLayout->addLayout(statusLine);
}

QLabel *MacOSUpdateView::statusSymbol(GuestUpdatePresentation::Status status) const
{
    using P = GuestUpdatePresentation;
    auto *symbol = new QLabel;
    symbol->setObjectName(QStringLiteral("updates.statusSymbol"));
    switch (status) {
    case P::Status::checkFailed:
        symbol->setPixmap(Symbols::tinted(QStringLiteral("xmark.octagon.fill"), LabPalette::orange().resolved(palette()), 24));
        break;
    case P::Status::upToDate:
        symbol->setPixmap(Symbols::tinted(QStringLiteral("checkmark.circle.fill"), LabPalette::tint(PanelTint::green, palette()), 24));
        break;
    case P::Status::updateAvailable:
    case P::Status::unchecked:
        symbol->setPixmap(Symbols::tinted(QStringLiteral("arrow.down.circle.fill"), LabPalette::orange().resolved(palette()), 24));
        break;
    }
    return symbol;
}

QVBoxLayout *MacOSUpdateView::statusTexts(GuestUpdatePresentation::Status status) const
{
    using P = GuestUpdatePresentation;
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    QLabel *title = named(TextStyle::line(P::statusTitle(status, isLinux()), TextRole::body, TextTone::primary, QFont::Bold),
        QStringLiteral("updates.statusTitle"));
    texts->addWidget(title);
    if (status == P::Status::checkFailed) {
        QLabel *reason = named(TextStyle::line(*m_failure, TextRole::caption, TextTone::secondary), QStringLiteral("updates.failure"));
        reason->setWordWrap(true);
        texts->addWidget(reason);
        return texts;
    }
    if (m_info->currentDisplayName)
        texts->addWidget(
            named(TextStyle::line(QStringLiteral("Current: ") + *m_info->currentDisplayName, TextRole::caption, TextTone::secondary),
                QStringLiteral("updates.current")));
    if (status == P::Status::updateAvailable) {
        QLabel *available = named(TextStyle::line(QStringLiteral("Available: ") + *m_info->availableVersion, TextRole::caption),
            QStringLiteral("updates.available"));
        TextStyle::tint(*available, LabPalette::accent().resolved(palette()));
        texts->addWidget(available);
        if (m_info->downloadSizeBytes)
            texts->addWidget(named(TextStyle::line(QStringLiteral("Download size: ") + SizeText::bytes(*m_info->downloadSizeBytes),
                                       TextRole::caption, TextTone::secondary),
                QStringLiteral("updates.downloadSize")));
    }
    return texts;
}

void MacOSUpdateView::addStrategyChoice()
{
    auto *divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    m_bodyLayout->addWidget(divider);
    auto *strategies = new QVBoxLayout;
    strategies->setSpacing(10);
    strategies->addWidget(TextStyle::line(QStringLiteral("Update Strategy"), TextRole::subheadline));
    m_strategies = new QButtonGroup(m_body);
    for (const VMMacOSUpdateStrategy strategy : allCases<VMMacOSUpdateStrategy>())
        strategies->addWidget(strategyRow(strategy));
    m_bodyLayout->addLayout(strategies);

    m_prepare = new QPushButton(Symbols::icon(QStringLiteral("arrow.down.to.line")), QStringLiteral("Prepare Update"));
    m_prepare->setObjectName(QStringLiteral("updates.prepare"));
    m_prepare->setMinimumHeight(34);
    m_prepare->setDefault(true);
    connect(m_prepare, &QPushButton::clicked, this, [this] { Q_EMIT prepareRequested(m_strategy); });
    m_bodyLayout->addWidget(m_prepare);
    updatePrepare();
}

QWidget *MacOSUpdateView::strategyRow(VMMacOSUpdateStrategy strategy)
{
    auto *row = new QFrame;
    row->setObjectName(QStringLiteral("strategyRow:") + toRaw(strategy));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(8, 8, 8, 8);
    line->setSpacing(10);
    auto *radio = new QRadioButton;
    radio->setObjectName(QStringLiteral("strategy:") + toRaw(strategy));
    radio->setChecked(strategy == m_strategy);
    m_strategies->addButton(radio);
    line->addWidget(radio, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    QLabel *title = TextStyle::line(::title(strategy), TextRole::caption);
    QFont font = title->font();
    font.setWeight(QFont::Medium);
    title->setFont(font);
    title->setBuddy(radio);
    texts->addWidget(title);
    QLabel *description = TextStyle::line(::description(strategy), TextRole::caption2, TextTone::secondary);
    description->setWordWrap(true);
    texts->addWidget(description);
    line->addLayout(texts, 1);
    auto highlight = [this, row, radio] {
        row->setAutoFillBackground(radio->isChecked());
        QPalette palette = row->palette();
        palette.setColor(QPalette::Window, LabPalette::highlight().resolved(this->palette()));
        row->setPalette(palette);
    };
    connect(radio, &QRadioButton::toggled, this, [this, strategy](bool checked) {
        if (checked)
            m_strategy = strategy;
    });
    connect(radio, &QRadioButton::toggled, row, highlight);
    highlight();
    return row;
}

void MacOSUpdateView::changeEvent(QEvent *event)
{
    LabPanel::changeEvent(event);
    if (event->type() != QEvent::PaletteChange || LabPalette::isDark(palette()) == m_dark)
        return;
    m_dark = LabPalette::isDark(palette());
    QMetaObject::invokeMethod(
        this, [this] { rebuildBody(); }, Qt::QueuedConnection);
}
