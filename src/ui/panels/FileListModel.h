#pragma once

#include "model/RemoteFile.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QList>

#include <vector>

// The rows of the file list, flattened into one list so the view can lay out 100,000 entries as uniform
// rows: an optional "Parent folder" row, the "Folders" header, the folders, the "Files" header, the files.
// Both headers are always present, so an empty folder still shows its two (empty) sections.
//
// Entries keep the order they were given in (the listing is already sorted); folders and files are only
// split apart. A new listing is one model reset, never a row-by-row insert.
class FileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum class RowKind { SectionHeader, ParentFolder, Folder, File };

    // Where a row sits inside its section; the delegate rounds the first and last row of each group.
    enum class SectionPosition { Only, First, Middle, Last, None };

    enum Role {
        KindRole = Qt::UserRole + 1, // int(RowKind)
        SizeTextRole,                // QString; only for files whose size is known
        RemoteFileRole,              // RemoteFile; folders and files only
        SectionPositionRole,         // int(SectionPosition); None for headers
    };

    explicit FileListModel(QObject* parent = nullptr);

    void setFiles(const QList<RemoteFile>& files, bool showsParentRow);
    void setShowsParentRow(bool shows);

    const QList<RemoteFile>& files() const { return m_files; }
    bool showsParentRow() const { return m_showsParentRow; }
    int folderCount() const { return m_folderCount; }

    RowKind kindAt(int row) const;
    // Null for headers and the parent row. Invalidated by the next setFiles.
    const RemoteFile* fileAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QString parentFolderText();
    static QString foldersHeaderText();
    static QString filesHeaderText();

private:
    int parentRows() const { return m_showsParentRow ? 1 : 0; }
    int foldersHeaderRow() const { return parentRows(); }
    int filesHeaderRow() const { return parentRows() + 1 + m_folderCount; }
    SectionPosition sectionPositionAt(int row) const;
    bool holds(const QModelIndex& index) const;

    QList<RemoteFile> m_files;
    std::vector<int> m_order; // indices into m_files: all folders, then all files
    int m_folderCount = 0;
    bool m_showsParentRow = false;

    QIcon m_folderIcon;
    QIcon m_fileIcon;
    QIcon m_parentIcon;
};
