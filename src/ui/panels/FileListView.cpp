#include "FileListView.h"

#include "BusySpinner.h"
#include "FileListDelegate.h"
#include "FileListModel.h"
#include "FileTableModel.h"
#include "Icons.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// The indicator is drawn larger than a plain busy indicator so the empty area does not look idle.
constexpr int spinnerSide = 38;
constexpr int loadingTextGap = 12;
constexpr int listEdgeMargin = 10;

// Keeps the first section's card and the last one off the edges of the area, like the space between
// sections; the margins show the window background behind the list.
class InsetListView : public QListView {
public:
    explicit InsetListView(QWidget* parent)
        : QListView(parent) {
        setViewportMargins(0, listEdgeMargin, 0, listEdgeMargin);
    }
};

QList<QUrl> localFiles(const QMimeData* data) {
    QList<QUrl> files;
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile())
                files << url;
        }
    }
    return files;
}

void configure(QAbstractItemView* view) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Renaming starts from F2 or the menu only: a slow double click must open, not edit.
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setFrameShape(QFrame::NoFrame);
    view->viewport()->setAcceptDrops(true);
}

} // namespace

FileListView::FileListView(QWidget* parent)
    : QWidget(parent)
    , m_stack(new QStackedWidget(this))
    , m_list(new InsetListView(m_stack))
    , m_details(new QTreeView(m_stack))
    , m_loadingPage(new QWidget(m_stack))
    , m_emptyNote(new QLabel(QStringLiteral("This folder is empty"), this))
    , m_model(new FileListModel(m_entries, this))
    , m_tableModel(new FileTableModel(m_entries, this)) {
    m_stack->setObjectName(QStringLiteral("fileListStack"));
    m_list->setObjectName(QStringLiteral("fileList"));
    m_details->setObjectName(QStringLiteral("fileDetails"));
    m_emptyNote->setObjectName(QStringLiteral("emptyFolderNote"));
    m_emptyNote->setAlignment(Qt::AlignCenter);
    m_emptyNote->setForegroundRole(QPalette::PlaceholderText);
    m_emptyNote->setAttribute(Qt::WA_TransparentForMouseEvents); // clicks and drops reach the list below
    m_emptyNote->hide();

    m_list->setModel(m_model);
    m_list->setItemDelegate(new FileListDelegate(m_list));
    // One row height for all rows: layout and scrolling stay cheap for listings of any length.
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->viewport()->setBackgroundRole(QPalette::Window);
    m_list->viewport()->setAttribute(Qt::WA_Hover);
    m_list->setMouseTracking(true);
    buildDetailsView();
    buildLoadingPage();
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_list), static_cast<QAbstractItemView*>(m_details)}) {
        configure(view);
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::activated, this, &FileListView::activate);
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &FileListView::selectionChanged);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& position) {
            std::unique_ptr<QMenu> menu = contextMenuFor(view->indexAt(position));
            if (!menu)
                return;
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu.release()->popup(view->viewport()->mapToGlobal(position));
        });
    }
    m_stack->addWidget(m_list);
    m_stack->addWidget(m_details);
    m_stack->addWidget(m_loadingPage);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    m_actions = new FileListActions(
        this, [this](FileListActions::Act act, const QList<RemoteFile>& entries) { perform(act, entries); });
    connect(m_actions->parentFolder(), &QAction::triggered, this, [this] {
        if (m_model->showsParentRow())
            Q_EMIT navigateUpRequested();
    });
    connect(m_actions->refresh(), &QAction::triggered, this, &FileListView::refreshRequested);
    connect(m_model, &FileListModel::renameRequested, this, &FileListView::renameRequested);
    connect(m_tableModel, &FileTableModel::renameRequested, this, &FileListView::renameRequested);
    connect(m_tableModel, &FileTableModel::sorted, this, [this](const FileSort& sort) {
        m_settings.sort = sort;
        m_model->reset(); // the plain list shows the same order
        saveSettings();
    });

    m_modes = new QActionGroup(this);
    const struct {
        Mode mode;
        const char* objectName;
        const char* text;
        QStyle::StandardPixmap icon;
        Qt::Key key;
    } modes[] = {
        {Mode::list, "listModeAction", "List", QStyle::SP_FileDialogListView, Qt::Key_1},
        {Mode::details, "detailsModeAction", "Details", QStyle::SP_FileDialogDetailedView, Qt::Key_2}};
    for (const auto& entry : modes) {
        QAction* action =
            m_modes->addAction(style()->standardIcon(entry.icon), QString::fromLatin1(entry.text));
        action->setObjectName(QString::fromLatin1(entry.objectName));
        action->setCheckable(true);
        action->setChecked(entry.mode == m_settings.mode);
        action->setShortcut(QKeySequence(Qt::CTRL | entry.key));
        action->setToolTip(QStringLiteral("%1 (%2)").arg(
            action->text(), action->shortcut().toString(QKeySequence::NativeText)));
        connect(action, &QAction::triggered, this, [this, mode = entry.mode] { setMode(mode); });
        addAction(action);
    }
    showPage();
}

FileListView::~FileListView() {
    // The views go first, while the entries they show still exist: a rename editor still open would
    // otherwise commit into them as the window closes.
    delete m_stack;
}

void FileListView::buildDetailsView() {
    m_details->setModel(m_tableModel);
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setAllColumnsShowFocus(true);
    m_details->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_details->setIconSize(QSize(20, 20));
    QHeaderView* header = m_details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(FileTableModel::NameColumn, QHeaderView::Stretch);
    // Fixed widths: measuring 100,000 rows for their widest text would cost every listing.
    const QFontMetrics metrics(font());
    header->resizeSection(FileTableModel::SizeColumn,
                          metrics.horizontalAdvance(QStringLiteral("000.00 MB")) + 24);
    header->resizeSection(FileTableModel::ModifiedColumn,
                          metrics.horizontalAdvance(QStringLiteral("00/00/0000 00:00 AM")) + 24);
    header->setSortIndicator(FileTableModel::columnOf(m_entries.sort().column), m_entries.sort().order);
    m_details->setSortingEnabled(true);
}

void FileListView::buildLoadingPage() {
    m_loadingPage->setObjectName(QStringLiteral("fileListLoading"));
    auto* spinner = new BusySpinner(spinnerSide, m_loadingPage);
    spinner->setObjectName(QStringLiteral("loadingIndicator"));
    auto* label = new QLabel(QStringLiteral("Loading\u2026"), m_loadingPage);
    label->setObjectName(QStringLiteral("loadingLabel"));
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(m_loadingPage);
    layout->setSpacing(loadingTextGap);
    layout->addStretch();
    layout->addWidget(spinner, 0, Qt::AlignHCenter);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addStretch();
}

void FileListView::setFiles(const QList<RemoteFile>& files) {
    m_entries.setFiles(files);
    entriesChanged();
}

void FileListView::setCurrentPath(const QString& path, bool canNavigateUp) {
    m_currentPath = path;
    m_model->setShowsParentRow(canNavigateUp);
    m_actions->parentFolder()->setEnabled(canNavigateUp);
}

void FileListView::setLoading(bool loading) {
    m_loading = loading;
    showPage();
}

void FileListView::setListingFailed(bool failed) {
    m_listingFailed = failed;
    showPage();
}

void FileListView::setTextEncoding(const servertext::Encoding& encoding) {
    m_entries.setEncoding(encoding);
    entriesChanged();
}

void FileListView::setFavoriteTest(std::function<bool(const RemoteFile&)> isFavorite) {
    m_isFavorite = std::move(isFavorite);
}

void FileListView::entriesChanged() {
    m_model->reset();
    m_tableModel->reset();
    selectionChanged();
    showPage();
}

void FileListView::usePreferences(DefaultsStore& store) {
    m_store = nullptr; // what is read is not written back
    const FileViewSettings stored = FileViewSettings::load(store);
    m_details->header()->setSortIndicator(FileTableModel::columnOf(stored.sort.column), stored.sort.order);
    setMode(stored.mode);
    m_store = &store;
}

void FileListView::setMode(Mode mode) {
    m_settings.mode = mode;
    m_modes->actions().at(mode == Mode::details ? 1 : 0)->setChecked(true);
    showPage();
    selectionChanged();
    saveSettings();
}

void FileListView::saveSettings() {
    if (m_store)
        m_settings.save(*m_store);
}

QList<QAction*> FileListView::modeActions() const {
    return m_modes->actions();
}

QAbstractItemView* FileListView::currentView() const {
    if (m_settings.mode == Mode::details)
        return m_details;
    return m_list;
}

void FileListView::showPage() {
    // The keyboard stays in the list across a listing: Enter on a folder, then the arrows in the next one.
    QWidget* focused = QApplication::focusWidget();
    const bool hadFocus = focused && m_stack->isAncestorOf(focused);
    QWidget* page = m_loading ? m_loadingPage : currentView();
    m_stack->setCurrentWidget(page);
    if (hadFocus && !page->isAncestorOf(focused) && page != focused)
        page->setFocus();
    m_emptyNote->setVisible(!m_loading && !m_listingFailed && m_entries.count() == 0);
    m_emptyNote->raise();
}

void FileListView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_emptyNote->setGeometry(rect());
}

const RemoteFile* FileListView::entryAt(const QModelIndex& index) const {
    if (!index.isValid())
        return nullptr;
    if (index.model() == m_model)
        return m_model->fileAt(index.row());
    if (index.model() == m_tableModel)
        return m_tableModel->fileAt(index.row());
    return nullptr;
}

QList<RemoteFile> FileListView::selectedEntries() const {
    QModelIndexList rows = currentView()->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QList<RemoteFile> entries;
    entries.reserve(rows.size());
    for (const QModelIndex& index : rows) {
        if (const RemoteFile* entry = entryAt(index))
            entries << *entry;
    }
    return entries;
}

bool FileListView::isFavorite(const QList<RemoteFile>& entries) const {
    return entries.size() == 1 && m_isFavorite && m_isFavorite(entries.first());
}

void FileListView::selectionChanged() {
    const QList<RemoteFile> entries = selectedEntries();
    m_actions->select(entries, isFavorite(entries));
    Q_EMIT selectedEntriesChanged();
}

void FileListView::activate(const QModelIndex& index) {
    if (index.model() == m_model && m_model->kindAt(index.row()) == FileListModel::RowKind::ParentFolder) {
        Q_EMIT navigateUpRequested();
        return;
    }
    const RemoteFile* entry = entryAt(index);
    // A copy: the owner typically replaces the listing in answer.
    if (entry && (entry->isDirectory || entry->isLink) && !entry->isAmbiguous)
        Q_EMIT folderSelected(RemoteFile(*entry));
}

void FileListView::perform(FileListActions::Act act, const QList<RemoteFile>& entries) {
    using Act = FileListActions::Act;
    if (entries.isEmpty())
        return;
    switch (act) {
    case Act::download:
        Q_EMIT downloadRequested(entries);
        break;
    case Act::rename: {
        // In place, on the entry's row of the view shown, if it is still listed.
        QAbstractItemView* view = currentView();
        for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
            const RemoteFile* entry = entryAt(index);
            if (!entry || entry->id != entries.first().id)
                continue;
            view->edit(index);
            // The name without its extension is what one usually changes, as in file managers.
            if (auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(index))) {
                const qsizetype dot = entry->isDirectory ? -1 : editor->text().lastIndexOf(u'.');
                editor->setSelection(0, dot > 0 ? int(dot) : int(editor->text().size()));
            }
        }
        break;
    }
    case Act::addFavorite:
        Q_EMIT addFavoriteRequested(entries.first());
        break;
    case Act::removeFavorite:
        Q_EMIT removeFavoriteRequested(entries.first());
        break;
    case Act::remove:
        Q_EMIT deleteRequested(entries);
        break;
    }
}

std::unique_ptr<QMenu> FileListView::contextMenuFor(const QModelIndex& index) {
    const RemoteFile* entry = entryAt(index);
    if (!entry)
        return nullptr;
    QItemSelectionModel* selection = currentView()->selectionModel();
    if (!selection->isSelected(index))
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QList<RemoteFile> entries = selectedEntries();
    return m_actions->menuFor(entries, isFavorite(entries), this);
}

bool FileListView::eventFilter(QObject* watched, QEvent* event) {
    QAbstractItemView* view = currentView();
    switch (event->type()) {
    case QEvent::FocusIn:
        // Tab must land somewhere visible: the first row that can be current, when none is yet.
        if (watched == view && !view->currentIndex().isValid()) {
            for (int row = 0; row < view->model()->rowCount(); ++row) {
                const QModelIndex first = view->model()->index(row, 0);
                if (first.flags().testFlag(Qt::ItemIsEnabled)) {
                    view->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
                    break;
                }
            }
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (watched == view->viewport() && !localFiles(drag->mimeData()).isEmpty()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> files = localFiles(drop->mimeData());
        if (watched != view->viewport() || files.isEmpty())
            return false;
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        Q_EMIT filesDropped(files);
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
