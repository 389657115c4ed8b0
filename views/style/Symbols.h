// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QLabel;

/**
 * The application's symbols by their names ("play.circle", "trash", ...),
 * drawn from the freedesktop icon theme. Every name goes through one table;
 * a name the table does not know (such as one stored in a file) shows a
 * generic icon, never a theme lookup of its own.
 */
class Symbols
{
public:
    /// The freedesktop icon name for a symbol, or the generic one.
    static QString themeName(const QString &symbol);
    static bool isKnown(const QString &symbol);
    static QIcon icon(const QString &symbol);
    /// The symbol at `size` pixels, painted in `color`.
    static QPixmap tinted(const QString &symbol, const QColor &color, int size);
    /// A label `size` pixels square showing the tinted symbol; its "symbol" property names it.
    static QLabel *label(const QString &symbol, const QColor &color, int size);
    /// Chooses Adwaita when the platform names no icon theme.
    static void ensureIconTheme();
};
