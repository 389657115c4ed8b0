// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

/**
 * The "Create Private Network" sheet: a name and a subnet, starting at
 * "Private Network" and "192.168.100.0/24" and keeping what was typed
 * between openings. It says plainly that the network is kept for the user's
 * records and assigns no addresses. "Create" is the default button,
 * disabled while the name is blank or the subnet is not an IPv4 network in
 * CIDR notation (IPv4Subnet), whose reason shows under the field; it emits
 * createRequested() with both texts as typed and closes. Children:
 * "networkSheet.name", "networkSheet.subnet", "networkSheet.subnetProblem",
 * "networkSheet.create", "networkSheet.cancel".
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
    QLabel *m_subnetProblem = nullptr;
    QPushButton *m_create = nullptr;
};
