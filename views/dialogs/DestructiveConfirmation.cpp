// SPDX-License-Identifier: MIT
#include "DestructiveConfirmation.h"

#include "DialogAnswer.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {

QMessageBox *buildBox(const DestructiveConfirmation &confirmation, QWidget *parent)
{
    auto *box = new QMessageBox(QMessageBox::Warning, confirmation.title, confirmation.message, QMessageBox::NoButton, parent);
    box->setObjectName(confirmation.objectName);
    box->setTextFormat(Qt::PlainText);
    if (!confirmation.detail.isEmpty())
        box->setInformativeText(confirmation.detail);
    box->setWindowModality(Qt::WindowModal);
    QPushButton *action = box->addButton(confirmation.actionText, QMessageBox::DestructiveRole);
    action->setObjectName(confirmation.objectName + QStringLiteral(".confirm"));
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    cancel->setObjectName(confirmation.objectName + QStringLiteral(".cancel"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

bool chosen(const QMessageBox &box)
{
    return box.clickedButton() && box.buttonRole(box.clickedButton()) == QMessageBox::DestructiveRole;
}

} // namespace

QMessageBox *DestructiveConfirmation::open(QWidget *parent, std::function<void()> confirmed) const
{
    QMessageBox *box = buildBox(*this, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::buttonClicked, parent, [box, confirmed = std::move(confirmed)](QAbstractButton *button) {
        if (box->buttonRole(button) == QMessageBox::DestructiveRole)
            confirmed();
    });
    box->open();
    return box;
}

QCoro::Task<bool> DestructiveConfirmation::ask(QWidget *parent) const
{
    // Not deleted on close: the answer is read from the box after it finished.
    const QPointer<QMessageBox> box = buildBox(*this, parent);
    co_await DialogAnswer::open(box.data());
    if (!box)
        co_return false;
    const bool confirmed = chosen(*box);
    box->deleteLater();
    co_return confirmed;
}
