#include "app/FileListModel.h"

#include "app/MessageBoxes.h"

#include <algorithm>
#include <iterator>

TFileListModel::TFileListModel(QObject* parent) : QAbstractListModel(parent) {}

int TFileListModel::Add(const std::string& path) {
    QString text = FromProgramText(path);
    const auto place = std::upper_bound(shown_.begin(), shown_.end(), text,
                                        [](const QString& a, const QString& b) {
                                            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
                                        });
    const auto row = static_cast<int>(std::distance(shown_.begin(), place));
    beginInsertRows(QModelIndex(), row, row);
    entries_.insert(entries_.begin() + row, path);
    shown_.insert(shown_.begin() + row, std::move(text));
    endInsertRows();
    return row;
}

void TFileListModel::Clear() {
    if (entries_.empty())
        return;
    beginResetModel();
    entries_.clear();
    shown_.clear();
    endResetModel();
}

int TFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= shown_.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return shown_[static_cast<std::size_t>(index.row())];
    return {};
}
