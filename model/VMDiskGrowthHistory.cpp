// SPDX-License-Identifier: MIT
#include "VMDiskGrowthHistory.h"

namespace {

constexpr double secondsPerDay = 86'400.0;

} // namespace

void VMDiskGrowthHistory::record(quint64 allocatedBytes) { record(allocatedBytes, QDateTime::currentDateTimeUtc()); }

void VMDiskGrowthHistory::record(quint64 allocatedBytes, const QDateTime &date)
{
    // The details pane measures each time it is shown; one sample a day keeps a year in the history however often that is.
    if (!samples.isEmpty() && samples.constLast().date.toUTC().date() == date.toUTC().date())
        samples.last() = {date, allocatedBytes};
    else
        samples.append({date, allocatedBytes});
    if (samples.size() > maximumSampleCount)
        samples.remove(0, samples.size() - maximumSampleCount);
}

double VMDiskGrowthHistory::averageDailyGrowthBytes() const
{
    if (samples.size() < 2)
        return 0.0;
    const VMDiskGrowthSample &first = samples.constFirst();
    const VMDiskGrowthSample &last = samples.constLast();
    const double elapsedSeconds = double(first.date.msecsTo(last.date)) / 1000.0;
    const double days = elapsedSeconds / secondsPerDay;
    // Also catches NaN, which compares false.
    const double countedDays = days >= 1.0 ? days : 1.0;
    // Sizes stay below 2^63; subtracting unsigned and reading the result as signed gives the signed
    // difference without the overflow a corrupt file could otherwise cause.
    const auto growth = qint64(last.allocatedBytes - first.allocatedBytes);
    const double perDay = double(growth) / countedDays;
    return perDay >= 0.0 ? perDay : 0.0;
}

std::optional<double> VMDiskGrowthHistory::estimatedDaysUntilHostFull(quint64 availableCapacityBytes) const
{
    const double growth = averageDailyGrowthBytes();
    if (growth == 0.0 || samples.isEmpty() || availableCapacityBytes == 0)
        return std::nullopt;
    return double(availableCapacityBytes) / growth;
}

void to_json(Json &json, const VMDiskGrowthHistory &history)
{
    JSONObjectWriter writer;
    writer.set("samples", history.samples);
    json = writer.take();
}

void from_json(const Json &json, VMDiskGrowthHistory &history)
{
    const JSONObjectReader reader(json);
    history.samples = reader.required<QList<VMDiskGrowthSample>>("samples");
}
