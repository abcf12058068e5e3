#pragma once

#include "FileEntries.h"

#include <QAbstractTableModel>

// The rows of the details mode: one per entry in FileEntries' order, with a name, size and date column.
// Sorting by a column reorders the shared entries, keeps the selection on the same entries and says so, so
// the sort can be remembered and the plain list follows it.
class FileTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { NameColumn, SizeColumn, ModifiedColumn, ColumnCount };

    explicit FileTableModel(FileEntries& entries, QObject* parent = nullptr);

    // The entries changed: a new listing or encoding.
    void reset();
    const RemoteFile* fileAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // An edited name is not written here: the rename is asked for, and the next listing shows it.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    static int columnOf(FileSort::Column column);

Q_SIGNALS:
    void renameRequested(const RemoteFile& entry, const QString& typed);
    void sorted(const FileSort& sort);

private:
    bool holds(const QModelIndex& index) const;

    FileEntries& m_entries;
};
