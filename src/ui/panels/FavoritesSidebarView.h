#pragma once

#include "model/Connection.h"
#include "model/Favorite.h"

#include <QList>
#include <QWidget>

#include <functional>

class FavoritesManager;
class QListWidget;
class QMenu;

// The main window's sidebar: the "Add Server" entry, the favorite folders whose connection still exists,
// and the saved connections, always as the store holds them right now. Opening and starting are handed to
// the owner; "Edit" is announced application-wide; "Delete" and "Remove from favorites" go straight to the
// store, at once and without a question. A click runs the row's action and leaves no row selected.
//
// Object names (for tests): "sidebarList" (the QListWidget). Each item carries its RowKind under
// rowKindRole and, for favorites and connections, the record's id (QUuid) under idRole.
class FavoritesSidebarView : public QWidget {
    Q_OBJECT

public:
    enum class RowKind { AddServer, SectionHeader, Favorite, Connection };
    static constexpr int rowKindRole = Qt::UserRole;
    static constexpr int idRole = Qt::UserRole + 1;

    // The manager must outlive the sidebar.
    explicit FavoritesSidebarView(FavoritesManager& favoritesManager, QWidget* parent = nullptr);

    // True while the owner shows the connection form: "Add Server" is then drawn in the accent colour.
    void setShowConnectionForm(bool show);
    bool showConnectionForm() const { return m_showConnectionForm; }

    std::function<void()> onSelectAddServer;
    std::function<void(const Favorite&)> onSelectFavorite;
    std::function<void(const Connection&)> onSelectConnection;

    QListWidget* list() const { return m_list; }

    // The menu a right click on this row shows, its actions already wired to the row's record as it is
    // now; none for "Add Server" and section headers. The caller owns it.
    QMenu* contextMenuForRow(int row, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        RowKind kind = RowKind::SectionHeader;
        Favorite favorite;
        Connection connection;
    };

    void rebuild();
    void addHeader(const QString& title);
    void run(int row);
    void showContextMenu(const QPoint& viewportPos);

    FavoritesManager& m_favoritesManager;
    QListWidget* m_list = nullptr;
    QList<Row> m_rows; // one per list item, same order
    bool m_showConnectionForm = false;
};
