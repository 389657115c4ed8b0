// SPDX-License-Identifier: MIT
#include "HostNetworkService.h"

#include <QCollator>

#include <algorithm>

HostNetworkService::HostNetworkService(SysfsNetworkInterfaces host)
    : m_host(std::move(host))
{
}

QList<HostBridgedNetworkInterfaceOption> HostNetworkService::availableInterfaces() const
{
    QList<HostBridgedNetworkInterfaceOption> options;
    for (const BridgedNetworkInterface &interface : m_host.networkInterfaces())
        options.append({interface.identifier, interface.localizedDisplayName});

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(options.begin(), options.end(), [&collator](const auto &first, const auto &second) {
        return collator.compare(first.label(), second.label()) < 0;
    });
    return options;
}

std::optional<BridgedNetworkInterface> HostNetworkService::interface(const QString &identifier) const
{
    for (const BridgedNetworkInterface &interface : m_host.networkInterfaces()) {
        if (interface.identifier == identifier)
            return interface;
    }
    return std::nullopt;
}
