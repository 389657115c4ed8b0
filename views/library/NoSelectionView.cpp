// SPDX-License-Identifier: MIT
#include "NoSelectionView.h"

#include "TextStyle.h"

#include <QLabel>
#include <QVBoxLayout>

NoSelectionView::NoSelectionView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("library.noSelection"));
    auto *stack = new QVBoxLayout(this);
    stack->setSpacing(10);
    stack->addStretch(1);
    QLabel *title = TextStyle::label(tr("No VM Selected"), TextRole::title2);
    title->setObjectName(QStringLiteral("library.noSelection.title"));
    title->setAlignment(Qt::AlignHCenter);
    stack->addWidget(title);
    m_hint = TextStyle::label({}, TextRole::body, true);
    m_hint->setObjectName(QStringLiteral("library.noSelection.hint"));
    m_hint->setAlignment(Qt::AlignHCenter);
    stack->addWidget(m_hint);
    stack->addStretch(1);
}

void NoSelectionView::setHint(const QString &hint)
{
    m_hint->setText(hint);
}
