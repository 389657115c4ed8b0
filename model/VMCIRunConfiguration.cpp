// SPDX-License-Identifier: MIT
#include "VMCIRunConfiguration.h"

VMCIRunConfiguration VMCIRunConfiguration::fromForm(const QString &name, const QString &scriptContent, qint64 timeoutSeconds,
                                                    bool snapshotBeforeRun, bool shutdownAfterCompletion)
{
    VMCIRunConfiguration configuration;
    configuration.id = QUuid::createUuid();
    configuration.name = name;
    configuration.scriptPath = QStringLiteral("/tmp/ci-run.sh");
    configuration.scriptContent = scriptContent;
    configuration.timeoutSeconds = timeoutSeconds;
    configuration.captureOutput = true;
    configuration.shutdownAfterCompletion = shutdownAfterCompletion;
    configuration.snapshotBeforeRun = snapshotBeforeRun;
    configuration.restoreAfterRun = true;
    configuration.createdAt = QDateTime::currentDateTimeUtc();
    return configuration;
}

void to_json(Json &json, const VMCIRunConfiguration &configuration)
{
    JSONObjectWriter writer;
    writer.set("id", configuration.id);
    writer.set("name", configuration.name);
    writer.set("scriptPath", configuration.scriptPath);
    writer.set("scriptContent", configuration.scriptContent);
    writer.set("timeoutSeconds", configuration.timeoutSeconds);
    writer.set("captureOutput", configuration.captureOutput);
    writer.set("shutdownAfterCompletion", configuration.shutdownAfterCompletion);
    writer.set("snapshotBeforeRun", configuration.snapshotBeforeRun);
    writer.set("restoreAfterRun", configuration.restoreAfterRun);
    writer.set("environmentVariables", configuration.environmentVariables);
    writer.set("createdAt", configuration.createdAt);
    json = writer.take();
}

void from_json(const Json &json, VMCIRunConfiguration &configuration)
{
    const JSONObjectReader reader(json);
    configuration.id = reader.required<QUuid>("id");
    configuration.name = reader.required<QString>("name");
    configuration.scriptPath = reader.required<QString>("scriptPath");
    configuration.scriptContent = reader.required<QString>("scriptContent");
    configuration.timeoutSeconds = reader.required<qint64>("timeoutSeconds");
    configuration.captureOutput = reader.required<bool>("captureOutput");
    configuration.shutdownAfterCompletion = reader.required<bool>("shutdownAfterCompletion");
    configuration.snapshotBeforeRun = reader.required<bool>("snapshotBeforeRun");
    configuration.restoreAfterRun = reader.required<bool>("restoreAfterRun");
    configuration.environmentVariables = reader.required<QMap<QString, QString>>("environmentVariables");
    configuration.createdAt = reader.required<QDateTime>("createdAt");
}
