// SPDX-License-Identifier: MIT
#include "StagingMarker.h"

#include "ConfinedFolder.h"
#include "JSONCoding.h"
#include "ProcessIdentity.h"

namespace StagingMarker {

namespace {

    /// A marker is a few hundred bytes; anything larger is not one.
    constexpr qint64 maximumMarkerSize = 4096;

    QByteArray encoded(const ProcessIdentity &owner)
    {
        JSONObjectWriter writer;
        writer.set("hostName", owner.hostName);
        writer.set("bootID", owner.bootID);
        writer.set("processID", owner.processID);
        writer.set("startTicks", owner.startTicks);
        return sharedJSONEncoder().encodeJson(writer.take());
    }

    ProcessIdentity decoded(const QByteArray &data)
    {
        const Json json = sharedJSONDecoder().parse(data);
        const JSONObjectReader reader(json);
        return {reader.required<QString>("hostName"), reader.required<QString>("bootID"), reader.required<qint64>("processID"),
                reader.required<quint64>("startTicks")};
    }

} // namespace

void write(const QString &folder)
{
    ConfinedFolder::open(folder).writeFileAtomically(fileName.toString(), encoded(ProcessIdentity::current()));
}

bool marksLeftover(const QString &folder)
{
    try {
        return !decoded(ConfinedFolder::open(folder).readFile(fileName.toString(), maximumMarkerSize)).isRunning();
    } catch (const std::exception &) {
        return false;
    }
}

void remove(const QString &folder)
{
    const ConfinedFolder confined = ConfinedFolder::open(folder);
    if (confined.contains(fileName.toString()))
        confined.removeFile(fileName.toString());
}

} // namespace StagingMarker
