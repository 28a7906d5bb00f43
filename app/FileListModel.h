#pragma once
// The rows of the main window's file list: full paths kept as bytes, always in
// alphabetical order with letter case ignored, each new path inserted at its place.
//
// The order compares the paths byte by byte with 'A' to 'Z' taken as 'a' to 'z'
// and no locale collation, so "." and "/" come before digits and letters. A path
// equal to listed ones (letter case aside) goes after them.

#include "commands/ListedFiles.h"
#include "text/ListOrder.h"

#include <QAbstractListModel>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TFileListModel : public QAbstractListModel, public ListedFiles {
    Q_OBJECT
public:
    explicit TFileListModel(QObject* parent = nullptr);

    // Inserts path at its sorted place (after entries that compare equal) and
    // returns its row.
    int Add(const std::string& path);
    void Clear();
    std::size_t Count() const override { return order_.size(); }
    const std::string& Entry(std::size_t row) const override { return paths_[order_.at(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    // The paths in the order they were added, and the rows as indexes into them:
    // a sorted insertion shifts four bytes per later row, not a string.
    std::vector<std::string> paths_;
    std::vector<std::uint32_t> order_;
};
