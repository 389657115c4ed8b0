// SPDX-License-Identifier: MIT
#include "Symbols.h"

#include <QHash>
#include <QLabel>
#include <QPainter>

namespace {

const QString genericIcon = QStringLiteral("image-missing");

const QHash<QString, QString> &symbolTable()
{
    static const QHash<QString, QString> table {
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
        {QStringLiteral("info.circle.fill"), QStringLiteral("dialog-information")},
        {QStringLiteral("macwindow.badge.plus"), QStringLiteral("computer")},
        {QStringLiteral("slider.horizontal.3"), QStringLiteral("preferences-system")},
        {QStringLiteral("shippingbox"), QStringLiteral("package-x-generic")},
        {QStringLiteral("macwindow.on.rectangle"), QStringLiteral("computer")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("go-bottom")},
        {QStringLiteral("folder.badge.plus"), QStringLiteral("folder-new")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-default")},
        {QStringLiteral("circle"), QStringLiteral("radio")},
        {QStringLiteral("circle.fill"), QStringLiteral("radio-checked")},
        {QStringLiteral("circle.dotted"), QStringLiteral("emblem-synchronizing")},
        {QStringLiteral("clock.badge.xmark"), QStringLiteral("alarm")},
        {QStringLiteral("gearshape.2"), QStringLiteral("emblem-system")},
        {QStringLiteral("terminal"), QStringLiteral("utilities-terminal")},
        {QStringLiteral("camera"), QStringLiteral("camera-photo")},
        {QStringLiteral("power"), QStringLiteral("system-shutdown")},
        {QStringLiteral("play.fill"), QStringLiteral("media-playback-start")},
        {QStringLiteral("arrow.down.circle.fill"), QStringLiteral("folder-download")},
        {QStringLiteral("arrow.down.doc"), QStringLiteral("document-save")},
        {QStringLiteral("doc"), QStringLiteral("text-x-generic")},
        {QStringLiteral("doc.text"), QStringLiteral("text-x-generic")},
        {QStringLiteral("doc.richtext"), QStringLiteral("x-office-document")},
        {QStringLiteral("doc.zipper"), QStringLiteral("media-zip")},
        {QStringLiteral("photo"), QStringLiteral("image-x-generic")},
        {QStringLiteral("app.gift"), QStringLiteral("application-x-addon")},
        {QStringLiteral("camera.fill"), QStringLiteral("camera-photo")},
        {QStringLiteral("clock.arrow.circlepath"), QStringLiteral("document-open-recent")},
        {QStringLiteral("arrow.counterclockwise"), QStringLiteral("document-revert")},
        {QStringLiteral("gearshape"), QStringLiteral("emblem-system")},
        {QStringLiteral("cpu"), QStringLiteral("computer")},
        {QStringLiteral("desktopcomputer"), QStringLiteral("computer")},
        {QStringLiteral("arrow.turn.up.left"), QStringLiteral("mail-reply-sender")},
        {QStringLiteral("externaldrive"), QStringLiteral("drive-removable-media")},
        {QStringLiteral("leaf"), QStringLiteral("emblem-default")},
        {QStringLiteral("gauge.with.dots.needle.33percent"), QStringLiteral("emblem-system")},
        {QStringLiteral("memorychip"), QStringLiteral("media-flash")},
        {QStringLiteral("chart.xyaxis.line"), QStringLiteral("document-open-recent")},
        {QStringLiteral("network"), QStringLiteral("network-wired")},
        {QStringLiteral("point.3.connected.trianglepath.dotted"), QStringLiteral("network-workgroup")},
        {QStringLiteral("minus.circle"), QStringLiteral("list-remove")},
        {QStringLiteral("plus.circle"), QStringLiteral("list-add")},
        {QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("view-refresh")},
        {QStringLiteral("xmark.octagon.fill"), QStringLiteral("dialog-error")},
        {QStringLiteral("arrow.down.to.line"), QStringLiteral("go-bottom")},
        {QStringLiteral("hammer"), QStringLiteral("applications-engineering")},
        {QStringLiteral("checkmark.seal"), QStringLiteral("emblem-default")},
        {QStringLiteral("sparkles"), QStringLiteral("starred")},
        {QStringLiteral("bolt"), QStringLiteral("system-run")},
        {QStringLiteral("apple.logo"), QStringLiteral("computer")},
        {QStringLiteral("pc"), QStringLiteral("computer")},
        {QStringLiteral("largecircle.fill.circle"), QStringLiteral("radio-checked")},
        {QStringLiteral("camera.slash"), QStringLiteral("camera-disabled")},
        {QStringLiteral("opticaldisc"), QStringLiteral("media-optical")},
        {QStringLiteral("opticaldisc.fill"), QStringLiteral("media-optical")},
        {QStringLiteral("arrow.up.right.square"), QStringLiteral("web-browser")},
        {QStringLiteral("xmark.circle"), QStringLiteral("dialog-error")},
        {QStringLiteral("checkmark.shield.fill"), QStringLiteral("security-high")},
        {QStringLiteral("xmark.shield.fill"), QStringLiteral("security-low")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning")},
        {QStringLiteral("doc.on.clipboard"), QStringLiteral("edit-copy")},
        {QStringLiteral("wrench.and.screwdriver"), QStringLiteral("applications-engineering")},
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

QLabel *Symbols::label(const QString &symbol, const QColor &color, int size)
{
    auto *made = new QLabel;
    made->setPixmap(tinted(symbol, color, size));
    made->setFixedSize(size, size);
    made->setProperty("symbol", symbol);
    return made;
}
