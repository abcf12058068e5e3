#pragma once

#include "FileEntries.h"

#include <QAbstractListModel>
#include <QIcon>

// The rows of the plain list mode, flattened into one list so the view can lay out 100,000 entries as
// uniform rows: an optional "Parent folder" row, then a "Folders" heading over the folders and a "Files"
// heading over the other entries. A group without entries has no heading, so an empty folder shows none.
// The entries and their order are FileEntries'; a new listing or order is one model reset.
class FileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum class RowKind { SectionHeader, ParentFolder, Folder, File };

    // Where a row sits inside its section; the delegate rounds the first and last row of each group.
    enum class SectionPosition { Only, First, Middle, Last, None };

    enum Role {
        KindRole = Qt::UserRole + 1, // int(RowKind)
        DetailTextRole,              // QString: the second line (size and date, or a link's target)
        SectionPositionRole,         // int(SectionPosition); None for headings
        RemoteFileRole = remoteFileRole,
    };

    explicit FileListModel(const FileEntries& entries, QObject* parent = nullptr);

    // The entries changed: a new listing, order or encoding.
    void reset();
    void setShowsParentRow(bool shows);
    bool showsParentRow() const { return m_showsParentRow; }

    RowKind kindAt(int row) const;
    // Null for headings and the parent row. Invalidated by the next reset.
    const RemoteFile* fileAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // An edited name is not written here: the rename is asked for, and the next listing shows it.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    static QString parentFolderText();
    static QString foldersHeaderText();
    static QString filesHeaderText();

Q_SIGNALS:
    void renameRequested(const RemoteFile& entry, const QString& typed);

private:
    int parentRows() const { return m_showsParentRow ? 1 : 0; }
    int foldersHeaderRows() const { return m_entries.folderCount() > 0 ? 1 : 0; }
    int filesHeaderRows() const { return m_entries.count() > m_entries.folderCount() ? 1 : 0; }
    int firstFolderRow() const { return parentRows() + foldersHeaderRows(); }
    // The "Files" heading's row, or where it would be.
    int filesHeaderRow() const { return firstFolderRow() + m_entries.folderCount(); }
    int firstFileRow() const { return filesHeaderRow() + filesHeaderRows(); }
    SectionPosition sectionPositionAt(int row) const;
    bool holds(const QModelIndex& index) const;

    const FileEntries& m_entries;
    bool m_showsParentRow = false;
    QIcon m_parentIcon;
};
