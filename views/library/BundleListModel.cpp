// SPDX-License-Identifier: MIT
#include "BundleListModel.h"

#include "LibraryViewModel.h"

BundleListModel::BundleListModel(LibraryViewModel &library, QObject *parent)
    : QAbstractListModel(parent)
    , m_library(library)
{
    connect(&library, &LibraryViewModel::bundlesChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int BundleListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_library.bundles().size());
}

QVariant BundleListModel::data(const QModelIndex &index, int role) const
{
    const std::optional<VMBundle> row = bundle(index);
    if (!row)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return row->metadata.name;
    case IdRole:
        return row->id();
    default:
        return {};
    }
}

std::optional<VMBundle> BundleListModel::bundle(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.row() >= m_library.bundles().size())
        return std::nullopt;
    return m_library.bundles().at(index.row());
}

QModelIndex BundleListModel::indexOf(const QUuid &id) const
{
    const QList<VMBundle> &bundles = m_library.bundles();
    for (int row = 0; row < bundles.size(); ++row) {
        if (bundles.at(row).id() == id)
            return index(row);
    }
    return {};
}
