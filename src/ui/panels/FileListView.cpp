#include "FileListView.h"

#include "FileListDelegate.h"
#include "FileListModel.h"
#include "session/BrowserState.h"

#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QStackedWidget>
#include <QStyleOptionMenuItem>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The indicator is drawn larger than a plain busy indicator so the empty area does not look idle.
constexpr int spinnerBaseSize = 32;
constexpr double spinnerScale = 1.2;
constexpr int spinnerSpokes = 12;
constexpr int loadingTextGap = 12;
constexpr int listEdgeMargin = 10;

const QColor destructiveRed(0xe0, 0x1b, 0x24);

// Spokes around a centre, the brightest one stepping round; it only ticks while it is on screen.
class BusySpinner : public QWidget {
public:
    explicit BusySpinner(QWidget* parent)
        : QWidget(parent) {
        const int side = qRound(spinnerBaseSize * spinnerScale);
        setFixedSize(side, side);
        m_timer.setInterval(1000 / spinnerSpokes);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % spinnerSpokes;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override { m_timer.start(); }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(width() / 2.0, height() / 2.0);
        const double radius = width() / 2.0;
        QColor colour = palette().color(QPalette::WindowText);
        QPen pen(colour, radius * 0.18, Qt::SolidLine, Qt::RoundCap);
        for (int i = 0; i < spinnerSpokes; ++i) {
            const int age = (m_step - i + spinnerSpokes) % spinnerSpokes;
            colour.setAlphaF(float(1.0 - 0.75 * age / (spinnerSpokes - 1)));
            pen.setColor(colour);
            painter.setPen(pen);
            painter.save();
            painter.rotate(360.0 * i / spinnerSpokes);
            painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
            painter.restore();
        }
    }

private:
    QTimer m_timer;
    int m_step = 0;
};

// Keeps the first section's card and the last one off the edges of the area, like the space between
// sections; the margins show the window background behind the list.
class InsetListView : public QListView {
public:
    explicit InsetListView(QWidget* parent)
        : QListView(parent) {
        setViewportMargins(0, listEdgeMargin, 0, listEdgeMargin);
    }
};

// Destructive actions (property destructive=true) are drawn in red, as the platform does for items that
// delete something; the palette is the one thing every style reads for a menu item's text.
class EntryMenu : public QMenu {
public:
    using QMenu::QMenu;

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override {
        QMenu::initStyleOption(option, action);
        if (!action->property("destructive").toBool() || !action->isEnabled())
            return;
        for (const QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
            option->palette.setColor(QPalette::Active, role, destructiveRed);
        for (const QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
            option->palette.setColor(QPalette::Inactive, role, destructiveRed);
    }
};

} // namespace

FileListView::FileListView(QWidget* parent)
    : QWidget(parent)
    , m_stack(new QStackedWidget(this))
    , m_list(new InsetListView(m_stack))
    , m_loadingPage(new QWidget(m_stack))
    , m_loadingLabel(new QLabel(QStringLiteral("Loading\u2026"), m_loadingPage))
    , m_model(new FileListModel(this)) {
    m_stack->setObjectName(QStringLiteral("fileListStack"));
    m_list->setObjectName(QStringLiteral("fileList"));
    m_loadingPage->setObjectName(QStringLiteral("fileListLoading"));
    m_loadingLabel->setObjectName(QStringLiteral("loadingLabel"));

    m_list->setModel(m_model);
    m_list->setItemDelegate(new FileListDelegate(m_list));
    // One row height for all rows: layout and scrolling stay cheap for listings of any length.
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setDragEnabled(false);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->viewport()->setBackgroundRole(QPalette::Window);
    m_list->viewport()->setAttribute(Qt::WA_Hover);
    m_list->setMouseTracking(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* spinner = new BusySpinner(m_loadingPage);
    spinner->setObjectName(QStringLiteral("loadingIndicator"));
    m_loadingLabel->setForegroundRole(QPalette::PlaceholderText);
    m_loadingLabel->setAlignment(Qt::AlignCenter);
    auto* loadingLayout = new QVBoxLayout(m_loadingPage);
    loadingLayout->setSpacing(loadingTextGap);
    loadingLayout->addStretch();
    loadingLayout->addWidget(spinner, 0, Qt::AlignHCenter);
    loadingLayout->addWidget(m_loadingLabel, 0, Qt::AlignHCenter);
    loadingLayout->addStretch();

    m_stack->addWidget(m_list);
    m_stack->addWidget(m_loadingPage);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    connect(m_list, &QAbstractItemView::clicked, this, &FileListView::activate);
    connect(m_list, &QWidget::customContextMenuRequested, this, &FileListView::showContextMenu);
    connect(m_list, &QAbstractItemView::entered, this, [this](const QModelIndex& index) {
        const auto kind = m_model->kindAt(index.row());
        const bool clickable =
            kind == FileListModel::RowKind::Folder || kind == FileListModel::RowKind::ParentFolder;
        m_list->viewport()->setCursor(clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    });
    connect(m_list, &QAbstractItemView::viewportEntered, this,
            [this] { m_list->viewport()->setCursor(Qt::ArrowCursor); });
}

FileListView::~FileListView() = default;

const QList<RemoteFile>& FileListView::files() const {
    return m_model->files();
}

void FileListView::setFiles(const QList<RemoteFile>& files) {
    m_model->setFiles(files, m_model->showsParentRow());
}

void FileListView::setCurrentPath(const QString& path, bool canNavigateUp) {
    m_currentPath = path;
    m_model->setShowsParentRow(canNavigateUp);
}

void FileListView::setLoading(bool loading) {
    m_loading = loading;
    m_stack->setCurrentWidget(loading ? m_loadingPage : static_cast<QWidget*>(m_list));
}

void FileListView::activate(const QModelIndex& index) {
    if (!index.isValid())
        return;
    switch (m_model->kindAt(index.row())) {
    case FileListModel::RowKind::ParentFolder:
        Q_EMIT navigateUpRequested();
        break;
    case FileListModel::RowKind::Folder: {
        // A copy: the owner typically replaces the listing in answer.
        const RemoteFile folder = *m_model->fileAt(index.row());
        Q_EMIT folderSelected(folder);
        break;
    }
    case FileListModel::RowKind::File:
    case FileListModel::RowKind::SectionHeader:
        break;
    }
}

std::unique_ptr<QMenu> FileListView::contextMenuFor(const QModelIndex& index) {
    const RemoteFile* found = index.isValid() ? m_model->fileAt(index.row()) : nullptr;
    if (!found)
        return nullptr;
    const RemoteFile entry = *found;

    auto menu = std::make_unique<EntryMenu>(this);
    menu->setObjectName(QStringLiteral("fileListContextMenu"));
    if (BrowserState::canBecomeFavorite(entry)) {
        QAction* addFavorite = menu->addAction(QStringLiteral("Add to favorites"), this,
                                               [this, entry] { Q_EMIT addFavoriteRequested(entry); });
        addFavorite->setObjectName(QStringLiteral("addToFavoritesAction"));
        menu->addSeparator();
    }
    QAction* remove =
        menu->addAction(QStringLiteral("Delete"), this, [this, entry] { Q_EMIT deleteRequested(entry); });
    remove->setObjectName(QStringLiteral("deleteAction"));
    remove->setProperty("destructive", true);
    return menu;
}

void FileListView::showContextMenu(const QPoint& position) {
    std::unique_ptr<QMenu> menu = contextMenuFor(m_list->indexAt(position));
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu.release()->popup(m_list->viewport()->mapToGlobal(position));
}
