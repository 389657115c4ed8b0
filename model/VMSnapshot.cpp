// SPDX-License-Identifier: MIT
#include "VMSnapshot.h"

#include "DisplayFormatters.h"

QString VMSnapshot::hardwareSummary() const
{
    const QString separator = QStringLiteral(" \u2022 ");
    const QString cpus = QString::number(cpuCount) + (cpuCount == 1 ? QStringLiteral(" CPU") : QStringLiteral(" CPUs"));
    return cpus + separator + DisplayFormatters::byteCountText(memorySizeBytes) + separator + DisplayFormatters::byteCountText(diskSizeBytes);
}

void to_json(Json &json, const VMSnapshot &snapshot)
{
    JSONObjectWriter writer;
    writer.set("id", snapshot.id);
    writer.set("name", snapshot.name);
    writer.set("notes", snapshot.notes);
    writer.set("createdAt", snapshot.createdAt);
    writer.set("parentSnapshotID", snapshot.parentSnapshotID);
    writer.set("diskSizeBytes", snapshot.diskSizeBytes);
    writer.set("memorySizeBytes", snapshot.memorySizeBytes);
    writer.set("cpuCount", snapshot.cpuCount);
    writer.set("guestOSDisplayName", snapshot.guestOSDisplayName);
    writer.set("stateRelativePath", snapshot.stateRelativePath);
    writer.set("diskRelativePath", snapshot.diskRelativePath);
    writer.set("isAutoSnapshot", snapshot.isAutoSnapshot);
    json = writer.take();
}

void from_json(const Json &json, VMSnapshot &snapshot)
{
    const JSONObjectReader reader(json);
    snapshot.id = reader.required<QUuid>("id");
    snapshot.name = reader.required<QString>("name");
    snapshot.notes = reader.required<QString>("notes");
    snapshot.createdAt = reader.required<QDateTime>("createdAt");
    snapshot.parentSnapshotID = reader.optional<QUuid>("parentSnapshotID");
    snapshot.diskSizeBytes = reader.required<quint64>("diskSizeBytes");
    snapshot.memorySizeBytes = reader.required<quint64>("memorySizeBytes");
    snapshot.cpuCount = reader.required<qint64>("cpuCount");
    snapshot.guestOSDisplayName = reader.optional<QString>("guestOSDisplayName");
    snapshot.stateRelativePath = reader.required<QString>("stateRelativePath");
    snapshot.diskRelativePath = reader.required<QString>("diskRelativePath");
    snapshot.isAutoSnapshot = reader.required<bool>("isAutoSnapshot");
}
