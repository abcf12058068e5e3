#pragma once

#include "model/Connection.h"
#include "model/Favorite.h"

#include <QList>
#include <QWidget>

class FavoritesManager;
class QListWidget;
class QMenu;

// The main window's sidebar: the "Add Server" entry, the favorite folders whose connection still exists,
// and the saved connections, always as the store holds them right now. Opening, editing and deleting a
// connection are announced to the owner (which asks before it deletes); "Remove from favorites" goes straight
// to the store. A click runs the row's action and leaves no row selected; the connection the window has
// open is marked instead.
//
// Object names (for tests): "sidebarList" (the QListWidget). Each item carries its RowKind under
// rowKindRole and, for favorites and connections, the record's id (QUuid) under idRole; the open
// connection's row has true under openRole.
class FavoritesSidebarView : public QWidget {
    Q_OBJECT

public:
    enum class RowKind { AddServer, SectionHeader, Favorite, Connection };
    static constexpr int rowKindRole = Qt::UserRole;
    static constexpr int idRole = Qt::UserRole + 1;
    static constexpr int openRole = Qt::UserRole + 2;

    // The manager must outlive the sidebar.
    explicit FavoritesSidebarView(FavoritesManager& favoritesManager, QWidget* parent = nullptr);

    // True while the owner shows the connection form: "Add Server" is then drawn in the accent colour.
    void setShowConnectionForm(bool show);
    bool showConnectionForm() const { return m_showConnectionForm; }
    // The connection the window has open, marked in the list; a null id for none.
    void setOpenConnection(const QUuid& id);

    QListWidget* list() const { return m_list; }

    // The menu a right click on this row shows, its actions already wired to the row's record as it is
    // now; none for "Add Server" and section headers. The caller owns it.
    QMenu* contextMenuForRow(int row, QWidget* parent = nullptr);

Q_SIGNALS:
    void addServerSelected();
    void favoriteSelected(const Favorite& favorite);
    void connectionSelected(const Connection& connection);
    void editConnectionRequested(const Connection& connection);
    void deleteConnectionRequested(const Connection& connection);

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
    QUuid m_openConnection;
};
