// SPDX-License-Identifier: MIT
#include "VMExportSheet.h"

#include "OptionCard.h"
#include "TextStyle.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QCheckBox *includeBox(const QString &title, const char *name, bool checked)
{
    auto *box = new QCheckBox(title);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

QVBoxLayout *section(const QString &heading, int spacing)
{
    auto *layout = new QVBoxLayout;
    layout->setSpacing(spacing);
    layout->addWidget(TextStyle::label(heading, TextRole::headline));
    return layout;
}

} // namespace

VMExportSheet::VMExportSheet(const QString &vmName, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("exportSheet"));
    setWindowTitle(tr("Export"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(480, 520);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(20);
    QLabel *title = TextStyle::label(tr("Export ") + vmName, TextRole::title2);
    title->setObjectName(QStringLiteral("export.title"));
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);
    stack->addWidget(title);

    QVBoxLayout *formats = section(tr("Export Format"), 12);
    auto *formatGroup = new QButtonGroup(this);
    for (const VMExportFormat format : allCases<VMExportFormat>()) {
        auto *card = new OptionCard(label(format), description(format));
        card->setObjectName(QStringLiteral("export.format.") + toRaw(format));
        card->setChecked(format == m_format);
        connect(card, &OptionCard::toggled, this, [this, format](bool checked) {
            if (checked)
                m_format = format;
        });
        formatGroup->addButton(card);
        formats->addWidget(card);
    }
    stack->addLayout(formats);

    QVBoxLayout *name = section(tr("Archive Name"), 8);
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("export.name"));
    m_name->setPlaceholderText(tr("Leave empty to use VM name"));
    name->addWidget(m_name);
    stack->addLayout(name);

    QVBoxLayout *include = section(tr("Include"), 10);
    const VMExportConfiguration initial;
    m_savedState = includeBox(tr("Saved state"), "export.includeSavedState", initial.includeSavedState);
    m_snapshots = includeBox(tr("Snapshots"), "export.includeSnapshots", initial.includeSnapshots);
    m_restoreImages = includeBox(tr("Cached restore images"), "export.includeRestoreImages", initial.includeRestoreImages);
    m_logs = includeBox(tr("Logs"), "export.includeLogs", initial.includeLogs);
    for (QCheckBox *box : {m_savedState, m_snapshots, m_restoreImages, m_logs})
        include->addWidget(box);
    stack->addLayout(include);
    stack->addStretch();

    auto *buttons = new QHBoxLayout;
    auto *cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("export.cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &VMExportSheet::reject);
    auto *exportButton = new QPushButton(tr("Export"));
    exportButton->setObjectName(QStringLiteral("export.export"));
    exportButton->setDefault(true);
    connect(exportButton, &QPushButton::clicked, this, &VMExportSheet::requestExport);
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(exportButton);
    stack->addLayout(buttons);
}

VMExportConfiguration VMExportSheet::configuration() const
{
    VMExportConfiguration result;
    result.includeSnapshots = m_snapshots->isChecked();
    result.includeRestoreImages = m_restoreImages->isChecked();
    result.includeLogs = m_logs->isChecked();
    result.includeSavedState = m_savedState->isChecked();
    result.archiveName = m_name->text();
    return result.withFormat(m_format);
}

void VMExportSheet::reject()
{
    Q_EMIT cancelled();
    QDialog::reject();
}

void VMExportSheet::requestExport()
{
    // Closed first: the folder chooser that follows must not open over this sheet, which goes away with its close.
    const VMExportConfiguration chosen = configuration();
    accept();
    Q_EMIT exportRequested(m_format, chosen);
}
