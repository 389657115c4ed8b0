// SPDX-License-Identifier: MIT
#include "CIConfigurationDialog.h"

#include "TextStyle.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

QVBoxLayout *group(QVBoxLayout *parent, const QString &title, TextRole role)
{
    auto *stack = new QVBoxLayout;
    stack->setSpacing(6);
    stack->addWidget(TextStyle::line(title, role));
    parent->addLayout(stack);
    return stack;
}

} // namespace

CIConfigurationDialog::CIConfigurationDialog(const CIConfigurationForm &form, QWidget *parent)
    : QDialog(parent)
    , m_name(new QLineEdit(form.name))
    , m_script(new QPlainTextEdit)
    , m_timeout(new QSpinBox)
    , m_snapshotBefore(new QCheckBox(tr("Snapshot before run")))
    , m_shutdownAfter(new QCheckBox(tr("Shutdown after")))
    , m_create(new QPushButton(tr("Create")))
{
    setObjectName(QStringLiteral("ci.sheet"));
    setWindowTitle(tr("Create CI Configuration"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(560, 520);

    m_name->setObjectName(QStringLiteral("ci.sheet.name"));
    m_name->setPlaceholderText(tr("Configuration name"));
    m_script->setObjectName(QStringLiteral("ci.sheet.script"));
    m_script->setPlainText(form.script);
    m_script->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_script->setFixedHeight(160);
    m_timeout->setObjectName(QStringLiteral("ci.sheet.timeout"));
    // A run needs at least a second: the runner refuses anything shorter.
    m_timeout->setRange(1, std::numeric_limits<int>::max());
    m_timeout->setValue(int(std::clamp<qint64>(form.timeoutSeconds, 1, std::numeric_limits<int>::max())));
    m_timeout->setFixedWidth(100);
    m_snapshotBefore->setObjectName(QStringLiteral("ci.sheet.snapshot"));
    m_snapshotBefore->setChecked(form.snapshotBeforeRun);
    m_shutdownAfter->setObjectName(QStringLiteral("ci.sheet.shutdown"));
    m_shutdownAfter->setChecked(form.shutdownAfterCompletion);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(16);
    stack->addWidget(TextStyle::line(tr("Create CI Configuration"), TextRole::title2, TextTone::primary, QFont::Bold));
    group(stack, tr("Name"), TextRole::headline)->addWidget(m_name);
    group(stack, tr("Script"), TextRole::headline)->addWidget(m_script);

    auto *options = new QHBoxLayout;
    options->setSpacing(20);
    auto *timeout = new QVBoxLayout;
    timeout->setSpacing(6);
    timeout->addWidget(TextStyle::line(tr("Timeout (seconds)"), TextRole::caption));
    timeout->addWidget(m_timeout);
    options->addLayout(timeout);
    options->addWidget(m_snapshotBefore);
    options->addWidget(m_shutdownAfter);
    options->addStretch();
    stack->addLayout(options);
    stack->addStretch();

    auto *buttons = new QHBoxLayout;
    auto *cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("ci.sheet.cancel"));
    cancel->setAutoDefault(false);
    m_create->setObjectName(QStringLiteral("ci.sheet.create"));
    m_create->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(m_create);
    stack->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_create, &QPushButton::clicked, this, &CIConfigurationDialog::createRequested);
    connect(m_name, &QLineEdit::textChanged, this, &CIConfigurationDialog::edited);
    connect(m_script, &QPlainTextEdit::textChanged, this, &CIConfigurationDialog::edited);
    connect(m_timeout, &QSpinBox::valueChanged, this, &CIConfigurationDialog::edited);
    connect(m_snapshotBefore, &QCheckBox::toggled, this, &CIConfigurationDialog::edited);
    connect(m_shutdownAfter, &QCheckBox::toggled, this, &CIConfigurationDialog::edited);
    m_create->setEnabled(form.hasName());
}

CIConfigurationForm CIConfigurationDialog::form() const
{
    CIConfigurationForm typed;
    typed.name = m_name->text();
    typed.script = m_script->toPlainText();
    typed.timeoutSeconds = m_timeout->value();
    typed.snapshotBeforeRun = m_snapshotBefore->isChecked();
    typed.shutdownAfterCompletion = m_shutdownAfter->isChecked();
    return typed;
}

void CIConfigurationDialog::edited()
{
    const CIConfigurationForm typed = form();
    m_create->setEnabled(typed.hasName());
    Q_EMIT formChanged(typed);
}
