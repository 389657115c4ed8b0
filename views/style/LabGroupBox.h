// SPDX-License-Identifier: MIT
#pragma once

#include "LabPanel.h"

class QLabel;
class QVBoxLayout;

/**
 * A titled group of the application's style: the title in a semibold
 * headline above the content, 14 px apart, padded by 18 px inside a panel
 * with corner radius 22. Add the content to contentLayout().
 */
class LabGroupBox : public LabPanel
{
    Q_OBJECT

public:
    explicit LabGroupBox(const QString &title, QWidget *parent = nullptr);

    QVBoxLayout *contentLayout() const { return m_content; }
    QLabel *titleLabel() const { return m_title; }

private:
    QLabel *m_title;
    QVBoxLayout *m_content;
};
