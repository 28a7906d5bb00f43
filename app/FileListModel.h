#pragma once
// The rows of the main window's file list: full paths kept as bytes, always in
// alphabetical order with letter case ignored, each new path inserted at its place.
//
// The order compares the paths byte by byte with 'A' to 'Z' taken as 'a' to 'z'
// and no locale collation, so "." and "/" come before digits and letters. A path
// equal to listed ones (letter case aside) goes after them.
//
// A walk adds its files in the order the folders give them, which is no order, so
// each one lands at a random row. The rows are therefore kept in blocks of a few
// hundred: an insertion shifts the rest of one block only, and a count per block
// (summed in a Fenwick tree) turns a row into its block and back in a few steps,
// so listing n files costs about n log n, not n squared.

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
    std::size_t Count() const override { return paths_.size(); }
    const std::string& Entry(std::size_t row) const override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    // A row's block and its place in the block.
    struct Place {
        std::size_t block;
        std::size_t offset;
    };
    Place Locate(std::size_t row) const;
    // The rows before block b.
    std::size_t RowsBefore(std::size_t b) const;
    void Grow(std::size_t b); // one row more in block b
    void RebuildCounts();
    void Split(std::size_t b);

    // The paths in the order they were added; the blocks hold indexes into it,
    // each block sorted and every block's rows before the next block's.
    std::vector<std::string> paths_;
    std::vector<std::vector<std::uint32_t>> blocks_;
    std::vector<std::size_t> counts_; // Fenwick tree of the blocks' sizes
    // The last row looked up, for the commands that go through the list in order.
    mutable bool lastKnown_ = false;
    mutable std::size_t lastRow_ = 0;
    mutable Place lastPlace_{0, 0};
};
