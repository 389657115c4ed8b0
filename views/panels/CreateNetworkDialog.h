// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

/**
 * The "Create Private Network" sheet: a name and a subnet, starting at
 * "Private Network" and "192.168.100.0/24" and keeping what was typed
 * between openings. It says plainly that the network is kept for the user's
 * records and assigns no addresses. "Create" is the default button,
 * disabled while the name is blank; it emits createRequested() with both
 * texts as typed and closes. Children: "networkSheet.name",
 * "networkSheet.subnet", "networkSheet.create", "networkSheet.cancel".
 */
class CreateNetworkDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit CreateNetworkDialog(QWidget *parent = nullptr);

Q_SIGNALS:
    void createRequested(const QString &name, const QString &subnet);

private:
    void commit();
    void updateButtons();

    QLineEdit *m_name;
    QLineEdit *m_subnet;
    QPushButton *m_create = nullptr;
};
