// SPDX-License-Identifier: MIT
#pragma once

#include "MessageKind.h"
#include "VMTemplate.h"
#include "VMTemplateCategory.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

class LoggingService;
class VMTemplateService;

/**
 * The template library's state: the template service's list as it is
 * published, narrowed by a category and a search text, and the deletion of
 * user templates with its failure kept for the sheet's banner (and logged
 * under "Templates"). Selecting a template is the presenter's business.
 * GUI thread only.
 *
 * @code
 * TemplateLibraryViewModel library(templateService, logging);
 * library.setSearchText(QStringLiteral("ci"));
 * for (const VMTemplate &item : library.filteredTemplates()) ...
 * @endcode
 */
class TemplateLibraryViewModel final : public QObject
{
    Q_OBJECT

public:
    TemplateLibraryViewModel(VMTemplateService &templates, const LoggingService &logging, QObject *parent = nullptr);

    const QList<VMTemplate> &templates() const { return m_templates; }
    /// None shows every category.
    const std::optional<VMTemplateCategory> &selectedCategory() const { return m_selectedCategory; }
    void setSelectedCategory(std::optional<VMTemplateCategory> category);
    const QString &searchText() const { return m_searchText; }
    void setSearchText(const QString &text);

    /**
     * The templates in list order that are in the selected category and,
     * unless the search text is empty, whose name or description holds it,
     * letter case ignored on both sides. The search text is not trimmed.
     */
    QList<VMTemplate> filteredTemplates() const;

    /// The banner's message: a failure, or news of a deletion.
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    MessageKind messageKind() const { return m_messageKind; }
    void setErrorMessage(std::optional<QString> message, MessageKind kind = MessageKind::failure);

    /// Deletes a user template and says so in errorMessage, as does a failure. Built-in templates are never deleted.
    void deleteTemplate(const QUuid &id);

    /// "1 CPU", "4 CPUs", "0 CPUs".
    static QString cpuText(qint64 count);

Q_SIGNALS:
    /// The list or a filter changed: filteredTemplates() may differ.
    void templatesChanged();
    void errorMessageChanged();

private:
    VMTemplateService &m_service;
    const LoggingService &m_logging;
    QList<VMTemplate> m_templates;
    std::optional<VMTemplateCategory> m_selectedCategory;
    QString m_searchText;
    std::optional<QString> m_errorMessage;
    MessageKind m_messageKind = MessageKind::failure;
};
