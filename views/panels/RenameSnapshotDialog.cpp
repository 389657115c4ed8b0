// SPDX-License-Identifier: MIT
#include "RenameSnapshotDialog.h"

#include "BlankName.h"
#include "SheetLayout.h"

#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

RenameSnapshotDialog::RenameSnapshotDialog(QWidget *parent)
    : QDialog(parent)
    , m_name(new QLineEdit)
{
    QVBoxLayout *column = SheetLayout::begin(*this, QStringLiteral("snapshots.renameSheet"), QStringLiteral("Rename Snapshot"), 360);
    m_name->setObjectName(QStringLiteral("renameSheet.name"));
    m_name->setPlaceholderText(QStringLiteral("Snapshot name"));
    column->addWidget(m_name);
    m_rename = SheetLayout::addButtons(*this, *column, QStringLiteral("renameSheet"), QStringLiteral("Rename"), QStringLiteral("rename"));

    connect(m_rename, &QPushButton::clicked, this, &RenameSnapshotDialog::commit);
    connect(m_name, &QLineEdit::textChanged, this, &RenameSnapshotDialog::updateButtons);
}

void RenameSnapshotDialog::openFor(const QUuid &snapshotID, const QString &currentName)
{
    m_snapshotID = snapshotID;
    m_name->setText(currentName);
    updateButtons();
    m_name->setFocus();
    open();
}

void RenameSnapshotDialog::commit()
{
    if (!m_rename->isEnabled())
        return;
    const QString name = m_name->text();
    accept();
    Q_EMIT renameRequested(m_snapshotID, name);
}

void RenameSnapshotDialog::updateButtons()
{
    m_rename->setEnabled(!BlankName::isBlank(m_name->text()));
}
