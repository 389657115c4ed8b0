// SPDX-License-Identifier: MIT
#include "LabeledRowsView.h"

#include "TextStyle.h"

#include <QGridLayout>
#include <QLabel>

#include <optional>

LabeledRowsView::LabeledRowsView(const QString &objectNamePrefix, QWidget *parent)
    : QWidget(parent)
    , m_prefix(objectNamePrefix)
    , m_grid(new QGridLayout(this))
{
    setObjectName(objectNamePrefix);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setHorizontalSpacing(16);
    m_grid->setVerticalSpacing(14);
    m_grid->setColumnMinimumWidth(0, 140);
    m_grid->setColumnStretch(1, 1);
}

void LabeledRowsView::setRows(const QList<Row> &rows)
{
    while (m_labels.size() > rows.size()) {
        const auto [label, value] = m_labels.takeLast();
        delete label;
        delete value;
    }
    while (m_labels.size() < rows.size()) {
        auto *label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setFixedWidth(140);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QFont font = label->font();
        font.setWeight(QFont::Medium);
        label->setFont(font);
        auto *value = new QLabel(this);
        value->setTextFormat(Qt::PlainText);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        TextStyle::applyTone(*value, TextTone::secondary);
        const int row = int(m_labels.size());
        m_grid->addWidget(label, row, 0, Qt::AlignTop);
        m_grid->addWidget(value, row, 1, Qt::AlignTop);
        m_labels.append(qMakePair(label, value));
    }
    for (qsizetype index = 0; index < rows.size(); ++index) {
        auto [label, value] = m_labels.at(index);
        label->setText(rows.at(index).first);
        value->setText(rows.at(index).second);
        value->setObjectName(m_prefix + QLatin1Char('.') + rows.at(index).first);
    }
}

std::optional<QString> LabeledRowsView::value(const QString &label) const
{
    for (const auto &[labelWidget, value] : m_labels) {
        if (labelWidget->text() == label)
            return value->text();
    }
    return std::nullopt;
}
