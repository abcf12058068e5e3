#include "FileListModel.h"

#include "Icons.h"

FileListModel::FileListModel(const FileEntries& entries, QObject* parent)
    : QAbstractListModel(parent)
    , m_entries(entries)
    , m_parentIcon(symbolIcon(u"arrow.up.circle.fill")) {}

QString FileListModel::parentFolderText() {
    return QStringLiteral("Parent folder");
}

QString FileListModel::foldersHeaderText() {
    return QStringLiteral("Folders");
}

QString FileListModel::filesHeaderText() {
    return QStringLiteral("Files");
}

void FileListModel::reset() {
    beginResetModel();
    endResetModel();
}

void FileListModel::setShowsParentRow(bool shows) {
    if (shows == m_showsParentRow)
        return;
    if (shows) {
        beginInsertRows({}, 0, 0);
        m_showsParentRow = true;
        endInsertRows();
    } else {
        beginRemoveRows({}, 0, 0);
        m_showsParentRow = false;
        endRemoveRows();
    }
}

FileListModel::RowKind FileListModel::kindAt(int row) const {
    if (row < parentRows())
        return RowKind::ParentFolder;
    if (row < firstFolderRow() || (row == filesHeaderRow() && filesHeaderRows()))
        return RowKind::SectionHeader;
    return row < filesHeaderRow() ? RowKind::Folder : RowKind::File;
}

const RemoteFile* FileListModel::fileAt(int row) const {
    if (row < 0 || row >= rowCount())
        return nullptr;
    switch (kindAt(row)) {
    case RowKind::Folder:
        return &m_entries.at(row - firstFolderRow());
    case RowKind::File:
        return &m_entries.at(row - firstFileRow() + m_entries.folderCount());
    case RowKind::SectionHeader:
    case RowKind::ParentFolder:
        break;
    }
    return nullptr;
}

FileListModel::SectionPosition FileListModel::sectionPositionAt(int row) const {
    const auto position = [](int first, int last, int at) {
        if (first == last)
            return SectionPosition::Only;
        if (at == first)
            return SectionPosition::First;
        return at == last ? SectionPosition::Last : SectionPosition::Middle;
    };
    switch (kindAt(row)) {
    case RowKind::ParentFolder:
        return SectionPosition::Only;
    case RowKind::Folder:
        return position(firstFolderRow(), filesHeaderRow() - 1, row);
    case RowKind::File:
        return position(firstFileRow(), rowCount() - 1, row);
    case RowKind::SectionHeader:
        break;
    }
    return SectionPosition::None;
}

// Views legitimately ask about the root and, while finishing a click whose action replaced the listing,
// about an index taken before the reset; both get "nothing" rather than a warning.
bool FileListModel::holds(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && index.column() == 0 && index.row() < rowCount();
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return parentRows() + foldersHeaderRows() + filesHeaderRows() + m_entries.count();
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!holds(index))
        return {};
    const int row = index.row();
    const RowKind kind = kindAt(row);
    switch (role) {
    case KindRole:
        return int(kind);
    case SectionPositionRole:
        return int(sectionPositionAt(row));
    default:
        break;
    }
    if (kind == RowKind::SectionHeader) {
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return row == filesHeaderRow() ? filesHeaderText() : foldersHeaderText();
        return {};
    }
    if (kind == RowKind::ParentFolder) {
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return parentFolderText();
        if (role == Qt::DecorationRole)
            return m_parentIcon;
        return {};
    }
    const RemoteFile& file = *fileAt(row);
    if (role == DetailTextRole)
        return m_entries.detailLine(file);
    return m_entries.entryData(file, role);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!holds(index))
        return Qt::NoItemFlags;
    switch (kindAt(index.row())) {
    case RowKind::SectionHeader:
        return Qt::ItemNeverHasChildren;
    case RowKind::ParentFolder:
        // Reachable with the keys and opened like a folder, but never part of what is selected.
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    case RowKind::Folder:
    case RowKind::File:
        break;
    }
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return fileAt(index.row())->isAmbiguous ? flags : flags | Qt::ItemIsEditable;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const RemoteFile* file = holds(index) && role == Qt::EditRole ? fileAt(index.row()) : nullptr;
    if (file)
        Q_EMIT renameRequested(*file, value.toString());
    return false;
}
