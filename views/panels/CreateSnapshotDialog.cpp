// SPDX-License-Identifier: MIT
#include "CreateSnapshotDialog.h"

#include "BlankName.h"
#include "PanelStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CreateSnapshotDialog::CreateSnapshotDialog(QWidget *parent)
    : QDialog(parent)
    , m_name(new QLineEdit)
    , m_notes(new QPlainTextEdit)
    , m_create(new QPushButton(QStringLiteral("Create Snapshot")))
{
    setObjectName(QStringLiteral("snapshots.createSheet"));
    setWindowTitle(QStringLiteral("Create Snapshot"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(420);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(20);
    QLabel *title = PanelStyle::label(QStringLiteral("Create Snapshot"), PanelStyle::Text::title2, PanelStyle::Tone::primary, true);
    layout->addWidget(title, 0, Qt::AlignHCenter);

    auto *nameGroup = new QVBoxLayout;
    nameGroup->setSpacing(8);
    nameGroup->addWidget(PanelStyle::label(QStringLiteral("Name"), PanelStyle::Text::headline));
    m_name->setObjectName(QStringLiteral("createSheet.name"));
    m_name->setPlaceholderText(QStringLiteral("Snapshot name"));
    nameGroup->addWidget(m_name);
    layout->addLayout(nameGroup);

    auto *notesGroup = new QVBoxLayout;
    notesGroup->setSpacing(8);
    notesGroup->addWidget(PanelStyle::label(QStringLiteral("Notes (optional)"), PanelStyle::Text::headline));
    m_notes->setObjectName(QStringLiteral("createSheet.notes"));
    m_notes->setFixedHeight(80);
    m_notes->setTabChangesFocus(true);
    notesGroup->addWidget(m_notes);
    layout->addLayout(notesGroup);

    auto *buttons = new QHBoxLayout;
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("createSheet.cancel"));
    cancel->setAutoDefault(false);
    m_create->setObjectName(QStringLiteral("createSheet.create"));
    m_create->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_create);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
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
