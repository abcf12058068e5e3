#include "FileTableModel.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

const FileSort::Column sortColumns[] = {FileSort::Column::name, FileSort::Column::size,
                                        FileSort::Column::modified};

} // namespace

FileTableModel::FileTableModel(FileEntries& entries, QObject* parent)
    : QAbstractTableModel(parent)
    , m_entries(entries) {}

int FileTableModel::columnOf(FileSort::Column column) {
    return int(std::find(std::begin(sortColumns), std::end(sortColumns), column) - std::begin(sortColumns));
}

void FileTableModel::reset() {
    beginResetModel();
    endResetModel();
}

bool FileTableModel::holds(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && index.row() < rowCount() &&
           index.column() < ColumnCount;
}

const RemoteFile* FileTableModel::fileAt(int row) const {
    return row >= 0 && row < rowCount() ? &m_entries.at(row) : nullptr;
}

int FileTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_entries.count();
}

int FileTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileTableModel::data(const QModelIndex& index, int role) const {
    if (!holds(index))
        return {};
    const RemoteFile& file = m_entries.at(index.row());
    switch (index.column()) {
    case NameColumn:
        return m_entries.entryData(file, role);
    case SizeColumn:
        if (role == Qt::DisplayRole)
            return m_entries.sizeText(file);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case ModifiedColumn:
        if (role == Qt::DisplayRole)
            return m_entries.dateText(file);
        break;
    default:
        break;
    }
    return role == remoteFileRole ? QVariant::fromValue(file) : QVariant();
}

QVariant FileTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return QStringLiteral("Name");
    case SizeColumn:
        return QStringLiteral("Size");
    case ModifiedColumn:
        return QStringLiteral("Modified");
    default:
        return {};
    }
}

Qt::ItemFlags FileTableModel::flags(const QModelIndex& index) const {
    if (!holds(index))
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    const bool renamable = index.column() == NameColumn && !m_entries.at(index.row()).isAmbiguous;
    return renamable ? flags | Qt::ItemIsEditable : flags;
}

bool FileTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (holds(index) && index.column() == NameColumn && role == Qt::EditRole)
        Q_EMIT renameRequested(m_entries.at(index.row()), value.toString());
    return false;
}

void FileTableModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount)
        return;
    const FileSort wanted{sortColumns[column], order};
    if (wanted == m_entries.sort())
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> listed;
    listed.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        listed.push_back(m_entries.indexAt(index.row()));
    m_entries.setSort(wanted);
    // Where each entry of the listing went, so the selection and the current row follow their entries.
    std::vector<int> placeOf(size_t(m_entries.files().size()), -1);
    for (int position = 0; position < m_entries.count(); ++position)
        placeOf[size_t(m_entries.indexAt(position))] = position;
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(placeOf[size_t(listed[size_t(i)])], before.at(i).column());
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    Q_EMIT sorted(wanted);
}
