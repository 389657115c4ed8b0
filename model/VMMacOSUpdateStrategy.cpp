// SPDX-License-Identifier: MIT
#include "VMMacOSUpdateStrategy.h"

QString title(VMMacOSUpdateStrategy strategy)
{
    switch (strategy) {
    case VMMacOSUpdateStrategy::manual:
        return QStringLiteral("Manual");
    case VMMacOSUpdateStrategy::snapshotThenUpdate:
        return QStringLiteral("Snapshot + Update");
    case VMMacOSUpdateStrategy::snapshotUpdateVerifyRollback:
        return QStringLiteral("Full Safety (Snapshot \u2192 Update \u2192 Verify \u2192 Rollback if failed)");
    }
    Q_UNREACHABLE();
}

QString description(VMMacOSUpdateStrategy strategy)
{
    switch (strategy) {
    case VMMacOSUpdateStrategy::manual:
        return QStringLiteral("Just check for updates. Apply manually inside the guest.");
    case VMMacOSUpdateStrategy::snapshotThenUpdate:
        return QStringLiteral("Take a snapshot, then launch the guest for update. Rollback available.");
    case VMMacOSUpdateStrategy::snapshotUpdateVerifyRollback:
        return QStringLiteral("Full safety: snapshot, update, verify boot, auto-rollback on failure.");
    }
    Q_UNREACHABLE();
}
