// SPDX-License-Identifier: MIT
#pragma once

#include "HostCapacity.h"
#include "VMBundle.h"
#include "VMTemplate.h"
#include "VMTemplateCategory.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

class LoggingService;

/**
 * The templates a new VM can start from: the five built-in ones, followed by
 * the user's own, which are stored in Templates.json in the application's
 * second data folder (created on the first save). The published list is
 * read at construction and replaced after each successful create or delete;
 * templatesChanged() is emitted on every publish. Lives on the GUI thread;
 * log lines use the category "Templates".
 *
 * A Templates.json that cannot be read or decoded shows as no user
 * templates, and is never overwritten: the next create or delete moves it
 * aside as "Templates.json.unreadable-<UTC time>" (with a log line) first.
 *
 * @code
 * VMTemplateService templates(logging);
 * const VMTemplate saved = templates.createTemplate(bundle, QStringLiteral("Build Agent"), {}, VMTemplateCategory::ciRunner);
 * templates.deleteTemplate(saved.id);
 * @endcode
 */
class VMTemplateService : public QObject
{
    Q_OBJECT

public:
    /// The built-in templates are made once, here, from the host's capacity.
    explicit VMTemplateService(const LoggingService &logging, const HostCapacitySource &hostCapacity = defaultHostCapacity(),
                               QObject *parent = nullptr);

    /// Built-in templates first, in their fixed order, then the user's in file order.
    const QList<VMTemplate> &templates() const { return m_templates; }
    const QList<VMTemplate> &builtInTemplates() const { return m_builtInTemplates; }
    /// Where Templates.json lives.
    const QString &libraryURL() const { return m_libraryURL; }

    /**
     * Saves a new user template made from the bundle's metadata (network and
     * media settings default to NAT, microphone off and speaker on where the
     * VM has none), appended after the stored ones. Throws PlatformError
     * when the file cannot be written; the published list then stays as it
     * was and nothing is logged.
     */
    VMTemplate createTemplate(const VMBundle &bundle, const QString &name, const QString &description, VMTemplateCategory category);

    /// Removes every user template with this identifier and rewrites the file (also when none matched). Throws PlatformError.
    void deleteTemplate(const QUuid &id);

    /// Writes the list as Templates.json in one atomic write, creating its folder. Throws PlatformError.
    void saveTemplates(const QList<VMTemplate> &templates) const;

    static HostCapacitySource defaultHostCapacity();

Q_SIGNALS:
    void templatesChanged(const QList<VMTemplate> &templates);

private:
    /// The stored user templates for display: an unreadable file reads as none.
    QList<VMTemplate> storedUserTemplates() const;
    /// The stored user templates before a change: an unreadable file is moved aside first, so the save cannot destroy it.
    QList<VMTemplate> userTemplatesForChange() const;
    void moveUnreadableLibraryAside(const QString &reason) const;
    void publishStoredTemplates();

    const LoggingService &m_logging;
    const QString m_libraryURL;
    const QList<VMTemplate> m_builtInTemplates;
    QList<VMTemplate> m_templates;
};
