#pragma once
// The rows of the main window's file list: full paths kept as bytes, always in
// alphabetical order with letter case ignored, each new path inserted at its place.

#include <QAbstractListModel>

#include <cstddef>
#include <string>
#include <vector>

class TFileListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TFileListModel(QObject* parent = nullptr);

    // Inserts path at its sorted place (after entries that compare equal) and
    // returns its row.
    int Add(const std::string& path);
    void Clear();
    std::size_t Count() const { return entries_.size(); }
    const std::string& Entry(std::size_t row) const { return entries_.at(row); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    std::vector<std::string> entries_;
    std::vector<QString> shown_; // the decoded text of each entry, compared and displayed
};
