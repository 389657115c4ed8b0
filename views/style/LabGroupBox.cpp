// SPDX-License-Identifier: MIT
#include "LabGroupBox.h"

#include <QLabel>
#include <QVBoxLayout>

LabGroupBox::LabGroupBox(const QString &title, QWidget *parent)
    : LabPanel(22, parent)
    , m_title(new QLabel(title))
    , m_content(new QVBoxLayout)
{
    m_title->setTextFormat(Qt::PlainText);
    QFont headline = m_title->font();
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    headline.setWeight(QFont::DemiBold);
    m_title->setFont(headline);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(shadowMargins() + QMargins(18, 18, 18, 18));
    stack->setSpacing(14);
    stack->addWidget(m_title);
    stack->addLayout(m_content);
}
