// SPDX-License-Identifier: MIT
#include "FirstBootEditorView.h"

#include "TextStyle.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton *makeButton(const QString &title, const QString &objectName)
{
    auto *button = new QPushButton(title);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

} // namespace

FirstBootEditorView::FirstBootEditorView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);

    m_enabled = new QCheckBox(QStringLiteral("Enable first-boot bootstrap folder"));
    m_enabled->setObjectName(QStringLiteral("firstBoot.enabled"));
    connect(m_enabled, &QCheckBox::toggled, this, &FirstBootEditorView::enabledChangeRequested);
    layout->addWidget(m_enabled);
    layout->addWidget(
        TextStyle::label(QStringLiteral("This is a host-side preparation feature. Zovozu VM Lab stages a Bootstrap folder in the VM "
                                        "bundle and exposes it to the guest through shared folders for safe first-run access."),
            TextRole::callout, true));

    m_details = new QWidget;
    m_details->setObjectName(QStringLiteral("firstBoot.details"));
    auto *details = new QVBoxLayout(m_details);
    details->setContentsMargins(0, 0, 0, 0);
    details->setSpacing(14);

    auto *scriptLine = new QHBoxLayout;
    auto *scriptTexts = new QVBoxLayout;
    scriptTexts->setSpacing(4);
    scriptTexts->addWidget(TextStyle::label(QStringLiteral("Bootstrap script"), TextRole::headline));
    m_scriptName = TextStyle::label(QString(), TextRole::body, true);
    m_scriptName->setObjectName(QStringLiteral("firstBoot.script"));
    scriptTexts->addWidget(m_scriptName);
    scriptLine->addLayout(scriptTexts, 1);
    QPushButton *chooseScript = makeButton(QStringLiteral("Choose Script"), QStringLiteral("firstBoot.chooseScript"));
    connect(chooseScript, &QPushButton::clicked, this, &FirstBootEditorView::chooseScriptRequested);
    scriptLine->addWidget(chooseScript, 0, Qt::AlignVCenter);
    details->addLayout(scriptLine);

    auto *filesHeader = new QHBoxLayout;
    filesHeader->addWidget(TextStyle::label(QStringLiteral("Additional files"), TextRole::headline), 1);
    QPushButton *addFiles = makeButton(QStringLiteral("Add Files"), QStringLiteral("firstBoot.addFiles"));
    connect(addFiles, &QPushButton::clicked, this, &FirstBootEditorView::addFilesRequested);
    filesHeader->addWidget(addFiles, 0, Qt::AlignVCenter);
    details->addLayout(filesHeader);

    m_noFiles = TextStyle::label(QStringLiteral("No extra bootstrap files selected."), TextRole::body, true);
    m_noFiles->setObjectName(QStringLiteral("firstBoot.noFiles"));
    details->addWidget(m_noFiles);
    m_files = new QListWidget;
    m_files->setObjectName(QStringLiteral("firstBoot.files"));
    m_files->setMinimumHeight(140);
    m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_files->setWordWrap(true);
    details->addWidget(m_files);
    for (const QKeySequence &keys : {QKeySequence(QKeySequence::Delete), QKeySequence(Qt::Key_Backspace)}) {
        auto *shortcut = new QShortcut(keys, m_files, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, &FirstBootEditorView::removeSelectedRows);
    }

    auto *notes = new QVBoxLayout;
    notes->setSpacing(8);
    notes->addWidget(TextStyle::label(QStringLiteral("Notes"), TextRole::headline));
    m_notes = new QPlainTextEdit;
    m_notes->setObjectName(QStringLiteral("firstBoot.notes"));
    m_notes->setMinimumHeight(110);
    connect(m_notes, &QPlainTextEdit::textChanged, this, [this] { Q_EMIT notesEdited(m_notes->toPlainText()); });
    notes->addWidget(m_notes);
    details->addLayout(notes);

    layout->addWidget(m_details);
    layout->addStretch(1);
    setValues({});
}

void FirstBootEditorView::setValues(const Values &values)
{
    {
        const QSignalBlocker quiet(m_enabled);
        m_enabled->setChecked(values.isEnabled);
    }
    m_details->setVisible(values.isEnabled);
    m_scriptName->setText(values.scriptPath ? QFileInfo(*values.scriptPath).fileName()
                                            : QStringLiteral("If none is chosen, the bundled sample script is used."));

    QStringList shown;
    for (int row = 0; row < m_files->count(); ++row)
        shown << m_files->item(row)->data(Qt::UserRole).toString();
    if (shown != values.additionalFiles) {
        m_files->clear();
        for (const QString &path : values.additionalFiles) {
            auto *item = new QListWidgetItem(QFileInfo(path).fileName() + QLatin1Char('\n') + path, m_files);
            item->setData(Qt::UserRole, path);
            item->setToolTip(path);
        }
    }
    m_noFiles->setVisible(values.additionalFiles.isEmpty());
    m_files->setVisible(!values.additionalFiles.isEmpty());

    if (m_notes->toPlainText() != values.notes) {
        const QSignalBlocker quiet(m_notes);
        m_notes->setPlainText(values.notes);
    }
}

void FirstBootEditorView::removeSelectedRows()
{
    QList<int> rows;
    for (const QModelIndex &index : m_files->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QStringList paths;
    for (const int row : std::as_const(rows))
        paths << m_files->item(row)->data(Qt::UserRole).toString();
    if (!paths.isEmpty())
        Q_EMIT removeFilesRequested(paths);
}
