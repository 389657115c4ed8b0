// SPDX-License-Identifier: MIT
#include "VMPerformanceMetrics.h"

const VMPerformanceMetrics &VMPerformanceMetrics::zero()
{
    static const VMPerformanceMetrics empty = [] {
        VMPerformanceMetrics sample;
        sample.timestamp = QDateTime::currentDateTimeUtc();
        return sample;
    }();
    return empty;
}
