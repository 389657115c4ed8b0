// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QString>

class QLabel;

/// The plain-text labels the details pane and its sheets are built from: nothing in them is read as markup.
namespace DetailsTextLabels {

/// A word-wrapped plain-text label.
QLabel *plain(const QString &text);
/// The same in the secondary text colour.
QLabel *secondary(const QString &text);
/// A semibold title; `level` 1 is the largest.
QLabel *title(const QString &text, int level);
QFont footnoteFont(QFont font);

} // namespace DetailsTextLabels
