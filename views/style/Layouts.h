// SPDX-License-Identifier: MIT
#pragma once

class QLayout;

/// Helpers for layouts that views rebuild when their view model changes.
namespace Layouts {

/// Removes and deletes every item of the layout, its widgets and nested layouts included.
void clear(QLayout &layout);

} // namespace Layouts
