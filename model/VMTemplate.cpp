// SPDX-License-Identifier: MIT
#include "VMTemplate.h"

#include <algorithm>

namespace {

constexpr quint64 gibibyte = 1024ULL * 1024 * 1024;

struct BuiltIn {
    const char16_t *name;
    const char16_t *description;
    VMTemplateCategory category;
    VMHardwareProfile hardware;
    VMMediaConfiguration media;
};

VMHardwareProfile hardware(qint64 cpus, quint64 memory, quint64 disk, qint64 width, qint64 height)
{
    VMHardwareProfile profile;
    profile.cpuCount = cpus;
    profile.memorySizeBytes = memory;
    profile.diskSizeBytes = disk;
    profile.displayWidth = width;
    profile.displayHeight = height;
    profile.displayPixelsPerInch = 80;
    return profile;
}

VMMediaConfiguration media(bool microphone, bool speaker)
{
    VMMediaConfiguration configuration;
    configuration.isMicrophoneEnabled = microphone;
    configuration.isSpeakerEnabled = speaker;
    return configuration;
}

} // namespace

QList<VMTemplate> VMTemplate::makeBuiltInTemplates(const HostCapacity &host)
{
    const qint64 performanceCPUs = std::min<qint64>(host.processorCount, 16);
    // Three quarters in floating point, truncated: 18 GiB gives 13.5 GiB, not a whole number of gibibytes.
    const quint64 performanceMemory = std::min<quint64>(quint64(double(host.physicalMemoryBytes) * 0.75), 64 * gibibyte);

    const BuiltIn builtIns[] = {
        {u"Dev Environment",
         u"Balanced setup for software development with generous resources for IDEs, editors, and build tools.",
         VMTemplateCategory::development, hardware(6, 16 * gibibyte, 128 * gibibyte, 1920, 1200), media(false, true)},
        {u"CI Runner", u"Lean setup optimized for automated builds and test suites. Minimal resources, maximum throughput.",
         VMTemplateCategory::ciRunner, hardware(4, 8 * gibibyte, 64 * gibibyte, 1280, 800), media(false, false)},
        {u"Clean Install", u"Minimal install for fresh environments, testing app installations, or reproducing user issues.",
         VMTemplateCategory::cleanInstall, hardware(2, 4 * gibibyte, 48 * gibibyte, 1440, 900), media(false, true)},
        {u"Performance Testing", u"High-resource setup for performance benchmarks, stress testing, and resource-intensive workloads.",
         VMTemplateCategory::performance, hardware(performanceCPUs, performanceMemory, 256 * gibibyte, 2560, 1600), media(true, true)},
        {u"QA Testing", u"Moderate resources for manual and automated testing with microphone support for accessibility testing.",
         VMTemplateCategory::testing, hardware(4, 8 * gibibyte, 80 * gibibyte, 1680, 1050), media(true, true)},
    };

    QList<VMTemplate> templates;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const BuiltIn &builtIn : builtIns) {
        VMTemplate entry;
        entry.id = QUuid::createUuid();
        entry.name = QString::fromUtf16(builtIn.name);
        entry.description = QString::fromUtf16(builtIn.description);
        entry.category = builtIn.category;
        entry.hardwareProfile = builtIn.hardware;
        entry.networkConfiguration = VMNetworkConfiguration{};
        entry.mediaConfiguration = builtIn.media;
        entry.installSource = VMInstallSource::latestSupportedAutomatic();
        entry.createdAt = now;
        entry.isBuiltIn = true;
        entry.iconSystemName = symbolName(builtIn.category);
        templates.append(entry);
    }
    return templates;
}

void to_json(Json &json, const VMTemplate &vmTemplate)
{
    JSONObjectWriter writer;
    writer.set("id", vmTemplate.id);
    writer.set("name", vmTemplate.name);
    writer.set("description", vmTemplate.description);
    writer.set("category", vmTemplate.category);
    writer.set("hardwareProfile", vmTemplate.hardwareProfile);
    writer.set("networkConfiguration", vmTemplate.networkConfiguration);
    writer.set("mediaConfiguration", vmTemplate.mediaConfiguration);
    writer.set("installSource", vmTemplate.installSource);
    writer.set("createdAt", vmTemplate.createdAt);
    writer.set("isBuiltIn", vmTemplate.isBuiltIn);
    writer.set("iconSystemName", vmTemplate.iconSystemName);
    json = writer.take();
}

void from_json(const Json &json, VMTemplate &vmTemplate)
{
    const JSONObjectReader reader(json);
    vmTemplate.id = reader.required<QUuid>("id");
    vmTemplate.name = reader.required<QString>("name");
    vmTemplate.description = reader.required<QString>("description");
    vmTemplate.category = reader.required<VMTemplateCategory>("category");
    vmTemplate.hardwareProfile = reader.required<VMHardwareProfile>("hardwareProfile");
    vmTemplate.networkConfiguration = reader.required<VMNetworkConfiguration>("networkConfiguration");
    vmTemplate.mediaConfiguration = reader.required<VMMediaConfiguration>("mediaConfiguration");
    vmTemplate.installSource = reader.required<VMInstallSource>("installSource");
    vmTemplate.createdAt = reader.required<QDateTime>("createdAt");
    vmTemplate.isBuiltIn = reader.required<bool>("isBuiltIn");
    vmTemplate.iconSystemName = reader.required<QString>("iconSystemName");
}
