// SPDX-License-Identifier: MIT
#include "TemplateLibraryDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

TemplateLibraryDialog::TemplateLibraryDialog(const QList<VMTemplate> &templates, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("templateLibrary"));
    setWindowTitle(tr("Template Library"));
    setWindowModality(Qt::WindowModal);
    resize(520, 420);

    auto *list = new QListWidget;
    list->setObjectName(QStringLiteral("templateLibrary.list"));
    for (const VMTemplate &item : templates) {
        // QListWidget items show plain text; names from the user's own templates stay literal.
        auto *row = new QListWidgetItem(item.description.isEmpty() ? item.name : item.name + QStringLiteral("\n") + item.description, list);
        row->setData(Qt::UserRole, item.id);
    }
    auto *note = new QLabel(tr("Creating a VM from a template needs the new-VM wizard, which this version does not have yet."));
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *stack = new QVBoxLayout(this);
    stack->addWidget(list, 1);
    stack->addWidget(note);
    stack->addWidget(buttons);
}
