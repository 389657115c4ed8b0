// SPDX-License-Identifier: MIT
#include "WizardHeaderView.h"

#include "LabPalette.h"
#include "Layouts.h"
#include "Symbols.h"
#include "TextStyle.h"
#include "WizardStepPill.h"
#include "WizardTexts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int symbolSize = 40;
}

WizardHeaderView::WizardHeaderView(QWidget *parent)
    : QWidget(parent)
    , m_title(TextStyle::label(QString(), TextRole::largeTitle))
    , m_subtitle(TextStyle::label(QString(), TextRole::body, true))
    , m_symbol(new QLabel)
    , m_indicator(new QWidget)
    , m_pills(new QHBoxLayout(m_indicator))
{
    setObjectName(QStringLiteral("wizard.header"));
    m_title->setObjectName(QStringLiteral("wizard.title"));
    m_subtitle->setObjectName(QStringLiteral("wizard.subtitle"));
    m_symbol->setObjectName(QStringLiteral("wizard.symbol"));
    m_indicator->setObjectName(QStringLiteral("wizard.stepIndicator"));
    m_symbol->setFixedSize(symbolSize, symbolSize);
    m_pills->setContentsMargins(0, 0, 0, 0);
    m_pills->setSpacing(10);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);
    auto *titleRow = new QHBoxLayout;
    titleRow->addLayout(texts, 1);
    titleRow->addWidget(m_symbol, 0, Qt::AlignTop);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);
    column->addLayout(titleRow);
    column->addWidget(m_indicator, 0, Qt::AlignLeft);
    setGuest(VMGuestOSType::macOS);
}

void WizardHeaderView::setGuest(VMGuestOSType guest)
{
    m_guest = guest;
    m_title->setText(WizardTexts::headerTitle(guest));
    m_subtitle->setText(WizardTexts::headerSubtitle(guest));
    paintSymbol();
}

void WizardHeaderView::setSteps(const QStringList &titles, qsizetype current)
{
    if (titles == m_stepTitles && current == m_currentStep)
        return;
    m_stepTitles = titles;
    m_currentStep = current;
    Layouts::clear(*m_pills);
    for (qsizetype index = 0; index < titles.size(); ++index) {
        auto *pill = new WizardStepPill(titles[index], index == current);
        pill->setObjectName(QStringLiteral("wizard.step:") + titles[index]);
        m_pills->addWidget(pill);
    }
}

void WizardHeaderView::paintSymbol()
{
    // The guest's symbol, filled with the accent-to-teal gradient.
    QPixmap shape = Symbols::tinted(WizardTexts::guestSymbol(m_guest), Qt::black, symbolSize);
    if (shape.isNull()) {
        m_symbol->clear();
        return;
    }
    QPainter painter(&shape);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    QLinearGradient gradient(0, 0, symbolSize, symbolSize);
    gradient.setColorAt(0, LabPalette::accent(palette()));
    gradient.setColorAt(1, LabPalette::teal().resolved(palette()));
    painter.fillRect(shape.rect(), gradient);
    painter.end();
    m_symbol->setPixmap(shape);
}

void WizardHeaderView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient gradient(rect().topLeft(), rect().bottomRight());
    gradient.setColorAt(0, LabPalette::withOpacity(LabPalette::panelBackground().resolved(palette()), 0.94));
    gradient.setColorAt(1, LabPalette::withOpacity(LabPalette::panelBackgroundSecondary().resolved(palette()), 0.94));
    painter.fillRect(rect(), gradient);
}

void WizardHeaderView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        paintSymbol();
}
