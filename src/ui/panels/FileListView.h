#pragma once

#include "FileEntries.h"
#include "FileListActions.h"
#include "FileViewSettings.h"
#include "model/RemoteFile.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class DefaultsStore;
class FileListModel;
class FileTableModel;
class QAbstractItemView;
class QActionGroup;
class QLabel;
class QListView;
class QMenu;
class QModelIndex;
class QStackedWidget;
class QTreeView;

// The entries of the current remote folder, as a plain list (folders and files under their headings) or in
// details mode (name, size and date columns, sorted by a click on a heading; folders always first). It does
// no remote work: what the user asks for is announced through the signals below.
//
// Desktop habits: a click selects (Ctrl and Shift add), Enter or a double click opens a folder or a link,
// Backspace and Alt+Up go up, F5 and Ctrl+R reload, Ctrl+A selects all, Delete deletes the selection, F2
// renames in place, the context menu acts on the selection, and local files dropped on the list are
// uploaded.
//
// Object names (for tests):
//   "fileListStack"     QStackedWidget: the list, the details or the loading page
//   "fileList"          QListView of the plain list (FileListModel, FileListDelegate)
//   "fileDetails"       QTreeView of the details mode (FileTableModel)
//   "fileListLoading", "loadingIndicator", "loadingLabel"   the loading page
//   "emptyFolderNote"   QLabel shown over an empty folder
//   "listModeAction", "detailsModeAction"   the two modes; the entry actions are FileListActions'
class FileListView : public QWidget {
    Q_OBJECT

public:
    using Mode = FileViewSettings::Mode;

    explicit FileListView(QWidget* parent = nullptr);
    ~FileListView() override;

    void setFiles(const QList<RemoteFile>& files);
    // The "Parent folder" row is shown only where there is a way up.
    void setCurrentPath(const QString& path, bool canNavigateUp);
    void setLoading(bool loading);
    // A listing that failed leaves no entries, but the folder is not known to be empty.
    void setListingFailed(bool failed);
    void setTextEncoding(const servertext::Encoding& encoding);
    // Tells whether a folder is a favorite of the open connection, for the menu to offer to remove it.
    void setFavoriteTest(std::function<bool(const RemoteFile&)> isFavorite);
    // Takes the mode and the sort from the store and keeps every change there.
    void usePreferences(DefaultsStore& store);
    void setMode(Mode mode);

    Mode mode() const { return m_settings.mode; }
    const FileSort& sort() const { return m_entries.sort(); }
    const QList<RemoteFile>& files() const { return m_entries.files(); }
    const QString& currentPath() const { return m_currentPath; }
    bool isLoading() const { return m_loading; }
    // In the order shown.
    QList<RemoteFile> selectedEntries() const;

    QListView* listView() const { return m_list; }
    QTreeView* detailsView() const { return m_details; }
    QAbstractItemView* currentView() const;
    FileListModel* model() const { return m_model; }
    FileTableModel* tableModel() const { return m_tableModel; }
    FileListActions& actions() const { return *m_actions; }
    QList<QAction*> modeActions() const;

    // The menu a right click on this row of the shown view opens: the row joins the selection unless it is
    // in it already, and the menu acts on the selection. Null where there is no entry.
    std::unique_ptr<QMenu> contextMenuFor(const QModelIndex& index);

Q_SIGNALS:
    void folderSelected(const RemoteFile& folder);
    void navigateUpRequested();
    void refreshRequested();
    void addFavoriteRequested(const RemoteFile& folder);
    void removeFavoriteRequested(const RemoteFile& folder);
    void deleteRequested(const QList<RemoteFile>& entries);
    void downloadRequested(const QList<RemoteFile>& entries);
    void renameRequested(const RemoteFile& entry, const QString& typed);
    void filesDropped(const QList<QUrl>& files);
    void selectedEntriesChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildDetailsView();
    void buildLoadingPage();
    void entriesChanged();
    void showPage();
    void activate(const QModelIndex& index);
    void perform(FileListActions::Act act, const QList<RemoteFile>& entries);
    void selectionChanged();
    bool isFavorite(const QList<RemoteFile>& entries) const;
    const RemoteFile* entryAt(const QModelIndex& index) const;
    void saveSettings();

    FileEntries m_entries;
    FileViewSettings m_settings;
    DefaultsStore* m_store = nullptr;
    std::function<bool(const RemoteFile&)> m_isFavorite;
    QString m_currentPath;
    bool m_loading = false;
    bool m_listingFailed = false;

    QStackedWidget* m_stack = nullptr;
    QListView* m_list = nullptr;
    QTreeView* m_details = nullptr;
    QWidget* m_loadingPage = nullptr;
    QLabel* m_emptyNote = nullptr;
    FileListModel* m_model = nullptr;
    FileTableModel* m_tableModel = nullptr;
    FileListActions* m_actions = nullptr;
    QActionGroup* m_modes = nullptr;
};
