// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QUuid>

/**
 * A named script job that the user sets up once and runs inside a VM. The
 * list of them is stored as a JSON array in CIConfigurations.json. Every key
 * is required; the environment is always written, as an empty object when
 * there is none. Identified by `id`; the environment compares as a map, so
 * the order in which its entries were added does not matter.
 */
struct VMCIRunConfiguration {
    QUuid id;
    QString name;
    /// Where the script is placed inside the guest.
    QString scriptPath;
    QString scriptContent;
    qint64 timeoutSeconds = 0;
    bool captureOutput = false;
    bool shutdownAfterCompletion = false;
    bool snapshotBeforeRun = false;
    bool restoreAfterRun = false;
    QMap<QString, QString> environmentVariables;
    QDateTime createdAt;

    /**
     * A new configuration as the CI form makes it: a fresh identifier, made
     * now, with the script at "/tmp/ci-run.sh", output captured, the VM
     * restored after the run and no environment.
     */
    static VMCIRunConfiguration fromForm(const QString &name, const QString &scriptContent, qint64 timeoutSeconds, bool snapshotBeforeRun,
                                         bool shutdownAfterCompletion);

    bool operator==(const VMCIRunConfiguration &) const = default;
};

void to_json(Json &json, const VMCIRunConfiguration &configuration);
void from_json(const Json &json, VMCIRunConfiguration &configuration);
