#include "app/FileListModel.h"

#include "app/MessageBoxes.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

TFileListModel::TFileListModel(QObject* parent) : QAbstractListModel(parent) {}

int TFileListModel::Add(const std::string& path) {
    if (paths_.size() >= static_cast<std::size_t>(INT32_MAX))
        throw std::runtime_error("Too many files in the list");
    const auto place = std::upper_bound(
        order_.begin(), order_.end(), std::string_view(path),
        [this](std::string_view a, std::uint32_t b) { return FileListBefore(a, paths_[b]); });
    const auto row = static_cast<int>(std::distance(order_.begin(), place));
    // Make room first, so that nothing can fail between the begin and end calls.
    if (order_.size() == order_.capacity())
        order_.reserve(order_.capacity() * 2 + 64);
    paths_.push_back(path);
    beginInsertRows(QModelIndex(), row, row);
    order_.insert(order_.begin() + row, static_cast<std::uint32_t>(paths_.size() - 1));
    endInsertRows();
    return row;
}

void TFileListModel::Clear() {
    if (order_.empty())
        return;
    beginResetModel();
    order_.clear();
    paths_.clear();
    endResetModel();
}

int TFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= order_.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return FromProgramText(paths_[order_[static_cast<std::size_t>(index.row())]]);
    return {};
}
