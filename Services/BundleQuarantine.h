// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * Strips the quarantine mark from what the host keeps in a bundle folder
 * (or in its protection mirror): every visible item below the folder, but
 * nothing in the part the guest writes (GuestWrittenContent), so that the
 * cost of a save does not grow with what the guest left there.
 *
 * A mark only matters to whoever opens the item later, never to the save
 * that strips it, so the strip is best effort: an item it cannot reach keeps
 * its mark and nothing is thrown. Hidden items are not visited and links
 * are not followed; the folder itself keeps its mark.
 */
namespace BundleQuarantine {

void removeBelow(const QString &folder);

} // namespace BundleQuarantine
