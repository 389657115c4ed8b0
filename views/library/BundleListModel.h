// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QUuid>

#include <optional>

class LibraryViewModel;

/**
 * The library view model's visible list as rows for a list view: one row
 * per VM, in the view model's order, reset whenever the view model publishes
 * its list. The row's display text is the VM's name; the bundle itself is
 * read with bundle().
 */
class BundleListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { IdRole = Qt::UserRole + 1 };

    explicit BundleListModel(LibraryViewModel &library, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    std::optional<VMBundle> bundle(const QModelIndex &index) const;
    QModelIndex indexOf(const QUuid &id) const;

private:
    LibraryViewModel &m_library;
};
