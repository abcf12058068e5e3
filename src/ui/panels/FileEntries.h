#pragma once

#include "FileViewSettings.h"
#include "model/RemoteFile.h"
#include "model/ServerText.h"

#include <QIcon>
#include <QList>
#include <QString>
#include <QVariant>

#include <vector>

// The entries of the listing on screen, in the one order both modes of the file list show: folders first,
// then the other entries, each group by the chosen column. The listing arrives sorted by name, so that order
// is taken as it is; the other columns sort each group, names breaking ties. Holds the connection's text
// encoding, through which every name is shown.
class FileEntries {
public:
    FileEntries();

    void setFiles(const QList<RemoteFile>& files);
    void setSort(const FileSort& sort);
    void setEncoding(const servertext::Encoding& encoding) { m_encoding = encoding; }

    const QList<RemoteFile>& files() const { return m_files; }
    const FileSort& sort() const { return m_sort; }
    int count() const { return int(m_order.size()); }
    int folderCount() const { return m_folderCount; }
    // The entry at this place of the order.
    const RemoteFile& at(int position) const { return m_files.at(m_order[size_t(position)]); }
    // Which of the listing's entries is at this place.
    int indexAt(int position) const { return m_order[size_t(position)]; }

    QString displayName(const RemoteFile& file) const;
    // "1.5 MB" for files whose size is known; nothing for folders, whose listed size means nothing.
    QString sizeText(const RemoteFile& file) const;
    QString dateText(const RemoteFile& file) const;
    // The list mode's second line: where a link leads, otherwise the size and the date.
    QString detailLine(const RemoteFile& file) const;

    // Name, tooltip, icon and the entry itself: what both models answer alike.
    QVariant entryData(const RemoteFile& file, int role) const;
    // Why nothing acts on an entry whose exact name the listing does not tell.
    static QString ambiguousText();

private:
    void reorder();

    QList<RemoteFile> m_files;
    std::vector<int> m_order; // indices into m_files
    int m_folderCount = 0;
    FileSort m_sort;
    servertext::Encoding m_encoding;
    QIcon m_folderIcon;
    QIcon m_fileIcon;
    QIcon m_linkIcon;
};

// The role under which both models hand out a copy of the entry.
constexpr int remoteFileRole = Qt::UserRole + 100;
