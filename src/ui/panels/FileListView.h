#pragma once

#include "model/RemoteFile.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <memory>

class FileListModel;
class QLabel;
class QListView;
class QMenu;
class QModelIndex;
class QStackedWidget;

// The entries of the current remote folder. Holds no state of its own beyond what its owner sets and does
// no remote work: a click on a folder row, on the "Parent folder" row, or a context-menu choice is announced
// through the signals below. A click on a file row does nothing; there is no double-click action and no
// persistent selection.
//
// Object names (for tests):
//   "fileListStack"     QStackedWidget: the list page or the loading page
//   "fileList"          QListView with the rows (FileListModel, FileListDelegate)
//   "fileListLoading"   the loading page
//   "loadingIndicator"  the spinning busy indicator on it
//   "loadingLabel"      QLabel "Loading…"
//   "fileListContextMenu"  the context menu of an entry (actions "addToFavoritesAction" on folders only,
//                          "deleteAction"; "Delete" carries the property destructive=true)
class FileListView : public QWidget {
    Q_OBJECT

public:
    explicit FileListView(QWidget* parent = nullptr);
    ~FileListView() override;

    void setFiles(const QList<RemoteFile>& files);
    // The "Parent folder" row is shown only where there is a way up.
    void setCurrentPath(const QString& path, bool canNavigateUp);
    void setLoading(bool loading);

    const QList<RemoteFile>& files() const;
    const QString& currentPath() const { return m_currentPath; }
    bool isLoading() const { return m_loading; }

    QListView* listView() const { return m_list; }
    FileListModel* model() const { return m_model; }

    // The menu a right click on this row shows, or null for headers and the parent row. The caller owns it;
    // its actions copy the entry, so they stay valid after the listing changes.
    std::unique_ptr<QMenu> contextMenuFor(const QModelIndex& index);

Q_SIGNALS:
    void folderSelected(const RemoteFile& folder);
    void navigateUpRequested();
    void addFavoriteRequested(const RemoteFile& folder);
    void deleteRequested(const RemoteFile& entry);

private:
    void activate(const QModelIndex& index);
    void showContextMenu(const QPoint& position);

    QString m_currentPath;
    bool m_loading = false;

    QStackedWidget* m_stack = nullptr;
    QListView* m_list = nullptr;
    QWidget* m_loadingPage = nullptr;
    QLabel* m_loadingLabel = nullptr;
    FileListModel* m_model = nullptr;
};
