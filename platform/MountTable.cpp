// SPDX-License-Identifier: MIT
#include "MountTable.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace MountTable {

namespace {

    /// Mount points and roots escape space, tab, newline and backslash as three octal digits ("\040").
    QString unescaped(const QByteArray &field)
    {
        QByteArray bytes;
        bytes.reserve(field.size());
        for (qsizetype i = 0; i < field.size(); ++i) {
            if (field[i] == '\\' && i + 3 < field.size()) {
                bool ok = false;
                const int code = field.mid(i + 1, 3).toInt(&ok, 8);
                if (ok && code < 256) {
                    bytes.append(char(code));
                    i += 3;
                    continue;
                }
            }
            bytes.append(field[i]);
        }
        return QFile::decodeName(bytes);
    }

    QString deviceKey(dev_t device) { return QString::number(major(device)) + QLatin1Char(':') + QString::number(minor(device)); }

} // namespace

QList<MountPoint> parse(const QByteArray &mountinfo, const QHash<QString, QString> &uuidByDevice)
{
    QList<MountPoint> mounts;
    for (const QByteArray &line : mountinfo.split('\n')) {
        // id parent major:minor root mount-point options [optional fields...] - type source super-options
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (separator < 6 || separator + 2 >= fields.size())
            continue;
        const QString device = QString::fromLatin1(fields[2]);
        const QString uuid = uuidByDevice.value(device);
        const QString fileSystemId = uuid.isEmpty()
            ? QStringLiteral("source:") + unescaped(fields[separator + 1]) + QLatin1Char(':') + unescaped(fields[separator + 2])
            : QStringLiteral("uuid:") + uuid;
        mounts.append({ unescaped(fields[4]), unescaped(fields[3]), fileSystemId });
    }
    return mounts;
}

QHash<QString, QString> uuidsByDevice(const QString &folder)
{
    QHash<QString, QString> uuids;
    const QDir directory(folder);
    for (const QString &name : directory.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        struct stat status {
        };
        if (::stat(QFile::encodeName(directory.filePath(name)).constData(), &status) == 0 && S_ISBLK(status.st_mode))
            uuids.insert(deviceKey(status.st_rdev), name);
    }
    return uuids;
}

QList<MountPoint> current()
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    return parse(table.readAll(), uuidsByDevice());
}

} // namespace MountTable
