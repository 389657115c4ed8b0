// SPDX-License-Identifier: MIT
#pragma once

#include "RestoreImageInfo.h"
#include "SelectableCard.h"

class QLabel;

/**
 * One downloadable macOS restore image in the wizard's list: its name with
 * a "Recommended" badge on the first entry, its build, and where it comes
 * from (selectable), on a card marked when it is the selected option.
 * Children: "option.mark", "option.name", "option.recommended",
 * "option.build", "option.source".
 */
class InstallSourceOptionRow final : public SelectableCard
{
    Q_OBJECT

public:
    InstallSourceOptionRow(const RestoreImageInfo &option, bool recommended, QWidget *parent = nullptr);

    void setOptionSelected(bool selected);
    const RestoreImageInfo &option() const { return m_option; }

    static QString sourceText(const RestoreImageInfo &option);

private:
    RestoreImageInfo m_option;
    QLabel *m_mark;
};
