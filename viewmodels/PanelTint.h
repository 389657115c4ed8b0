// SPDX-License-Identifier: MIT
#pragma once

/**
 * The colours the feature panels choose between, by role: the palette's own
 * roles, the system colours and the text styles. The views resolve a role to
 * a colour of the current appearance.
 */
enum class PanelTint {
    accent,
    teal,
    orange,
    red,
    green,
    purple,
    gray,
    /// The secondary text colour.
    secondary,
    /// The primary text colour.
    primary,
};
