// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * The application's second data folder, <data home>/DuvuzodOvevav, which
 * holds the application-wide lists: templates, private networks and CI
 * configurations. Without a data home the temporary folder takes its place.
 * The folder is not created here; whoever first saves into it creates it.
 */
QString productStemFolder();
