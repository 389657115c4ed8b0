// SPDX-License-Identifier: MIT
#pragma once

class QLayout;

/// Helpers for layouts that views rebuild when their view model changes.
namespace Layouts {

/// Removes and deletes every item of the layout, its widgets and nested layouts included.
void clear(QLayout &layout);

/**
 * Empties the layout like clear(), but its widgets only leave at once
 * (hidden, unparented) and are deleted later: for a rebuild that one of
 * them may have started, e.g. from a click it is still sending.
 */
void clearLater(QLayout &layout);

} // namespace Layouts
