#include "FavoritesSidebarView.h"

#include "Icons.h"
#include "model/FavoritesManager.h"
#include "session/ListedFavorites.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include <memory>

namespace {

// Monochrome rendering of a symbol in one colour, so the icon follows the text colour of its row.
QIcon tintedIcon(const QIcon& icon, const QColor& color) {
    QIcon result;
    for (const int size : {16, 22, 24, 32, 48}) {
        QPixmap pixmap = icon.pixmap(QSize(size, size));
        if (pixmap.isNull())
            continue;
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace

FavoritesSidebarView::FavoritesSidebarView(FavoritesManager& favoritesManager, QWidget* parent)
    : QWidget(parent)
    , m_favoritesManager(favoritesManager) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("sidebarList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformItemSizes(false);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setIconSize(QSize(16, 16));
    m_list->installEventFilter(this);
    layout->addWidget(m_list);

    connect(m_list, &QListWidget::clicked, this, [this](const QModelIndex& index) {
        // Nothing stays marked after a click; the action is the whole effect.
        m_list->selectionModel()->clearCurrentIndex();
        run(index.row());
    });
    connect(m_list, &QListWidget::customContextMenuRequested, this, &FavoritesSidebarView::showContextMenu);
    connect(&m_favoritesManager, &FavoritesManager::connectionsChanged, this, &FavoritesSidebarView::rebuild);
    connect(&m_favoritesManager, &FavoritesManager::favoritesChanged, this, &FavoritesSidebarView::rebuild);

    rebuild();
}

void FavoritesSidebarView::setShowConnectionForm(bool show) {
    if (show == m_showConnectionForm)
        return;
    m_showConnectionForm = show;
    rebuild();
}

void FavoritesSidebarView::setOpenConnection(const QUuid& id) {
    if (id == m_openConnection)
        return;
    m_openConnection = id;
    rebuild();
}

QMenu* FavoritesSidebarView::contextMenuForRow(int row, QWidget* parent) {
    if (row < 0 || row >= m_rows.size())
        return nullptr;
    const Row record = m_rows.at(row);
    if (record.kind != RowKind::Favorite && record.kind != RowKind::Connection)
        return nullptr;

    auto* menu = new QMenu(parent);
    // A QAction's text colour cannot be set per action on every platform, so the destructive items carry
    // a mark that a style (or a check) can read.
    const auto markDestructive = [](QAction* action) { action->setProperty("destructive", true); };

    if (record.kind == RowKind::Favorite) {
        const Favorite favorite = record.favorite;
        connect(menu->addAction(tr("Connect and open")), &QAction::triggered, this,
                [this, favorite] { Q_EMIT favoriteSelected(favorite); });
        QAction* remove = menu->addAction(tr("Remove from favorites"));
        markDestructive(remove);
        connect(remove, &QAction::triggered, this,
                [this, favorite] { m_favoritesManager.removeFavorite(favorite); });
    } else {
        const Connection connection = record.connection;
        connect(menu->addAction(tr("Connect")), &QAction::triggered, this,
                [this, connection] { Q_EMIT connectionSelected(connection); });
        connect(menu->addAction(tr("Edit")), &QAction::triggered, this,
                [this, connection] { Q_EMIT editConnectionRequested(connection); });
        QAction* remove = menu->addAction(tr("Delete"));
        markDestructive(remove);
        connect(remove, &QAction::triggered, this,
                [this, connection] { Q_EMIT deleteConnectionRequested(connection); });
    }
    return menu;
}

bool FavoritesSidebarView::eventFilter(QObject* watched, QEvent* event) {
    // The list's own palette is the one its rows are drawn with, and it is final only once the list hears
    // of the change (after this widget does).
    if (watched == m_list && event->type() == QEvent::PaletteChange)
        rebuild();
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool activates =
            key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
        if (activates && key->modifiers() == Qt::NoModifier && m_list->currentIndex().isValid()) {
            run(m_list->currentIndex().row());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FavoritesSidebarView::rebuild() {
    m_list->clear();
    m_rows.clear();
    const QPalette palette = m_list->palette();
    const QColor primary = palette.color(QPalette::Text);

    {
        const QColor color = m_showConnectionForm ? palette.color(QPalette::Highlight) : primary;
        auto* item =
            new QListWidgetItem(tintedIcon(symbolIcon(u"plus.circle.fill"), color), tr("Add Server"));
        item->setData(rowKindRole, QVariant::fromValue(static_cast<int>(RowKind::AddServer)));
        item->setForeground(color);
        item->setFlags(Qt::ItemIsEnabled);
        m_list->addItem(item);
        m_rows.append(Row{RowKind::AddServer, {}, {}});
    }

    addHeader(tr("Favorites"));
    const QIcon star = tintedIcon(symbolIcon(u"star.fill"), primary);
    // A favorite whose connection is gone stays in the store but cannot be opened, so it is not offered.
    for (const ListedFavorite& listed : listedFavorites(m_favoritesManager)) {
        auto* item = new QListWidgetItem(star, listed.label);
        item->setData(rowKindRole, QVariant::fromValue(static_cast<int>(RowKind::Favorite)));
        item->setData(idRole, QVariant::fromValue(listed.favorite.id));
        item->setToolTip(listed.connection.displayName() + QStringLiteral(": ") + listed.shownPath);
        item->setForeground(primary);
        item->setFlags(Qt::ItemIsEnabled);
        m_list->addItem(item);
        m_rows.append(Row{RowKind::Favorite, listed.favorite, {}});
    }

    addHeader(tr("Connections"));
    const QIcon server = symbolIcon(u"server.rack");
    for (const Connection& connection : m_favoritesManager.connections()) {
        auto* item = new QListWidgetItem(server, connection.displayName());
        item->setData(rowKindRole, QVariant::fromValue(static_cast<int>(RowKind::Connection)));
        item->setData(idRole, QVariant::fromValue(connection.id));
        item->setForeground(primary);
        item->setFlags(Qt::ItemIsEnabled);
        if (!m_openConnection.isNull() && connection.id == m_openConnection) {
            // Marked the way a selected row is, though the list keeps no selection of its own.
            item->setData(openRole, true);
            item->setBackground(palette.color(QPalette::Highlight));
            item->setForeground(palette.color(QPalette::HighlightedText));
            QFont bold = m_list->font();
            bold.setBold(true);
            item->setFont(bold);
        }
        m_list->addItem(item);
        m_rows.append(Row{RowKind::Connection, {}, connection});
    }
}

void FavoritesSidebarView::addHeader(const QString& title) {
    auto* item = new QListWidgetItem(title);
    item->setData(rowKindRole, QVariant::fromValue(static_cast<int>(RowKind::SectionHeader)));
    QFont font = m_list->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 0.9);
    item->setFont(font);
    item->setForeground(m_list->palette().color(QPalette::PlaceholderText));
    item->setFlags(Qt::NoItemFlags);
    m_list->addItem(item);
    m_rows.append(Row{RowKind::SectionHeader, {}, {}});
}

void FavoritesSidebarView::run(int row) {
    if (row < 0 || row >= m_rows.size())
        return;
    // A copy: the action may change the store, which rebuilds the rows under us.
    const Row record = m_rows.at(row);
    switch (record.kind) {
    case RowKind::AddServer:
        Q_EMIT addServerSelected();
        break;
    case RowKind::Favorite:
        Q_EMIT favoriteSelected(record.favorite);
        break;
    case RowKind::Connection:
        Q_EMIT connectionSelected(record.connection);
        break;
    case RowKind::SectionHeader:
        break;
    }
}

void FavoritesSidebarView::showContextMenu(const QPoint& viewportPos) {
    const QModelIndex index = m_list->indexAt(viewportPos);
    if (!index.isValid())
        return;
    const std::unique_ptr<QMenu> menu(contextMenuForRow(index.row(), this));
    if (menu)
        menu->exec(m_list->viewport()->mapToGlobal(viewportPos));
}
