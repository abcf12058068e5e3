#include "ContentView.h"

#include "ActivityArea.h"
#include "ErrorBanner.h"
#include "NewFolderSheet.h"
#include "Typography.h"
#include "model/FavoritesManager.h"
#include "ui/panels/ConnectionFormView.h"
#include "ui/panels/FavoritesSidebarView.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/Icons.h"
#include "ui/panels/PathBar.h"
#include "ui/panels/UploadToFavoriteSheet.h"

#include <QAction>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QScrollArea>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

ContentView::ContentView(SessionContext& context, QWidget* parent)
    : QMainWindow(parent)
    , m_prompter(this)
    , m_state(context, m_prompter) {
    setMinimumSize(700, 450);
    setUnifiedTitleAndToolBarOnMac(true);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(buildSidebar());
    m_detail = new QStackedWidget;
    m_detail->setObjectName(QStringLiteral("detail"));
    m_detail->addWidget(buildFormPage());
    m_detail->addWidget(buildEmptyPage());
    m_detail->addWidget(buildBrowsingPage());
    splitter->addWidget(m_detail);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 600});

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // A write the store could not make must be seen whatever the window shows: the lists on screen are
    // then not on disk.
    m_settingsBanner = new ErrorBanner(QStringLiteral("settingsBanner"));
    m_settingsBanner->hide();
    connect(m_settingsBanner, &ErrorBanner::dismissRequested, m_settingsBanner, &QWidget::hide);
    connect(&context.store, &FavoritesManager::saveFailed, this, [this](const QString& message) {
        m_settingsBanner->setMessage(message);
        m_settingsBanner->show();
    });
    layout->addWidget(m_settingsBanner);
    layout->addWidget(splitter, 1);
    layout->addWidget(buildFooter());
    setCentralWidget(central);
    buildToolbar();
    connectState();
    wireFileList();

    // Long enough to be read, short enough not to be mistaken for what is going on now.
    m_noticeTimer.setSingleShot(true);
    m_noticeTimer.setInterval(6000);
    connect(&m_noticeTimer, &QTimer::timeout, this, [this] {
        m_notice.clear();
        syncActivity();
        syncFooter();
    });

    syncDetail();
    syncActivity();
}

QWidget* ContentView::buildSidebar() {
    m_sidebar = new FavoritesSidebarView(m_state.context().store);
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    connect(m_sidebar, &FavoritesSidebarView::addServerSelected, &m_state,
            &BrowserState::showNewConnectionForm);
    connect(m_sidebar, &FavoritesSidebarView::favoriteSelected, &m_state, &BrowserState::openFavorite);
    connect(m_sidebar, &FavoritesSidebarView::connectionSelected, &m_state, &BrowserState::openConnection);
    connect(m_sidebar, &FavoritesSidebarView::editConnectionRequested, &m_state,
            &BrowserState::showEditConnectionForm);
    connect(m_sidebar, &FavoritesSidebarView::deleteConnectionRequested, &m_state,
            &BrowserState::deleteConnection);
    return m_sidebar;
}

QWidget* ContentView::buildFormPage() {
    m_form = new ConnectionFormView;
    m_form->setMaximumWidth(460);
    ConnectionEditor& editor = m_state.editor();
    connect(m_form, &ConnectionFormView::connectionEdited, this,
            [this, &editor](const Connection& connection) {
                m_formIsWriting = true;
                editor.edit(connection);
                m_formIsWriting = false;
            });
    connect(m_form, &ConnectionFormView::saveRequested, &editor, &ConnectionEditor::save);
    connect(m_form, &ConnectionFormView::cancelRequested, &editor, &ConnectionEditor::cancel);

    auto* holder = new QWidget;
    holder->setBackgroundRole(QPalette::Base); // the control background behind the whole area
    holder->setAutoFillBackground(true);
    // As wide as the column allows up to 460, centred, at the top.
    m_form->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_form, 1000);
    row->addStretch(1);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addLayout(row);
    layout->addStretch(1);

    m_formPage = new QScrollArea;
    m_formPage->setObjectName(QStringLiteral("formPage"));
    m_formPage->setWidgetResizable(true);
    m_formPage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_formPage->setFrameShape(QFrame::NoFrame);
    m_formPage->setWidget(holder);
    return m_formPage;
}

QWidget* ContentView::buildEmptyPage() {
    m_emptyPage = new QWidget;
    m_emptyPage->setObjectName(QStringLiteral("emptyPage"));
    auto* icon = new QLabel;
    icon->setPixmap(symbolIcon(u"server.rack").pixmap(48, 48));
    icon->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(QStringLiteral("Select a server"));
    QFont titleFont = typography::headline(title);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    auto* description = new QLabel(QStringLiteral(
        "Add a new connection from Add Server in the sidebar, or select a connection or favorite."));
    description->setAlignment(Qt::AlignCenter);
    description->setWordWrap(true);
    typography::makeSecondary(description);
    auto* layout = new QVBoxLayout(m_emptyPage);
    layout->addStretch(1);
    layout->addWidget(icon);
    layout->addWidget(title);
    layout->addWidget(description);
    layout->addStretch(1);
    return m_emptyPage;
}

QWidget* ContentView::buildBrowsingPage() {
    m_browsingPage = new QWidget;
    m_browsingPage->setObjectName(QStringLiteral("browsingPage"));
    m_banner = new ErrorBanner;
    connect(m_banner, &ErrorBanner::dismissRequested, &m_state.browser(), &FolderBrowser::dismissError);

    auto* header = new QWidget;
    m_headerName = new QLabel;
    m_headerName->setObjectName(QStringLiteral("headerName"));
    m_headerName->setTextFormat(Qt::PlainText);
    m_headerName->setFont(typography::headline(m_headerName));
    m_pathBar = new PathBar;
    m_activity = new ActivityArea;
    m_activity->setObjectName(QStringLiteral("activityArea"));
    connect(m_activity, &ActivityArea::cancelRequested, this, [this] {
        if (TransferJob* job = shownTransfer())
            job->cancel();
    });
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(12, 8, 12, 8);
    headerLayout->addWidget(m_headerName);
    headerLayout->addWidget(m_pathBar, 1);
    headerLayout->addWidget(m_activity);

    m_fileList = new FileListView;
    m_fileList->setObjectName(QStringLiteral("fileList"));

    auto* layout = new QVBoxLayout(m_browsingPage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_banner);
    layout->addWidget(header);
    layout->addWidget(m_fileList, 1);
    return m_browsingPage;
}

QWidget* ContentView::buildFooter() {
    auto* footer = m_footer = new QLabel;
    footer->setTextFormat(Qt::PlainText);
    footer->setObjectName(QStringLiteral("footer"));
    footer->setAlignment(Qt::AlignCenter);
    footer->setContentsMargins(0, 6, 0, 6);
    footer->setFont(typography::caption(footer));
    footer->setAutoFillBackground(true);
    footer->setBackgroundRole(QPalette::Window);
    typography::makeSecondary(footer);
    syncFooter();
    return footer;
}

void ContentView::buildToolbar() {
    m_toolbar = addToolBar(QStringLiteral("Browsing"));
    m_toolbar->setObjectName(QStringLiteral("mainToolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->toggleViewAction()->setVisible(false);
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(spacer); // primary actions sit at the trailing end
    m_uploadAction = m_toolbar->addAction(symbolIcon(u"square.and.arrow.up"), QStringLiteral("Upload File"));
    m_uploadAction->setObjectName(QStringLiteral("uploadFileAction"));
    m_newFolderAction = m_toolbar->addAction(symbolIcon(u"folder.badge.plus"), QStringLiteral("New Folder"));
    m_newFolderAction->setObjectName(QStringLiteral("newFolderAction"));
    m_downloadAction = m_toolbar->addAction(symbolIcon(u"square.and.arrow.down"), QStringLiteral("Download"));
    m_downloadAction->setObjectName(QStringLiteral("downloadAction"));
    m_downloadAction->setToolTip(QStringLiteral("Download the selected files and folders"));
    connect(m_uploadAction, &QAction::triggered, &m_state, &BrowserState::chooseUploadFiles);
    connect(m_newFolderAction, &QAction::triggered, &m_state.newFolder(), &NewFolderFlow::openSheet);
    connect(m_downloadAction, &QAction::triggered, this,
            [this] { m_state.downloadEntries(m_fileList->selectedEntries()); });
}

void ContentView::connectState() {
    FolderBrowser& browser = m_state.browser();
    connect(&m_state, &BrowserState::detailChanged, this, &ContentView::syncDetail);
    connect(&m_state, &BrowserState::pendingUploadChanged, this, &ContentView::syncUploadSheet);
    connect(&browser, &FolderBrowser::currentPathChanged, this, &ContentView::syncHeader);
    connect(&browser, &FolderBrowser::loadingChanged, this, [this] {
        m_fileList->setLoading(m_state.browser().isLoading());
        syncToolbar();
    });
    connect(&browser, &FolderBrowser::errorMessageChanged, this, &ContentView::syncError);
    for (TransferJob* job :
         {static_cast<TransferJob*>(&m_state.upload()), static_cast<TransferJob*>(&m_state.download())}) {
        connect(job, &TransferJob::progressChanged, this, &ContentView::syncActivity);
        connect(job, &TransferJob::busyChanged, this, [this] {
            syncActivity();
            syncToolbar();
        });
    }
    connect(&m_state, &BrowserState::announced, this, &ContentView::announce);
    connect(m_fileList, &FileListView::selectedEntriesChanged, this, &ContentView::syncToolbar);
    connect(&m_state.deletes(), &DeleteFlow::deletingChanged, this, &ContentView::syncActivity);
    connect(&m_state.newFolder(), &NewFolderFlow::changed, this, [this] {
        syncNewFolderSheet();
        syncToolbar();
    });
}

void ContentView::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        m_state.takeHandIn();
}

void ContentView::syncDetail() {
    const BrowserState::DetailMode mode = m_state.detailMode();
    m_sidebar->setShowConnectionForm(mode == BrowserState::DetailMode::form);
    switch (mode) {
    case BrowserState::DetailMode::form: {
        const Connection& connection = *m_state.editor().editing();
        // The form writes every keystroke back; echoing it into the fields would move the cursor.
        if (!m_formIsWriting)
            m_form->setConnection(connection);
        m_form->setSaveEnabled(m_state.editor().canSave());
        m_form->setPasswordNote(m_state.editor().passwordNote());
        if (m_detail->currentWidget() != m_formPage) {
            m_detail->setCurrentWidget(m_formPage);
            m_form->focusFirstField();
        }
        break;
    }
    case BrowserState::DetailMode::browsing:
        m_detail->setCurrentWidget(m_browsingPage);
        break;
    case BrowserState::DetailMode::empty:
        m_detail->setCurrentWidget(m_emptyPage);
        break;
    }
    const std::optional<Connection>& open = m_state.browser().connection();
    m_sidebar->setOpenConnection(open ? open->id : QUuid());
    syncHeader();
    syncError();
    syncToolbar();
    syncNewFolderSheet();
    syncActivity();
    syncFooter();
}

void ContentView::syncHeader() {
    const FolderBrowser& browser = m_state.browser();
    if (browser.connection())
        m_headerName->setText(browser.connection()->displayName());
    m_pathBar->setPath(browser.currentPath(),
                       browser.connection() ? browser.connection()->textEncoding : servertext::Encoding());
    m_pathBar->setCanNavigateUp(browser.canNavigateUp());
    m_fileList->setCurrentPath(browser.currentPath(), browser.canNavigateUp());
}

void ContentView::syncError() {
    const std::optional<QString>& message = m_state.browser().errorMessage();
    if (message)
        m_banner->setMessage(*message);
    m_banner->setVisible(message.has_value());
}

TransferJob* ContentView::shownTransfer() {
    if (m_state.download().isTransferring())
        return &m_state.download();
    if (m_state.upload().isTransferring())
        return &m_state.upload();
    return nullptr;
}

void ContentView::syncActivity() {
    if (const TransferJob* job = shownTransfer()) {
        if (job->progressLine())
            m_activity->showProgress(job->progressValue(), job->progressTotal(), *job->progressLine());
        else
            m_activity->showBusy(job == &m_state.upload() ? QStringLiteral("Uploading\u2026")
                                                          : QStringLiteral("Downloading\u2026"));
    } else if (m_state.deletes().isDeleting()) {
        m_activity->showBusy(QStringLiteral("Deleting\u2026"));
    } else if (!m_notice.isEmpty()) {
        m_activity->showNotice(m_notice);
    } else {
        m_activity->showNothing();
    }
}

void ContentView::syncToolbar() {
    // The toolbar is there from the start, so nothing moves when a connection opens; its actions work only
    // on an open folder.
    const bool browsing = m_state.detailMode() == BrowserState::DetailMode::browsing;
    m_uploadAction->setEnabled(browsing && m_state.canChooseUploadFiles());
    m_newFolderAction->setEnabled(browsing && m_state.canOpenNewFolderSheet());
    m_downloadAction->setEnabled(browsing && m_state.canDownload(m_fileList->selectedEntries()));
}

void ContentView::announce(const QString& words) {
    m_notice = words;
    m_noticeTimer.start();
    syncActivity();
    syncFooter();
}

void ContentView::syncFooter() {
    // Without the browsing view's header (the sheet can upload from any page), the footer says it.
    const bool inHeader = m_state.detailMode() == BrowserState::DetailMode::browsing;
    m_footer->setText(!m_notice.isEmpty() && !inHeader
                          ? m_notice
                          : QStringLiteral("Kalvor \u00b7 Support: support@kalvor.app \u00b7 \u00a9 2026 The "
                                           "Kalvor developers. All rights reserved."));
}

void ContentView::syncNewFolderSheet() {
    const NewFolderFlow& flow = m_state.newFolder();
    if (flow.isSheetShown() && m_state.detailMode() == BrowserState::DetailMode::browsing) {
        if (!m_newFolderSheet) {
            m_newFolderSheet = new NewFolderSheet(m_state.newFolder(), this);
            m_newFolderSheet->setAttribute(Qt::WA_DeleteOnClose);
            m_newFolderSheet->open();
        }
        m_newFolderSheet->sync();
    } else if (m_newFolderSheet) {
        m_newFolderSheet->close();
    }
}

void ContentView::syncUploadSheet() {
    const std::optional<PendingUpload>& pending = m_state.pendingUpload();
    if (m_uploadSheet && (!pending || pending->id != m_uploadSheetId)) {
        // Replaced or done: this presentation ends. A transfer it started goes on in the window's header.
        UploadToFavoriteSheet* old = m_uploadSheet;
        m_uploadSheet = nullptr;
        old->close();
    }
    if (!pending || m_uploadSheet)
        return;
    const QUuid id = pending->id;
    auto* sheet = new UploadToFavoriteSheet(pending->urls, m_state.context().store, m_state.upload(), this);
    sheet->setObjectName(QStringLiteral("uploadSheet"));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &UploadToFavoriteSheet::dismissed, &m_state,
            [this, id] { m_state.dismissPendingUpload(id); });
    m_uploadSheet = sheet;
    m_uploadSheetId = id;
    sheet->open();
}

// The file list and the path bar: what the user asks of them goes to the browser state's flows, and what the
// list needs to know (the open connection's encoding, its favorites, the per-user look) comes from there.
void ContentView::wireFileList() {
    FolderBrowser& browser = m_state.browser();
    m_fileList->usePreferences(m_state.context().store.defaultsStore());
    m_fileList->setFavoriteTest([this](const RemoteFile& entry) { return m_state.isFavorite(entry); });
    connect(&browser, &FolderBrowser::connectionChanged, this, [this] {
        if (m_state.browser().connection())
            m_fileList->setTextEncoding(m_state.browser().connection()->textEncoding);
    });
    connect(&browser, &FolderBrowser::filesChanged, this, [this] {
        m_fileList->setListingFailed(m_state.browser().listingFailed());
        m_fileList->setFiles(m_state.browser().files());
        syncToolbar();
    });
    connect(m_fileList, &FileListView::downloadRequested, &m_state, &BrowserState::downloadEntries);
    connect(m_fileList, &FileListView::folderSelected, &browser, &FolderBrowser::enterFolder);
    connect(m_fileList, &FileListView::navigateUpRequested, &browser, &FolderBrowser::navigateUp);
    connect(m_fileList, &FileListView::refreshRequested, &browser, &FolderBrowser::loadFiles);
    connect(m_fileList, &FileListView::addFavoriteRequested, &m_state, &BrowserState::addToFavorites);
    connect(m_fileList, &FileListView::removeFavoriteRequested, &m_state, &BrowserState::removeFromFavorites);
    connect(m_fileList, &FileListView::deleteRequested, &m_state.deletes(), &DeleteFlow::requestDelete);
    connect(m_fileList, &FileListView::renameRequested, &m_state.renames(), &RenameFlow::rename);
    connect(m_fileList, &FileListView::filesDropped, &m_state, &BrowserState::uploadDropped);
    connect(m_pathBar, &PathBar::pathEntered, &browser, &FolderBrowser::goTo);
    connect(m_pathBar, &PathBar::navigateUpRequested, &browser, &FolderBrowser::navigateUp);

    // Keyboard-only use: the toolbar's buttons are in the Tab order (a shortcut alone is not found by
    // someone who tabs through the window), and they have the keys file managers use.
    m_toolbar->insertActions(m_uploadAction, m_fileList->modeActions());
    m_toolbar->insertSeparator(m_uploadAction);
    m_uploadAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    m_newFolderAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    for (QAction* action : m_toolbar->actions()) {
        if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(action)))
            button->setFocusPolicy(Qt::TabFocus);
    }
}
