// SPDX-License-Identifier: MIT
#pragma once

#include "VMTemplate.h"

#include <QDialog>
#include <QList>

/**
 * The template library as a window-modal sheet: the templates a new VM can
 * start from, by name and description. Picking one needs the new-VM wizard;
 * until the window has one, the sheet only lists them.
 */
class TemplateLibraryDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit TemplateLibraryDialog(const QList<VMTemplate> &templates, QWidget *parent = nullptr);
};
