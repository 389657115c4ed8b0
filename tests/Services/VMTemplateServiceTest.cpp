// SPDX-License-Identifier: MIT
#include "VMTemplateService.h"

#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "QtPrinters.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "VMTemplateLibrary.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

constexpr quint64 GiB = 1024ULL * 1024 * 1024;

class VMTemplateServiceTest : public ::testing::Test
{
protected:
    QString folder() const { return m_home.dataHome() + QStringLiteral("/DuvuzodOvevav"); }
    QString libraryFile() const { return folder() + QStringLiteral("/Templates.json"); }
    QString appLog() const { return read(m_home.applicationData() + QStringLiteral("/Logs/app.log")); }

    static QString read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    void writeLibraryFile(const QByteArray &content) const
    {
        QDir().mkpath(folder());
        FileOperations::writeAtomically(libraryFile(), content);
    }

    QList<VMTemplate> storedTemplates() const
    {
        return sharedJSONDecoder().decode<VMTemplateLibrary>(FileOperations::readFile(libraryFile())).templates;
    }

    /// A bundle whose metadata has no network and no media settings.
    static VMBundle bareBundle()
    {
        return TestBundle(QStringLiteral("/nowhere/Build Agent.vm"))
            .hardware({3, 6 * GiB, 70 * GiB, 1440, 900, 80})
            .installSource(VMInstallSource::localRestoreImage(QUrl::fromLocalFile(QStringLiteral("/images/U.ipsw"))));
    }

    static VMTemplate userTemplate(const QUuid &id, const QString &name)
    {
        VMTemplate entry = VMTemplate::makeBuiltInTemplates(HostCapacity{4, 8 * GiB})[1];
        entry.id = id;
        entry.name = name;
        entry.isBuiltIn = false;
        entry.createdAt = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
        return entry;
    }

    QStringList names() const
    {
        QStringList list;
        for (const VMTemplate &entry : m_service.templates())
            list << entry.name;
        return list;
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    VMTemplateService m_service{m_logging, [] { return HostCapacity{24, 128 * GiB}; }};
};

const QStringList builtInNames{QStringLiteral("Dev Environment"), QStringLiteral("CI Runner"), QStringLiteral("Clean Install"),
                               QStringLiteral("Performance Testing"), QStringLiteral("QA Testing")};

} // namespace

TEST_F(VMTemplateServiceTest, WithoutAFileOnlyTheBuiltInsAreListedAndNothingIsCreated)
{
    EXPECT_EQ(m_service.libraryURL(), libraryFile());
    EXPECT_EQ(names(), builtInNames);
    EXPECT_EQ(m_service.templates(), m_service.builtInTemplates());
    EXPECT_EQ(m_service.templates()[3].hardwareProfile.cpuCount, 16);
    EXPECT_EQ(m_service.templates()[3].hardwareProfile.memorySizeBytes, 64 * GiB);
    EXPECT_FALSE(FileOperations::itemExists(folder()));
}

TEST_F(VMTemplateServiceTest, StoredTemplatesFollowTheBuiltInsAsTheyStand)
{
    const QUuid twice = QUuid::createUuid();
    VMTemplate markedBuiltIn = userTemplate(QUuid::createUuid(), QStringLiteral("Marked"));
    markedBuiltIn.isBuiltIn = true;
    writeLibraryFile(sharedJSONEncoder().encode(
        VMTemplateLibrary{{userTemplate(twice, QStringLiteral("Zeta")), markedBuiltIn, userTemplate(twice, QStringLiteral("Alpha"))}}));

    const VMTemplateService service(m_logging, [] { return HostCapacity{8, 16 * GiB}; });
    QStringList listed;
    for (const VMTemplate &entry : service.templates())
        listed << entry.name;
    EXPECT_EQ(listed, builtInNames + QStringList({QStringLiteral("Zeta"), QStringLiteral("Marked"), QStringLiteral("Alpha")}));
    EXPECT_EQ(service.templates()[3].hardwareProfile.cpuCount, 8);
}

TEST_F(VMTemplateServiceTest, CreateStoresATemplateMadeFromTheVM)
{
    const QSignalSpy published(&m_service, &VMTemplateService::templatesChanged);
    const VMBundle bundle = bareBundle();
    const VMTemplate created
        = m_service.createTemplate(bundle, QStringLiteral(" Agent "), QStringLiteral("For CI."), VMTemplateCategory::ciRunner);

    EXPECT_EQ(created.name, QStringLiteral(" Agent "));
    EXPECT_EQ(created.description, QStringLiteral("For CI."));
    EXPECT_EQ(created.category, VMTemplateCategory::ciRunner);
    EXPECT_EQ(created.iconSystemName, QStringLiteral("gearshape.2"));
    EXPECT_FALSE(created.isBuiltIn);
    EXPECT_EQ(created.hardwareProfile, bundle.metadata.hardwareProfile);
    EXPECT_EQ(created.installSource, bundle.metadata.installSource);
    EXPECT_EQ(created.networkConfiguration, VMNetworkConfiguration{});
    EXPECT_EQ(created.mediaConfiguration, (VMMediaConfiguration{false, true}));

    const QList<VMTemplate> stored = storedTemplates();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].id, created.id);
    EXPECT_FALSE(stored[0].isBuiltIn);
    EXPECT_EQ(m_service.templates().size(), 6);
    EXPECT_EQ(m_service.templates().last().id, created.id);
    EXPECT_EQ(published.count(), 1);
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Templates] Created template ' Agent ' from Build Agent\n"))) << appLog().toStdString();

    VMBundle configured = bareBundle();
    configured.metadata.networkConfiguration
        = VMNetworkConfiguration{VMNetworkConfiguration::Mode::bridged, QStringLiteral("eth0"), std::nullopt};
    configured.metadata.mediaConfiguration = VMMediaConfiguration{true, false};
    const VMTemplate second = m_service.createTemplate(configured, QStringLiteral("Second"), {}, VMTemplateCategory::custom);
    EXPECT_EQ(second.networkConfiguration, *configured.metadata.networkConfiguration);
    EXPECT_EQ(second.mediaConfiguration, *configured.metadata.mediaConfiguration);
    EXPECT_EQ(second.iconSystemName, QStringLiteral("slider.horizontal.3"));
    EXPECT_EQ(names(), builtInNames + QStringList({QStringLiteral(" Agent "), QStringLiteral("Second")}));
}

TEST_F(VMTemplateServiceTest, DeleteRemovesEveryTemplateWithTheIdentifier)
{
    const QUuid twice = QUuid::createUuid();
    const VMTemplate other = userTemplate(QUuid::createUuid(), QStringLiteral("Other"));
    writeLibraryFile(sharedJSONEncoder().encode(
        VMTemplateLibrary{{userTemplate(twice, QStringLiteral("One")), other, userTemplate(twice, QStringLiteral("Two"))}}));

    m_service.deleteTemplate(twice);
    EXPECT_EQ(storedTemplates(), QList<VMTemplate>{other});
    EXPECT_EQ(names(), builtInNames + QStringList{QStringLiteral("Other")});

    // A built-in cannot be deleted, yet the file is written anew.
    const QString before = m_home.path() + QStringLiteral("/before.json");
    FileOperations::createHardLink(libraryFile(), before);
    m_service.deleteTemplate(m_service.builtInTemplates()[0].id);
    EXPECT_EQ(names(), builtInNames + QStringList{QStringLiteral("Other")});
    EXPECT_EQ(storedTemplates(), QList<VMTemplate>{other});
    EXPECT_FALSE(FileOperations::isSameFile(libraryFile(), before));
}

TEST_F(VMTemplateServiceTest, AnUnreadableFileIsMovedAsideBeforeTheNextSave)
{
    writeLibraryFile("{\"templates\": [ not json");
    const VMTemplateService service(m_logging, [] { return HostCapacity{8, 16 * GiB}; });
    EXPECT_EQ(service.templates().size(), 5);
    EXPECT_EQ(FileOperations::folderEntries(folder()), QStringList{QStringLiteral("Templates.json")});

    const VMTemplate created = m_service.createTemplate(bareBundle(), QStringLiteral("Fresh"), {}, VMTemplateCategory::testing);
    EXPECT_EQ(storedTemplates().size(), 1);
    QStringList aside = FileOperations::folderEntries(folder());
    aside.removeOne(QStringLiteral("Templates.json"));
    ASSERT_EQ(aside.size(), 1);
    const QRegularExpression asideName(QStringLiteral("^Templates\\.json\\.unreadable-\\d{8}T\\d{6}Z$"));
    EXPECT_TRUE(asideName.match(aside[0]).hasMatch()) << aside[0].toStdString();
    EXPECT_EQ(read(folder() + QLatin1Char('/') + aside[0]), QStringLiteral("{\"templates\": [ not json"));
    const QString log = appLog();
    EXPECT_LT(log.indexOf(QStringLiteral("moving it aside to ") + folder() + QLatin1Char('/') + aside[0]),
              log.indexOf(QStringLiteral("Created template 'Fresh'")));

    // A template whose category is unknown makes the whole file unreadable, and it is kept the same way by a delete.
    Json json = JSONCodec<VMTemplateLibrary>::encode(VMTemplateLibrary{{created}});
    json["templates"][0]["category"] = "Testing";
    writeLibraryFile(QByteArray::fromStdString(json.dump()));
    m_service.deleteTemplate(created.id);
    EXPECT_EQ(FileOperations::folderEntries(folder()).size(), 3);
    EXPECT_TRUE(storedTemplates().isEmpty());
}

TEST_F(VMTemplateServiceTest, AFailedSaveChangesNothing)
{
    QDir().mkpath(m_home.dataHome());
    QFile blocker(folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QSignalSpy published(&m_service, &VMTemplateService::templatesChanged);

    EXPECT_THROW(m_service.createTemplate(bareBundle(), QStringLiteral("Lost"), {}, VMTemplateCategory::custom), PlatformError);
    EXPECT_THROW(m_service.deleteTemplate(QUuid::createUuid()), PlatformError);
    EXPECT_EQ(names(), builtInNames);
    EXPECT_EQ(published.count(), 0);
    EXPECT_FALSE(appLog().contains(QStringLiteral("Created template")));
    EXPECT_EQ(QFileInfo(folder()).size(), 0);
}
