// SPDX-License-Identifier: MIT
#include "VMTemplate.h"

#include "QtPrinters.h"
#include "RecordTestSupport.h"

#include <QSet>
#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

constexpr quint64 GiB = 1024ULL * 1024 * 1024;

const VMTemplate &performanceTemplate(const QList<VMTemplate> &templates)
{
    return templates[3];
}

VMTemplate sampleTemplate()
{
    VMTemplate entry = VMTemplate::makeBuiltInTemplates(HostCapacity{8, 16 * GiB})[0];
    entry.isBuiltIn = false;
    entry.installSource = VMInstallSource::localRestoreImage(QUrl::fromLocalFile(QStringLiteral("/images/Universal.ipsw")));
    entry.networkConfiguration = VMNetworkConfiguration{VMNetworkConfiguration::Mode::bridged, QStringLiteral("eth0"), std::nullopt};
    entry.createdAt = QDateTime(QDate(2026, 8, 9), QTime(10, 11, 12, 345), QTimeZone::utc());
    return entry;
}

} // namespace

TEST(VMTemplateTest, BuiltInTemplatesInTheirFixedOrder)
{
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QList<VMTemplate> templates = VMTemplate::makeBuiltInTemplates(HostCapacity{8, 16 * GiB});
    const struct {
        const char *name;
        VMTemplateCategory category;
        VMHardwareProfile hardware;
        bool microphone;
        bool speaker;
        const char *icon;
        const char *descriptionStart;
    } expected[] = {
        {"Dev Environment", VMTemplateCategory::development, {6, 16 * GiB, 128 * GiB, 1920, 1200, 80}, false, true, "hammer",
         "Balanced setup for software development"},
        {"CI Runner", VMTemplateCategory::ciRunner, {4, 8 * GiB, 64 * GiB, 1280, 800, 80}, false, false, "gearshape.2",
         "Lean setup optimized for automated builds"},
        {"Clean Install", VMTemplateCategory::cleanInstall, {2, 4 * GiB, 48 * GiB, 1440, 900, 80}, false, true, "sparkles",
         "Minimal install for fresh environments"},
        {"Performance Testing", VMTemplateCategory::performance, {8, 12'884'901'888ULL, 256 * GiB, 2560, 1600, 80}, true, true, "bolt",
         "High-resource setup for performance benchmarks"},
        {"QA Testing", VMTemplateCategory::testing, {4, 8 * GiB, 80 * GiB, 1680, 1050, 80}, true, true, "checkmark.seal",
         "Moderate resources for manual and automated testing"},
    };
    ASSERT_EQ(templates.size(), 5);
    QSet<QUuid> identifiers;
    for (qsizetype index = 0; index < templates.size(); ++index) {
        const VMTemplate &entry = templates[index];
        const auto &row = expected[index];
        EXPECT_EQ(entry.name, QString::fromUtf8(row.name));
        EXPECT_EQ(entry.category, row.category) << row.name;
        EXPECT_EQ(entry.hardwareProfile, row.hardware) << row.name;
        EXPECT_EQ(entry.mediaConfiguration, (VMMediaConfiguration{row.microphone, row.speaker})) << row.name;
        EXPECT_EQ(entry.iconSystemName, QString::fromUtf8(row.icon));
        EXPECT_TRUE(entry.description.startsWith(QString::fromUtf8(row.descriptionStart))) << row.name;
        EXPECT_TRUE(entry.isBuiltIn);
        EXPECT_EQ(entry.installSource, VMInstallSource::latestSupportedAutomatic());
        EXPECT_EQ(entry.networkConfiguration, VMNetworkConfiguration{});
        EXPECT_GE(entry.createdAt, before);
        identifiers.insert(entry.id);
    }
    EXPECT_EQ(identifiers.size(), 5);
    EXPECT_EQ(templates[4].description,
              QStringLiteral("Moderate resources for manual and automated testing with microphone support for accessibility testing."));
}

TEST(VMTemplateTest, ThePerformanceTemplateFollowsTheHost)
{
    const struct {
        HostCapacity host;
        qint64 cpus;
        quint64 memory;
    } table[] = {
        {{24, 128 * GiB}, 16, 68'719'476'736ULL},
        {{8, 16 * GiB}, 8, 12'884'901'888ULL},
        {{10, 18 * GiB}, 10, 14'495'514'624ULL},
        {{16, 86 * GiB}, 16, 64 * GiB},
        {{1, 1000}, 1, 750},
    };
    for (const auto &row : table) {
        const VMTemplate performance = performanceTemplate(VMTemplate::makeBuiltInTemplates(row.host));
        EXPECT_EQ(performance.hardwareProfile.cpuCount, row.cpus) << row.host.processorCount;
        EXPECT_EQ(performance.hardwareProfile.memorySizeBytes, row.memory) << row.host.physicalMemoryBytes;
    }
}

TEST(VMTemplateTest, JSONHasElevenRequiredKeysAndCutsTheFraction)
{
    const VMTemplate entry = sampleTemplate();
    const Json json = JSONCodec<VMTemplate>::encode(entry);
    std::string keys;
    for (const auto &item : json.items())
        keys += item.key() + ' ';
    EXPECT_EQ(keys, "category createdAt description hardwareProfile iconSystemName id installSource isBuiltIn mediaConfiguration name "
                    "networkConfiguration ");
    EXPECT_EQ(json.at("category"), "development");

    VMTemplate expected = entry;
    expected.createdAt = expected.createdAt.addMSecs(-345);
    EXPECT_EQ(roundTripped(entry), expected);

    for (const auto &item : json.items()) {
        Json missing = json;
        missing.erase(item.key());
        expectDecodingFails<VMTemplate>(missing.dump(), JSONDecodingError::Kind::keyNotFound);
    }
    Json wrongCase = json;
    wrongCase["category"] = "Testing";
    expectDecodingFails<VMTemplate>(wrongCase.dump(), JSONDecodingError::Kind::dataCorrupted);
}
