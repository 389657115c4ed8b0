// SPDX-License-Identifier: MIT
#include "LabGroupBox.h"

#include "TextStyle.h"

#include <QLabel>
#include <QVBoxLayout>

LabGroupBox::LabGroupBox(const QString &title, QWidget *parent)
    : LabPanel(detailsCornerRadius, parent)
    , m_title(new QLabel(title))
    , m_content(new QVBoxLayout)
{
    m_title->setTextFormat(Qt::PlainText);
    TextStyle::apply(*m_title, TextRole::headline);

    auto *stack = new QVBoxLayout(this);
    applyContentMargins(*stack);
    stack->setSpacing(14);
    stack->addWidget(m_title);
    stack->addLayout(m_content);
}
