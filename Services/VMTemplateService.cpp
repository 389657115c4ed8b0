// SPDX-License-Identifier: MIT
#include "VMTemplateService.h"

#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "ProductStemFolder.h"
#include "SystemHostCapacity.h"
#include "UnreadableFile.h"
#include "VMTemplateLibrary.h"

#include <QDateTime>
#include <QFileInfo>


namespace {

const QString logCategory = QStringLiteral("Templates");

} // namespace

VMTemplateService::VMTemplateService(const LoggingService &logging, const HostCapacitySource &hostCapacity, QObject *parent)
    : QObject(parent)
    , m_logging(logging)
    , m_libraryURL(productStemFolder() + QStringLiteral("/Templates.json"))
    , m_builtInTemplates(VMTemplate::makeBuiltInTemplates(hostCapacity()))
    , m_templates(m_builtInTemplates + storedUserTemplates())
{
}

HostCapacitySource VMTemplateService::defaultHostCapacity()
{
    return systemHostCapacity;
}

VMTemplate VMTemplateService::createTemplate(const VMBundle &bundle, const QString &name, const QString &description,
                                             VMTemplateCategory category)
{
    const VMMetadata &metadata = bundle.metadata;
    VMTemplate created;
    created.id = QUuid::createUuid();
    created.name = name;
    created.description = description;
    created.category = category;
    created.hardwareProfile = metadata.hardwareProfile;
    created.networkConfiguration = metadata.networkConfiguration.value_or(VMNetworkConfiguration{});
    created.mediaConfiguration = metadata.mediaConfiguration.value_or(VMMediaConfiguration{});
    created.installSource = metadata.installSource;
    created.createdAt = QDateTime::currentDateTimeUtc();
    created.isBuiltIn = false;
    created.iconSystemName = symbolName(category);

    saveTemplates(userTemplatesForChange() << created);
    publishStoredTemplates();
    m_logging.log(QStringLiteral("Created template '") + created.name + QStringLiteral("' from ") + metadata.name, logCategory);
    return created;
}

void VMTemplateService::deleteTemplate(const QUuid &id)
{
    QList<VMTemplate> remaining = userTemplatesForChange();
    remaining.removeIf([&](const VMTemplate &entry) { return entry.id == id; });
    saveTemplates(remaining);
    publishStoredTemplates();
}

void VMTemplateService::saveTemplates(const QList<VMTemplate> &templates) const
{
    FileOperations::createFolders(QFileInfo(m_libraryURL).path());
    const QByteArray data = sharedJSONEncoder().encode(VMTemplateLibrary{templates});
    FileOperations::writeAtomically(m_libraryURL, data);
}

QList<VMTemplate> VMTemplateService::storedUserTemplates() const
{
    if (!FileOperations::itemExists(m_libraryURL))
        return {};
    try {
        return sharedJSONDecoder().decode<VMTemplateLibrary>(FileOperations::readFile(m_libraryURL)).templates;
    } catch (const std::exception &) {
        return {};
    }
}

QList<VMTemplate> VMTemplateService::userTemplatesForChange() const
{
    if (!FileOperations::itemExists(m_libraryURL))
        return {};
    try {
        return sharedJSONDecoder().decode<VMTemplateLibrary>(FileOperations::readFile(m_libraryURL)).templates;
    } catch (const std::exception &error) {
        moveUnreadableLibraryAside(QString::fromUtf8(error.what()));
        return {};
    }
}

void VMTemplateService::moveUnreadableLibraryAside(const QString &reason) const
{
    const QString aside = UnreadableFile::moveAside(m_libraryURL);
    m_logging.log(QStringLiteral("Templates.json could not be read (") + reason + QStringLiteral("); moving it aside to ") + aside, logCategory);
}

void VMTemplateService::publishStoredTemplates()
{
    m_templates = m_builtInTemplates + storedUserTemplates();
    Q_EMIT templatesChanged(m_templates);
}
