// SPDX-License-Identifier: MIT
#include "TemplateLibraryViewModel.h"

#include "ErrorText.h"
#include "LoggingService.h"
#include "VMTemplateService.h"

#include <algorithm>

TemplateLibraryViewModel::TemplateLibraryViewModel(VMTemplateService &templates, const LoggingService &logging, QObject *parent)
    : QObject(parent)
    , m_service(templates)
    , m_logging(logging)
    , m_templates(templates.templates())
{
    connect(&templates, &VMTemplateService::templatesChanged, this, [this](const QList<VMTemplate> &published) {
        m_templates = published;
        Q_EMIT templatesChanged();
    });
}

void TemplateLibraryViewModel::setSelectedCategory(std::optional<VMTemplateCategory> category)
{
    m_selectedCategory = category;
    Q_EMIT templatesChanged();
}

void TemplateLibraryViewModel::setSearchText(const QString &text)
{
    m_searchText = text;
    Q_EMIT templatesChanged();
}

QList<VMTemplate> TemplateLibraryViewModel::filteredTemplates() const
{
    const QString search = m_searchText.toLower();
    QList<VMTemplate> result;
    std::copy_if(m_templates.cbegin(), m_templates.cend(), std::back_inserter(result), [&](const VMTemplate &item) {
        if (m_selectedCategory && item.category != *m_selectedCategory)
            return false;
        return search.isEmpty() || item.name.toLower().contains(search) || item.description.toLower().contains(search);
    });
    return result;
}

void TemplateLibraryViewModel::setErrorMessage(std::optional<QString> message, MessageKind kind)
{
    m_errorMessage = std::move(message);
    m_messageKind = kind;
    Q_EMIT errorMessageChanged();
}

void TemplateLibraryViewModel::deleteTemplate(const QUuid &id)
{
    const auto found = std::find_if(m_templates.cbegin(), m_templates.cend(), [&](const VMTemplate &item) { return item.id == id; });
    if (found != m_templates.cend() && found->isBuiltIn)
        return;
    const QString name = found != m_templates.cend() ? found->name : QString();
    setErrorMessage(std::nullopt);
    try {
        m_service.deleteTemplate(id);
        if (!name.isEmpty())
            setErrorMessage(QStringLiteral("Deleted template “") + name + QStringLiteral("”"), MessageKind::information);
    } catch (...) {
        const QString message = ErrorText::describe(std::current_exception());
        m_logging.log(message, QStringLiteral("Templates"));
        setErrorMessage(message);
    }
}

QString TemplateLibraryViewModel::cpuText(qint64 count)
{
    return QString::number(count) + (count == 1 ? QStringLiteral(" CPU") : QStringLiteral(" CPUs"));
}
