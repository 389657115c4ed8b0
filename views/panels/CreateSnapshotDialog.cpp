// SPDX-License-Identifier: MIT
#include "CreateSnapshotDialog.h"

#include "BlankName.h"
#include "SheetLayout.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CreateSnapshotDialog::CreateSnapshotDialog(QWidget *parent)
    : QDialog(parent)
    , m_name(new QLineEdit)
    , m_notes(new QPlainTextEdit)
{
    QVBoxLayout *column = SheetLayout::begin(*this, QStringLiteral("snapshots.createSheet"), QStringLiteral("Create Snapshot"), 420);
    m_name->setObjectName(QStringLiteral("createSheet.name"));
    m_name->setPlaceholderText(QStringLiteral("Snapshot name"));
    SheetLayout::addGroup(*column, QStringLiteral("Name"))->addWidget(m_name);
    m_notes->setObjectName(QStringLiteral("createSheet.notes"));
    m_notes->setFixedHeight(80);
    m_notes->setTabChangesFocus(true);
    SheetLayout::addGroup(*column, QStringLiteral("Notes (optional)"))->addWidget(m_notes);
    m_create = SheetLayout::addButtons(
        *this, *column, QStringLiteral("createSheet"), QStringLiteral("Create Snapshot"), QStringLiteral("create"));

    connect(m_create, &QPushButton::clicked, this, &CreateSnapshotDialog::commit);
    connect(m_name, &QLineEdit::textChanged, this, &CreateSnapshotDialog::updateButtons);
    updateButtons();
}

void CreateSnapshotDialog::openWith(const QString &proposedName)
{
    m_name->setText(proposedName);
    m_notes->clear();
    m_name->setFocus();
    open();
}

void CreateSnapshotDialog::commit()
{
    // A disabled default button still gets Return from the dialog.
    if (!m_create->isEnabled())
        return;
    const QString name = m_name->text();
    const QString notes = m_notes->toPlainText();
    accept();
    Q_EMIT createRequested(name, notes);
}

void CreateSnapshotDialog::updateButtons()
{
    m_create->setEnabled(!BlankName::isBlank(m_name->text()));
}
