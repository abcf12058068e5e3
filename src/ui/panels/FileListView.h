#pragma once

#include "model/RemoteFile.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class FileListModel;
class QLabel;
class QListView;
class QMenu;
class QModelIndex;
class QStackedWidget;

// The entries of the current remote folder. Holds no state of its own beyond what its owner sets and does
// no remote work: a click on a folder row, on the "Parent folder" row, or a context-menu choice is handed to
// the owner through the actions below. A click on a file row does nothing; there is no double-click action
// and no persistent selection.
//
// Object names (for tests):
//   "fileListStack"     QStackedWidget: the list page or the loading page
//   "fileList"          QListView with the rows (FileListModel, FileListDelegate)
//   "fileListLoading"   the loading page
//   "loadingIndicator"  the spinning busy indicator on it
//   "loadingLabel"      QLabel "Loading…"
//   "fileListContextMenu"  the context menu of an entry (actions "addToFavoritesAction", "deleteAction";
//                          "Delete" carries the property destructive=true)
class FileListView : public QWidget {
    Q_OBJECT

public:
    explicit FileListView(QWidget* parent = nullptr);
    ~FileListView() override;

    void setFiles(const QList<RemoteFile>& files);
    void setCurrentPath(const QString& path);
    void setLoading(bool loading);

    const QList<RemoteFile>& files() const;
    const QString& currentPath() const { return m_currentPath; }
    bool isLoading() const { return m_loading; }

    // Empty means absent. The "Parent folder" row follows onNavigateUp: the view re-reads it on every setter
    // and once more on the next turn of the event loop, so the owner may assign it before or after them.
    std::function<void(const RemoteFile&)> onSelectFolder;
    std::function<void(const QString& name, const QString& path)> onAddFavorite;
    std::function<void(const RemoteFile&)> onDelete;
    std::function<void()> onNavigateUp;

    QListView* listView() const { return m_list; }
    FileListModel* model() const { return m_model; }

    // The menu a right click on this row shows, or null for headers and the parent row. The caller owns it;
    // its actions copy the entry, so they stay valid after the listing changes.
    std::unique_ptr<QMenu> contextMenuFor(const QModelIndex& index);

private:
    bool wantsParentRow() const;
    void syncParentRow();
    void scheduleParentRowSync();
    void activate(const QModelIndex& index);
    void showContextMenu(const QPoint& position);

    QString m_currentPath;
    bool m_loading = false;
    bool m_parentRowSyncPending = false;

    QStackedWidget* m_stack = nullptr;
    QListView* m_list = nullptr;
    QWidget* m_loadingPage = nullptr;
    QLabel* m_loadingLabel = nullptr;
    FileListModel* m_model = nullptr;
};
