#include "app/FileListModel.h"

#include "app/MessageBoxes.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace {

// A block is split in two when it reaches this many rows: small enough that the
// shift of an insertion stays in the processor's cache, large enough that there
// are few blocks to search.
constexpr std::size_t kBlockRows = 512;

} // namespace

TFileListModel::TFileListModel(QObject* parent) : QAbstractListModel(parent) {}

std::size_t TFileListModel::RowsBefore(std::size_t b) const {
    std::size_t sum = 0;
    for (std::size_t i = b; i > 0; i &= i - 1)
        sum += counts_[i - 1];
    return sum;
}

void TFileListModel::Grow(std::size_t b) {
    for (std::size_t i = b + 1; i <= counts_.size(); i += i & (~i + 1))
        ++counts_[i - 1];
}

void TFileListModel::RebuildCounts() {
    counts_.assign(blocks_.size(), 0);
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        counts_[b] += blocks_[b].size();
        const std::size_t parent = b + ((b + 1) & (~(b + 1) + 1));
        if (parent < counts_.size())
            counts_[parent] += counts_[b];
    }
}

void TFileListModel::Split(std::size_t b) {
    std::vector<std::uint32_t>& full = blocks_[b];
    const auto half = full.begin() + static_cast<std::ptrdiff_t>(full.size() / 2);
    std::vector<std::uint32_t> upper;
    upper.reserve(kBlockRows);
    upper.assign(half, full.end());
    full.erase(half, full.end());
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
    // Splits come once per few hundred rows; rebuilding costs one step per block.
    RebuildCounts();
}

TFileListModel::Place TFileListModel::Locate(std::size_t row) const {
    if (lastKnown_ && row == lastRow_)
        return lastPlace_;
    Place place{0, 0};
    if (lastKnown_ && row == lastRow_ + 1) {
        // The next row: in the same block, or at the start of the next one.
        place = lastPlace_;
        if (++place.offset == blocks_[place.block].size())
            place = Place{place.block + 1, 0};
    } else {
        // The Fenwick tree's descent: the block holding the row.
        std::size_t b = 0;
        std::size_t rest = row;
        std::size_t step = 1;
        while (step * 2 <= counts_.size())
            step *= 2;
        for (; step > 0; step /= 2) {
            if (b + step <= counts_.size() && counts_[b + step - 1] <= rest) {
                b += step;
                rest -= counts_[b - 1];
            }
        }
        place = Place{b, rest};
    }
    lastKnown_ = true;
    lastRow_ = row;
    lastPlace_ = place;
    return place;
}

const std::string& TFileListModel::Entry(std::size_t row) const {
    if (row >= paths_.size())
        throw std::out_of_range("No such row in the file list");
    const Place place = Locate(row);
    return paths_[blocks_[place.block][place.offset]];
}

int TFileListModel::Add(const std::string& path) {
    if (paths_.size() >= static_cast<std::size_t>(INT32_MAX))
        throw std::runtime_error("Too many files in the list");
    const std::string_view key(path);
    auto before = [this](std::string_view a, std::uint32_t b) {
        return FileListBefore(a, paths_[b]);
    };
    if (blocks_.empty()) {
        blocks_.emplace_back().reserve(kBlockRows);
        RebuildCounts();
    }
    // The first block whose last row comes after the path holds its place (the
    // rows of the blocks before come before it or equal it); none: the last block.
    std::size_t b = 0;
    if (!paths_.empty()) {
        const auto found = std::upper_bound(
            blocks_.begin(), blocks_.end(), key,
            [&](std::string_view a, const auto& block) { return before(a, block.back()); });
        b = found == blocks_.end() ? blocks_.size() - 1
                                   : static_cast<std::size_t>(found - blocks_.begin());
    }
    auto offset = static_cast<std::size_t>(std::distance(
        blocks_[b].begin(), std::upper_bound(blocks_[b].begin(), blocks_[b].end(), key, before)));
    // Make room first, so that nothing can fail between the begin and end calls.
    if (blocks_[b].size() >= kBlockRows) {
        const std::size_t lower = blocks_[b].size() / 2;
        Split(b);
        if (offset > lower) {
            ++b;
            offset -= lower;
        }
    }
    if (paths_.size() == paths_.capacity())
        paths_.reserve(paths_.capacity() * 2 + 64);
    const auto row = static_cast<int>(RowsBefore(b) + offset);
    std::vector<std::uint32_t>& rows = blocks_[b];
    paths_.push_back(path);
    beginInsertRows(QModelIndex(), row, row);
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(offset),
                static_cast<std::uint32_t>(paths_.size() - 1));
    Grow(b);
    lastKnown_ = false;
    endInsertRows();
    return row;
}

void TFileListModel::Clear() {
    if (paths_.empty())
        return;
    beginResetModel();
    blocks_.clear();
    counts_.clear();
    paths_.clear();
    lastKnown_ = false;
    endResetModel();
}

int TFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(paths_.size());
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= paths_.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return FromProgramText(Entry(static_cast<std::size_t>(index.row())));
    return {};
}
