#pragma once

#include "model/RemoteFile.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QWidget;

// What the file list does with the entries selected, each with its key. The rules for when each applies
// live here once, so the keys, the context menu and a disabled item's tooltip always agree.
//
// Object names: the actions "downloadAction", "renameAction", "addToFavoritesAction",
// "removeFromFavoritesAction", "deleteAction" (destructive=true), "parentFolderAction", "refreshAction";
// the menu "fileListContextMenu".
class FileListActions : public QObject {
    Q_OBJECT

public:
    enum class Act { download, rename, addFavorite, removeFavorite, remove };
    using Perform = std::function<void(Act, const QList<RemoteFile>&)>;

    // The keys work while focus is anywhere inside scope.
    FileListActions(QWidget* scope, Perform perform);
    ~FileListActions() override;

    QAction* action(Act act) const;
    QAction* parentFolder() const { return m_parentFolder; }
    QAction* refresh() const { return m_refresh; }

    // The keys act on the selection: isFavorite tells whether a single selected folder is a favorite.
    void select(const QList<RemoteFile>& entries, bool isFavorite);
    // The menu for these entries; its choices act on them even if the list changes while it is open.
    std::unique_ptr<QMenu> menuFor(const QList<RemoteFile>& entries, bool isFavorite, QWidget* parent) const;

private:
    struct Rule {
        bool offered = false; // shown in the menu at all
        QString refusal;      // why it is disabled; empty when it may run
    };
    static Rule rule(Act act, const QList<RemoteFile>& entries, bool isFavorite);

    Perform m_perform;
    QList<RemoteFile> m_selection;
    QList<QAction*> m_actions; // in Act order
    QAction* m_parentFolder = nullptr;
    QAction* m_refresh = nullptr;
};
