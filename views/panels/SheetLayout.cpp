// SPDX-License-Identifier: MIT
#include "SheetLayout.h"

#include "TextStyle.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QVBoxLayout *SheetLayout::begin(QDialog &dialog, const QString &objectName, const QString &title, int width)
{
    dialog.setObjectName(objectName);
    dialog.setWindowTitle(title);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setFixedWidth(width);
    auto *column = new QVBoxLayout(&dialog);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);
    column->addWidget(TextStyle::line(title, TextRole::title2, TextTone::primary, QFont::Bold), 0, Qt::AlignHCenter);
    return column;
}

QVBoxLayout *SheetLayout::addGroup(QVBoxLayout &column, const QString &label)
{
    auto *group = new QVBoxLayout;
    group->setSpacing(8);
    group->addWidget(TextStyle::line(label, TextRole::headline));
    column.addLayout(group);
    return group;
}

QPushButton *SheetLayout::addButtons(
    QDialog &dialog, QVBoxLayout &column, const QString &prefix, const QString &defaultText, const QString &defaultName)
{
    auto *row = new QHBoxLayout;
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(prefix + QStringLiteral(".cancel"));
    cancel->setAutoDefault(false);
    auto *action = new QPushButton(defaultText);
    action->setObjectName(prefix + QLatin1Char('.') + defaultName);
    action->setDefault(true);
    row->addWidget(cancel);
    row->addStretch(1);
    row->addWidget(action);
    column.addLayout(row);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    return action;
}

void SheetLayout::fitHeight(QDialog &dialog)
{
    // A window's layout sizes it without asking wrapped labels for their height at its width: they would overlap.
    QLayout *layout = dialog.layout();
    if (!layout)
        return;
    layout->activate();
    const int height = layout->totalHeightForWidth(dialog.width());
    if (height > 0)
        dialog.resize(dialog.width(), height);
}
