// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class QLabel;

/**
 * What the detail column shows while the library holds VMs but none of
 * them is selected and shown (nothing picked, or the search hides the
 * selected one): a title and a hint. The first-run empty state is for an
 * empty library only. Children: "library.noSelection.title",
 * "library.noSelection.hint".
 */
class NoSelectionView final : public QWidget
{
    Q_OBJECT

public:
    explicit NoSelectionView(QWidget *parent = nullptr);

    void setHint(const QString &hint);

private:
    QLabel *m_hint;
};
