// SPDX-License-Identifier: MIT
#include "RenameDialog.h"

#include "TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

RenameDialog::RenameDialog(QWidget *parent)
    : QDialog(parent)
    , m_field(new QLineEdit)
    , m_rename(new QPushButton(tr("Rename")))
{
    setObjectName(QStringLiteral("sidebar.renameSheet"));
    setWindowTitle(tr("Rename Virtual Machine"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(360);

    auto *title = new QLabel(tr("Rename Virtual Machine"));
    title->setFont(TextStyle::font(TextRole::title3, QFont::Bold));
    title->setAlignment(Qt::AlignHCenter);

    m_field->setObjectName(QStringLiteral("sidebar.rename.field"));
    m_field->setPlaceholderText(tr("VM Name"));
    auto *cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("sidebar.rename.cancel"));
    m_rename->setObjectName(QStringLiteral("sidebar.rename.commit"));
    // Return belongs to the field, which commits once; the buttons never take it as well.
    for (QPushButton *button : {cancel, m_rename}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(m_rename);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(20);
    stack->addWidget(title);
    stack->addWidget(m_field);
    stack->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_rename, &QPushButton::clicked, this, [this] { Q_EMIT committed(m_field->text()); });
    connect(m_field, &QLineEdit::returnPressed, this, [this] { Q_EMIT committed(m_field->text()); });
    connect(m_field, &QLineEdit::textChanged, this, [this](const QString &text) { m_rename->setEnabled(!isBlank(text)); });
    m_rename->setEnabled(false);
}

void RenameDialog::setText(const QString &text)
{
    m_field->setText(text);
    m_rename->setEnabled(!isBlank(text));
    m_field->selectAll();
    m_field->setFocus();
}

QString RenameDialog::text() const
{
    return m_field->text();
}

bool RenameDialog::isBlank(const QString &text)
{
    for (const QChar character : text) {
        if (character != QLatin1Char(' ') && character != QLatin1Char('\t'))
            return false;
    }
    return true;
}
