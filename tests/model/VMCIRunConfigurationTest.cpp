// SPDX-License-Identifier: MIT
#include "VMCIRunConfiguration.h"

#include "QtPrinters.h"
#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

VMCIRunConfiguration sampleConfiguration()
{
    VMCIRunConfiguration configuration;
    configuration.id = QUuid::fromString(QStringLiteral("c1c1c1c1-0000-4000-8000-000000000001"));
    configuration.name = QStringLiteral("Unit tests");
    configuration.scriptPath = QStringLiteral("/tmp/ci-run.sh");
    configuration.scriptContent = QStringLiteral("#!/bin/sh\nmake check\n");
    configuration.timeoutSeconds = 900;
    configuration.captureOutput = true;
    configuration.shutdownAfterCompletion = false;
    configuration.snapshotBeforeRun = true;
    configuration.restoreAfterRun = true;
    configuration.environmentVariables = {{QStringLiteral("CI"), QStringLiteral("1")}, {QStringLiteral("A"), QStringLiteral("b")}};
    configuration.createdAt = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), QTimeZone::utc());
    return configuration;
}

} // namespace

TEST(VMCIRunConfigurationTest, RoundTripsWithTheEnvironmentAsAnObject)
{
    const VMCIRunConfiguration configuration = sampleConfiguration();
    EXPECT_EQ(roundTripped(configuration), configuration);
    const Json json = JSONCodec<VMCIRunConfiguration>::encode(configuration);
    EXPECT_EQ(json.at("environmentVariables").dump(), R"({"A":"b","CI":"1"})");
    EXPECT_EQ(json.size(), 11U);

    VMCIRunConfiguration bare = configuration;
    bare.environmentVariables.clear();
    EXPECT_EQ(JSONCodec<VMCIRunConfiguration>::encode(bare).at("environmentVariables"), Json::object());
    EXPECT_EQ(roundTripped(bare), bare);
}

TEST(VMCIRunConfigurationTest, EnvironmentInsertionOrderDoesNotMatter)
{
    VMCIRunConfiguration reordered = sampleConfiguration();
    reordered.environmentVariables.clear();
    reordered.environmentVariables.insert(QStringLiteral("A"), QStringLiteral("b"));
    reordered.environmentVariables.insert(QStringLiteral("CI"), QStringLiteral("1"));
    EXPECT_EQ(reordered, sampleConfiguration());
    reordered.environmentVariables[QStringLiteral("A")] = QStringLiteral("c");
    EXPECT_NE(reordered, sampleConfiguration());
}

TEST(VMCIRunConfigurationTest, EveryKeyIsRequiredAndTyped)
{
    const Json complete = JSONCodec<VMCIRunConfiguration>::encode(sampleConfiguration());
    for (const auto &item : complete.items()) {
        Json json = complete;
        json.erase(item.key());
        expectDecodingFails<VMCIRunConfiguration>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    }
    const struct {
        const char *key;
        Json value;
    } wrong[] = {
        {"environmentVariables", Json::array()},
        {"environmentVariables", Json{{"CI", 1}}},
        {"timeoutSeconds", 1.5},
        {"captureOutput", "true"},
    };
    for (const auto &row : wrong) {
        Json json = complete;
        json[row.key] = row.value;
        expectDecodingFails<VMCIRunConfiguration>(json.dump(), JSONDecodingError::Kind::typeMismatch);
    }
}

TEST(VMCIRunConfigurationTest, AFormConfigurationCapturesAndRestores)
{
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const VMCIRunConfiguration made = VMCIRunConfiguration::fromForm(QStringLiteral("Nightly"), QStringLiteral("echo hi"), 60, true, true);
    EXPECT_FALSE(made.id.isNull());
    EXPECT_GE(made.createdAt, before);
    EXPECT_EQ(made.name, QStringLiteral("Nightly"));
    EXPECT_EQ(made.scriptContent, QStringLiteral("echo hi"));
    EXPECT_EQ(made.timeoutSeconds, 60);
    EXPECT_TRUE(made.snapshotBeforeRun);
    EXPECT_TRUE(made.shutdownAfterCompletion);
    EXPECT_EQ(made.scriptPath, QStringLiteral("/tmp/ci-run.sh"));
    EXPECT_TRUE(made.captureOutput);
    EXPECT_TRUE(made.restoreAfterRun);
    EXPECT_TRUE(made.environmentVariables.isEmpty());
    EXPECT_NE(VMCIRunConfiguration::fromForm({}, {}, 0, false, false).id, made.id);
}
