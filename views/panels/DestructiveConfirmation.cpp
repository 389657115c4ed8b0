// SPDX-License-Identifier: MIT
#include "DestructiveConfirmation.h"

#include <QMessageBox>
#include <QPushButton>

QMessageBox *DestructiveConfirmation::open(QWidget *parent, const QString &objectName, const QString &title, const QString &message, const QString &actionText,
                                           std::function<void()> confirmed)
{
    auto *box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::NoButton, parent);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::WindowModal);
    QPushButton *action = box->addButton(actionText, QMessageBox::DestructiveRole);
    action->setObjectName(objectName + QStringLiteral(".confirm"));
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    cancel->setObjectName(objectName + QStringLiteral(".cancel"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QMessageBox::buttonClicked, parent, [box, confirmed = std::move(confirmed)](QAbstractButton *button) {
        if (box->buttonRole(button) == QMessageBox::DestructiveRole)
            confirmed();
    });
    box->open();
    return box;
}
