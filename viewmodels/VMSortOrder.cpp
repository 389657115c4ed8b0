// SPDX-License-Identifier: MIT
#include "VMSortOrder.h"

QString title(VMSortOrder order)
{
    switch (order) {
    case VMSortOrder::dateCreatedNewest:
        return QStringLiteral("Newest First");
    case VMSortOrder::dateCreatedOldest:
        return QStringLiteral("Oldest First");
    case VMSortOrder::dateModifiedNewest:
        return QStringLiteral("Recently Modified");
    case VMSortOrder::name:
        return QStringLiteral("Name");
    case VMSortOrder::diskSize:
        return QStringLiteral("Disk Size");
    }
    Q_UNREACHABLE();
}

QString systemImage(VMSortOrder order)
{
    switch (order) {
    case VMSortOrder::dateCreatedNewest:
        return QStringLiteral("arrow.down");
    case VMSortOrder::dateCreatedOldest:
        return QStringLiteral("arrow.up");
    case VMSortOrder::dateModifiedNewest:
        return QStringLiteral("clock");
    case VMSortOrder::name:
        return QStringLiteral("textformat");
    case VMSortOrder::diskSize:
        return QStringLiteral("internaldrive");
    }
    Q_UNREACHABLE();
}
