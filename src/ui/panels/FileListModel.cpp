#include "FileListModel.h"

#include "FileListDelegate.h"
#include "Icons.h"
#include "session/ByteCount.h"

namespace {

// Folder yellow and document blue, dark enough to read on a white row and light enough on a dark one.
const QColor folderYellow(0xe5, 0xa5, 0x0a);
const QColor documentBlue(0x35, 0x84, 0xe4);

} // namespace

FileListModel::FileListModel(QObject* parent)
    : QAbstractListModel(parent)
    , m_folderIcon(tintedIcon(symbolIcon(u"folder.fill"), folderYellow))
    , m_fileIcon(tintedIcon(symbolIcon(u"doc.fill"), documentBlue))
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

void FileListModel::setFiles(const QList<RemoteFile>& files, bool showsParentRow) {
    beginResetModel();
    m_files = files;
    m_showsParentRow = showsParentRow;
    m_order.clear();
    m_order.reserve(size_t(m_files.size()));
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (m_files.at(i).isDirectory)
            m_order.push_back(int(i));
    }
    m_folderCount = int(m_order.size());
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (!m_files.at(i).isDirectory)
            m_order.push_back(int(i));
    }
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
    if (row == foldersHeaderRow() || row == filesHeaderRow())
        return RowKind::SectionHeader;
    return row < filesHeaderRow() ? RowKind::Folder : RowKind::File;
}

const RemoteFile* FileListModel::fileAt(int row) const {
    if (row < 0 || row >= rowCount())
        return nullptr;
    switch (kindAt(row)) {
    case RowKind::Folder:
        return &m_files.at(m_order[size_t(row - foldersHeaderRow() - 1)]);
    case RowKind::File:
        return &m_files.at(m_order[size_t(row - filesHeaderRow() - 1 + m_folderCount)]);
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
        return position(foldersHeaderRow() + 1, filesHeaderRow() - 1, row);
    case RowKind::File:
        return position(filesHeaderRow() + 1, rowCount() - 1, row);
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
    return parentRows() + 2 + int(m_order.size());
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
            return row == foldersHeaderRow() ? foldersHeaderText() : filesHeaderText();
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
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: // the row elides long names
    case Qt::AccessibleTextRole:
        return file.name;
    case Qt::DecorationRole:
        return kind == RowKind::Folder ? m_folderIcon : m_fileIcon;
    case SizeTextRole:
        // A folder's size from the listing means nothing to the user (it is the directory inode's).
        if (kind == RowKind::File && file.size)
            return formatByteCount(*file.size);
        return {};
    case RemoteFileRole:
        return QVariant::fromValue(file);
    default:
        return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!holds(index))
        return Qt::NoItemFlags;
    const RowKind kind = kindAt(index.row());
    // Entries can be selected (for Download); headers and the parent row cannot.
    const Qt::ItemFlags selectable =
        kind == RowKind::Folder || kind == RowKind::File ? Qt::ItemIsSelectable : Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren | selectable;
}
