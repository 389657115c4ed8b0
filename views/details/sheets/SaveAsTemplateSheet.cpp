// SPDX-License-Identifier: MIT
#include "SaveAsTemplateSheet.h"

#include "Symbols.h"
#include "TextStyle.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QVBoxLayout *section(const QString &heading, QWidget *field)
{
    auto *layout = new QVBoxLayout;
    layout->setSpacing(8);
    layout->addWidget(TextStyle::label(heading, TextRole::headline));
    layout->addWidget(field);
    return layout;
}

/// Blanks are spaces and tabs; a name of only those names nothing.
bool isBlank(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(),
        [](QChar character) { return character == QLatin1Char('\t') || character.category() == QChar::Separator_Space; });
}

} // namespace

SaveAsTemplateSheet::SaveAsTemplateSheet(const QString &vmName, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("saveAsTemplateSheet"));
    setWindowTitle(tr("Save as Template"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(440);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(20);
    stack->setSizeConstraint(QLayout::SetMinAndMaxSize);
    QLabel *title = TextStyle::label(tr("Save as Template"), TextRole::title2);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);
    stack->addWidget(title);
    QLabel *subtitle = TextStyle::label(
        tr("Save ") + vmName + tr("'s hardware configuration as a reusable template for creating new VMs."), TextRole::callout, true);
    subtitle->setObjectName(QStringLiteral("template.subtitle"));
    stack->addWidget(subtitle);

    m_name = new QLineEdit(vmName + QStringLiteral(" Template"));
    m_name->setObjectName(QStringLiteral("template.name"));
    m_name->setPlaceholderText(tr("Template name"));
    connect(m_name, &QLineEdit::textChanged, this, &SaveAsTemplateSheet::updateSaveButton);
    stack->addLayout(section(tr("Template Name"), m_name));

    m_description = new QPlainTextEdit;
    m_description->setObjectName(QStringLiteral("template.description"));
    m_description->setFixedHeight(60);
    m_description->setTabChangesFocus(true);
    m_description->setFont(TextStyle::font(TextRole::body));
    stack->addLayout(section(tr("Description"), m_description));

    m_category = new QComboBox;
    m_category->setObjectName(QStringLiteral("template.category"));
    m_category->setAccessibleName(tr("Category"));
    for (const VMTemplateCategory category : allCases<VMTemplateCategory>())
        m_category->addItem(Symbols::icon(symbolName(category)), displayName(category), QVariant::fromValue(int(category)));
    m_category->setCurrentIndex(m_category->findData(int(VMTemplateCategory::custom)));
    stack->addLayout(section(tr("Category"), m_category));

    auto *buttons = new QHBoxLayout;
    auto *cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("template.cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &SaveAsTemplateSheet::reject);
    m_save = new QPushButton(tr("Save Template"));
    m_save->setObjectName(QStringLiteral("template.save"));
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &SaveAsTemplateSheet::requestSave);
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(m_save);
    stack->addLayout(buttons);
    updateSaveButton();
}

void SaveAsTemplateSheet::reject()
{
    Q_EMIT cancelled();
    QDialog::reject();
}

void SaveAsTemplateSheet::updateSaveButton()
{
    m_save->setEnabled(!isBlank(m_name->text()));
}

void SaveAsTemplateSheet::requestSave()
{
    // Return reaches the default button even while it is disabled.
    if (!m_save->isEnabled())
        return;
    Q_EMIT saveRequested(m_name->text(), m_description->toPlainText(), VMTemplateCategory(m_category->currentData().toInt()));
    accept();
}
