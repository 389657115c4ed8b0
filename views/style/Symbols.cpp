// SPDX-License-Identifier: MIT
#include "Symbols.h"

#include <QHash>
#include <QPainter>

namespace {

const QString genericIcon = QStringLiteral("image-missing");

const QHash<QString, QString> &symbolTable()
{
    static const QHash<QString, QString> table{
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh")},
        {QStringLiteral("arrow.clockwise.circle"), QStringLiteral("view-refresh")},
        {QStringLiteral("plus"), QStringLiteral("list-add")},
        {QStringLiteral("plus.square.on.square"), QStringLiteral("edit-copy")},
        {QStringLiteral("doc.on.doc"), QStringLiteral("edit-copy")},
        {QStringLiteral("square.and.arrow.down"), QStringLiteral("document-save")},
        {QStringLiteral("archivebox"), QStringLiteral("package-x-generic")},
        {QStringLiteral("play"), QStringLiteral("media-playback-start")},
        {QStringLiteral("play.circle"), QStringLiteral("media-playback-start")},
        {QStringLiteral("play.circle.fill"), QStringLiteral("media-playback-start")},
        {QStringLiteral("pause.circle.fill"), QStringLiteral("media-playback-pause")},
        {QStringLiteral("stop"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("stop.circle"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("stop.circle.fill"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("trash"), QStringLiteral("user-trash")},
        {QStringLiteral("pencil"), QStringLiteral("document-edit")},
        {QStringLiteral("tag"), QStringLiteral("bookmark-new")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("folder.badge.gearshape"), QStringLiteral("folder-remote")},
        {QStringLiteral("bolt.horizontal.circle"), QStringLiteral("media-record")},
        {QStringLiteral("bolt.horizontal.circle.fill"), QStringLiteral("media-record")},
        {QStringLiteral("rectangle.on.rectangle"), QStringLiteral("video-display")},
        {QStringLiteral("magnifyingglass"), QStringLiteral("system-search")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral("edit-clear")},
        {QStringLiteral("arrow.up.arrow.down"), QStringLiteral("view-sort-ascending")},
        {QStringLiteral("arrow.down"), QStringLiteral("go-down")},
        {QStringLiteral("arrow.up"), QStringLiteral("go-up")},
        {QStringLiteral("clock"), QStringLiteral("document-open-recent")},
        {QStringLiteral("textformat"), QStringLiteral("format-text-bold")},
        {QStringLiteral("internaldrive"), QStringLiteral("drive-harddisk")},
        {QStringLiteral("checkmark"), QStringLiteral("object-select")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning")},
        {QStringLiteral("macwindow.badge.plus"), QStringLiteral("computer")},
        {QStringLiteral("slider.horizontal.3"), QStringLiteral("preferences-system")},
        {QStringLiteral("shippingbox"), QStringLiteral("package-x-generic")},
        {QStringLiteral("apple.logo"), QStringLiteral("computer")},
        {QStringLiteral("terminal"), QStringLiteral("utilities-terminal")},
        {QStringLiteral("pc"), QStringLiteral("computer")},
        {QStringLiteral("desktopcomputer"), QStringLiteral("computer")},
        {QStringLiteral("largecircle.fill.circle"), QStringLiteral("radio-checked")},
        {QStringLiteral("circle"), QStringLiteral("radio")},
        {QStringLiteral("camera.slash"), QStringLiteral("camera-disabled")},
        {QStringLiteral("opticaldisc"), QStringLiteral("media-optical")},
        {QStringLiteral("opticaldisc.fill"), QStringLiteral("media-optical")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("software-update-available")},
        {QStringLiteral("arrow.up.right.square"), QStringLiteral("web-browser")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-ok")},
        {QStringLiteral("xmark.circle"), QStringLiteral("dialog-error")},
        {QStringLiteral("checkmark.shield.fill"), QStringLiteral("security-high")},
        {QStringLiteral("xmark.shield.fill"), QStringLiteral("security-low")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning")},
        {QStringLiteral("doc.on.clipboard"), QStringLiteral("edit-copy")},
        {QStringLiteral("wrench.and.screwdriver"), QStringLiteral("applications-engineering")},
        {QStringLiteral("sparkles"), QStringLiteral("starred")},
    };
    return table;
}

} // namespace

QString Symbols::themeName(const QString &symbol)
{
    return symbolTable().value(symbol, genericIcon);
}

bool Symbols::isKnown(const QString &symbol)
{
    return symbolTable().contains(symbol);
}

QIcon Symbols::icon(const QString &symbol)
{
    return QIcon::fromTheme(themeName(symbol), QIcon::fromTheme(genericIcon));
}

QPixmap Symbols::tinted(const QString &symbol, const QColor &color, int size)
{
    // Only a one-colour drawing keeps its shape when tinted: the theme's symbolic variant where it has one.
    const QIcon source = QIcon::fromTheme(themeName(symbol) + QStringLiteral("-symbolic"), icon(symbol));
    QPixmap pixmap = source.pixmap(size, size);
    if (pixmap.isNull())
        return pixmap;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    return pixmap;
}

void Symbols::ensureIconTheme()
{
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QStringLiteral("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}
