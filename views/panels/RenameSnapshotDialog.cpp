// SPDX-License-Identifier: MIT
#include "RenameSnapshotDialog.h"

#include "BlankName.h"
#include "PanelStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

RenameSnapshotDialog::RenameSnapshotDialog(QWidget *parent)
    : QDialog(parent)
    , m_name(new QLineEdit)
    , m_rename(new QPushButton(QStringLiteral("Rename")))
{
    setObjectName(QStringLiteral("snapshots.renameSheet"));
    setWindowTitle(QStringLiteral("Rename Snapshot"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(360);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(20);
    layout->addWidget(PanelStyle::label(QStringLiteral("Rename Snapshot"), PanelStyle::Text::title2, PanelStyle::Tone::primary, true), 0, Qt::AlignHCenter);
    m_name->setObjectName(QStringLiteral("renameSheet.name"));
    m_name->setPlaceholderText(QStringLiteral("Snapshot name"));
    layout->addWidget(m_name);

    auto *buttons = new QHBoxLayout;
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("renameSheet.cancel"));
    cancel->setAutoDefault(false);
    m_rename->setObjectName(QStringLiteral("renameSheet.rename"));
    m_rename->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_rename);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
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
