// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

/**
 * Which bundle a saved state was saved in. The state holds the guest's view
 * of its bundle's own folders (the automation share, the shared-folder
 * tree), whose server checks each restored file against the one the guest
 * had; in a copy of the bundle (a clone that kept the state, a bundle copied
 * by hand and imported) none of them is the one saved. A saved state
 * therefore belongs to the bundle it was saved in, and a copy must start
 * cold.
 *
 * The save records the VM's identifier and the bundle folder's inode in
 * SavedState/Origin.json, next to the state. A copy lies in another folder,
 * and one imported beside its original also takes another identifier. The
 * device number is left out: it may change when the host restarts, while
 * the bundle and its state stay valid.
 */
namespace SavedStateOrigin {

/// Records `bundle` as the one its saved state was saved in. Throws PlatformError.
void record(const VMBundle &bundle);

/// Removes the record, so that a state whose origin could not be recorded is never judged by an older one.
void forget(const VMBundle &bundle) noexcept;

/**
 * Whether the saved state in `bundle` was saved in another bundle; false
 * when its origin is unknown (a state saved before origins were recorded,
 * an unreadable record): then the restore itself decides.
 */
bool isFromAnotherBundle(const VMBundle &bundle);

} // namespace SavedStateOrigin
