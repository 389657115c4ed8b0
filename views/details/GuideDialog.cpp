// SPDX-License-Identifier: MIT
#include "GuideDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

GuideDialog::GuideDialog(QWidget *page, QSize size, QWidget *parent)
    : QDialog(parent)
{
    setWindowModality(Qt::WindowModal);
    setFixedSize(size);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 12);
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget;
    auto *padding = new QVBoxLayout(content);
    padding->setContentsMargins(24, 24, 24, 24);
    padding->addWidget(page);
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->setContentsMargins(24, 0, 24, 0);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("guide.close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
