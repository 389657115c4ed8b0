// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "TestBundle.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

/**
 * Runs one of the staged Linux guest scripts for a single pass, as a guest
 * would, without touching this machine.
 *
 * Where user namespaces are allowed, the script runs in a private mount
 * namespace (unshare -Urm): the sandbox folder is mounted over /mnt, its
 * "varlog" folder over /var/log, its "usrlocal" folder over /usr/local and
 * its "run" folder over /run and a fresh tmpfs over /tmp, so the script's fixed places (/mnt/duvuzodovevav,
 * its logs, the install folder) land in the sandbox.
 * Elsewhere the script's copy has those places rewritten into the sandbox.
 *
 * PATH holds only the fakes given with addTool() and links to a few real
 * everyday tools, so nothing else the machine has installed (a real
 * growpart, say) takes part. The fake sleep ends the script after its first
 * pass. Fakes find the sandbox in $SANDBOX.
 */
class LinuxGuestSandbox
{
public:
    struct Result {
        bool finished = false;
        QByteArray output;
    };

    LinuxGuestSandbox()
    {
        QDir().mkpath(hostPath(QStringLiteral("bin")));
        QDir().mkpath(hostPath(QStringLiteral("realbin")));
        QDir().mkpath(hostPath(QStringLiteral("varlog")));
        QDir().mkpath(hostPath(QStringLiteral("usrlocal")));
        QDir().mkpath(hostPath(QStringLiteral("tmp")));
        QDir().mkpath(hostPath(QStringLiteral("run")));
        QDir().mkpath(hostPath(QStringLiteral("duvuzodovevav")));
        const QStringList system { QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/bin"), QStringLiteral("/bin") };
        for (const char *tool : { "date", "awk", "tr", "mkdir", "mv", "rm", "cat", "basename", "dirname", "mountpoint", "umount", "base64",
                 "find", "head", "ln", "touch", "cp", "chmod", "cut", "python3", "jq", "timeout", "env", "mktemp", "stat", "setpriv", "id" }) {
            const QString found = QStandardPaths::findExecutable(QString::fromLatin1(tool), system);
            if (!found.isEmpty())
                QFile::link(found, hostPath(QStringLiteral("realbin/")) + QString::fromLatin1(tool));
        }
        addTool(QStringLiteral("sleep"), "kill -TERM \"$PPID\"");
    }

    /// A Linux VM's bundle in a new folder at `folder`, as the guest tests use it.
    static VMBundle linuxBundleAt(const QString &folder, const QString &name)
    {
        QDir().mkpath(folder);
        return TestBundle(folder).named(name).guest(VMGuestOSType::linux);
    }

    /// Whether this machine lets an unprivileged process have its own user and mount namespaces.
    static bool namespacesAvailable()
    {
        static const bool available = [] {
            QProcess probe;
            const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
            if (unshare.isEmpty())
                return false;
            probe.start(unshare, { QStringLiteral("-Urm"), QStringLiteral("true") });
            return probe.waitForFinished(10'000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
        }();
        return available;
    }

    /// Whether the scripts can read JSON here (they use python3, else jq).
    bool hasJSONReader() const
    {
        return QFileInfo::exists(hostPath(QStringLiteral("realbin/python3"))) || QFileInfo::exists(hostPath(QStringLiteral("realbin/jq")));
    }

    /// A fake tool: a bash script with `body`, first on PATH.
    void addTool(const QString &name, const QByteArray &body)
    {
        const QString path = hostPath(QStringLiteral("bin/") + name);
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write("#!/bin/bash\n" + body + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString hostPath(const QString &relative) const { return m_folder.path() + QLatin1Char('/') + relative; }
    /// The folder the installer installs into, as the scripts see it.
    QString installFolder() const
    {
        return namespacesAvailable() ? QStringLiteral("/usr/local/libexec/duvuzodovevav")
                                     : hostPath(QStringLiteral("usrlocal/libexec/duvuzodovevav"));
    }

    /// Where the script sees `relative`: below /mnt in the namespace, else in the sandbox itself.
    QString guestPath(const QString &relative) const
    {
        return (namespacesAvailable() ? QStringLiteral("/mnt") : m_folder.path()) + QLatin1Char('/') + relative;
    }
    QByteArray read(const QString &relative) const
    {
        QFile file(hostPath(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    /**
     * Runs the script at `relative` in the sandbox for one pass. With
     * `withoutUUIDSource`, /proc/sys/kernel/random/uuid reads empty.
     * `variables` are added to the script's environment.
     */
    Result run(const QString &relative, bool withoutUUIDSource = false, const QMap<QString, QString> &variables = {}) const
    {
        QProcessEnvironment environment;
        for (auto variable = variables.cbegin(); variable != variables.cend(); ++variable)
            environment.insert(variable.key(), variable.value());
        environment.insert(QStringLiteral("SANDBOX_HOST"), m_folder.path());
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/sbin:/usr/bin:/sbin:/bin"));
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setProcessEnvironment(environment);
        if (namespacesAvailable()) {
            const QString setup
                = QStringLiteral("set -e\n"
                                 "mount --bind \"$SANDBOX_HOST\" /mnt\n"
                                 "mount --bind /mnt/varlog /var/log\n"
                                 "mount --bind /mnt/usrlocal /usr/local\n"
                                 "mount --bind /mnt/run /run\n"
                                 "%1"
                                 "mount -t tmpfs tmpfs /tmp\n"
                                 "export SANDBOX=/mnt PATH=/mnt/bin:/mnt/realbin\n"
                                 "exec /bin/bash /mnt/%2\n")
                      .arg(withoutUUIDSource ? QStringLiteral("mount --bind /dev/null /proc/sys/kernel/random/uuid\n") : QString(),
                          relative);
            process.start(QStandardPaths::findExecutable(QStringLiteral("unshare")),
                { QStringLiteral("-Urm"), QStringLiteral("/bin/bash"), QStringLiteral("-c"), setup });
        } else {
            const QString copy = rewrittenCopy(relative, withoutUUIDSource);
            environment.insert(QStringLiteral("SANDBOX"), m_folder.path());
            environment.insert(
                QStringLiteral("PATH"), hostPath(QStringLiteral("bin")) + QLatin1Char(':') + hostPath(QStringLiteral("realbin")));
            process.setProcessEnvironment(environment);
            process.start(QStringLiteral("/bin/bash"), { copy });
        }
        Result result;
        result.finished = process.waitForFinished(30'000);
        if (!result.finished)
            process.kill();
        result.output = process.readAll();
        return result;
    }

private:
    /// The script with its fixed places moved into the sandbox, for machines without namespaces.
    QString rewrittenCopy(const QString &relative, bool withoutUUIDSource) const
    {
        QString text = QString::fromUtf8(read(relative));
        const auto move = [&](const char *place, const QString &relative) {
            text.replace(
                QLatin1Char('"') + QLatin1String(place) + QLatin1Char('"'), QLatin1Char('"') + hostPath(relative) + QLatin1Char('"'));
        };
        move("/mnt/duvuzodovevav", QStringLiteral("duvuzodovevav"));
        move("/var/log/duvuzodovevav-linux-agent.log", QStringLiteral("varlog/duvuzodovevav-linux-agent.log"));
        move("/tmp/duvuzodovevav-linux-clipboard.log", QStringLiteral("tmp/duvuzodovevav-linux-clipboard.log"));
        move("/usr/local/libexec/duvuzodovevav", QStringLiteral("usrlocal/libexec/duvuzodovevav"));
        move("/run/duvuzodovevav-clipboard", QStringLiteral("run/duvuzodovevav-clipboard"));
        if (withoutUUIDSource)
            move("/proc/sys/kernel/random/uuid", QStringLiteral("no-uuid"));
        // Beside the original, so that a script that works relative to its own folder finds what it needs.
        const QFileInfo original(hostPath(relative));
        const QString copy = original.absolutePath() + QStringLiteral("/.rewritten-") + original.fileName();
        QFile file(copy);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(text.toUtf8());
        return copy;
    }

    QTemporaryDir m_folder;
};
