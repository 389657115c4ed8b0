// SPDX-License-Identifier: MIT
#pragma once

#include "AppState.h"
#include "VMBundle.h"

#include <QColor>
#include <QPalette>
#include <QString>

#include <functional>

class QImage;
class QWidget;

/**
 * What every screenshot program shares: a tally of failed checks that
 * becomes the exit code, the dark palette the second shot is taken in, and
 * a measure of how much was drawn.
 */
namespace ScreenshotSupport {

/// Notes a failed check on standard error; exitCode() is then 1.
void check(bool condition, const QString &what);
int exitCode();

/// The folder for the PNGs: the first argument, else the current folder; made when missing.
QString outputFolder(int argc, char *argv[]);

/// Saves what the widget shows now, after letting pending paints run; checks that it was saved.
QImage shoot(QWidget &widget, const QString &path);

/// How far two colours lie apart, summed over the channels.
int distance(const QColor &left, const QColor &right);

/// How many distinct colours a grid of every third pixel holds: text, icons and gradients make many.
int distinctColours(const QImage &image);

/// Adds an installed 4-CPU, 8 GiB VM to the state's library, created on day `day` of January 2026, with a 1 GiB sparse disk; `change` adjusts its metadata first.
VMBundle addBundle(AppState &state, const QString &name, int day, const std::function<void(VMMetadata &)> &change);

/// An application state over scripted machines and no bundled resources, for a temporary home.
AppState::Options scriptedOptions();

/// A dark desktop palette, as a dark theme sets it.
QPalette darkPalette();

} // namespace ScreenshotSupport
