#include "ContentView.h"

#include "ActivityArea.h"
#include "ElidedLabel.h"
#include "ErrorBanner.h"
#include "NewFolderSheet.h"
#include "Typography.h"
#include "app/AppNotifications.h"
#include "model/FavoritesManager.h"
#include "ui/panels/ConnectionFormView.h"
#include "ui/panels/FavoritesSidebarView.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/Icons.h"
#include "ui/panels/UploadToFavoriteSheet.h"

#include <QAction>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

ContentView::ContentView(FavoritesManager& favoritesManager, QWidget* parent)
    : QMainWindow(parent)
    , m_state(favoritesManager) {
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
    connect(&favoritesManager, &FavoritesManager::saveFailed, this, [this](const QString& message) {
        m_settingsBanner->setMessage(message);
        m_settingsBanner->show();
    });
    layout->addWidget(m_settingsBanner);
    layout->addWidget(splitter, 1);
    layout->addWidget(buildFooter());
    setCentralWidget(central);
    buildToolbar();

    m_state.setFileChooser([this](std::function<void(const QList<QUrl>&)> answer) {
        auto* dialog = new QFileDialog(this);
        dialog->setObjectName(QStringLiteral("uploadFileChooser"));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setFileMode(QFileDialog::ExistingFiles);
        dialog->setOption(QFileDialog::ReadOnly); // no creating folders from here
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QFileDialog::finished, this, [dialog, answer](int result) {
            answer(result == QDialog::Accepted ? dialog->selectedUrls() : QList<QUrl>());
        });
        dialog->open();
    });

    connect(&m_state, &BrowserState::detailChanged, this, &ContentView::syncDetail);
    connect(&m_state, &BrowserState::currentPathChanged, this, [this] {
        syncHeader();
        syncFileList();
    });
    connect(&m_state, &BrowserState::filesChanged, this, [this] { m_fileList->setFiles(m_state.files()); });
    connect(&m_state, &BrowserState::loadingChanged, this, [this] {
        m_fileList->setLoading(m_state.isLoading());
        syncToolbar();
    });
    connect(&m_state, &BrowserState::errorMessageChanged, this, &ContentView::syncError);
    connect(&m_state, &BrowserState::activityChanged, this, [this] {
        syncActivity();
        syncToolbar();
    });
    connect(&m_state, &BrowserState::newFolderSheetChanged, this, &ContentView::syncNewFolderSheet);
    connect(&m_state, &BrowserState::deleteConfirmationChanged, this, &ContentView::syncDeleteConfirmation);
    connect(&m_state, &BrowserState::overwriteQuestionChanged, this, &ContentView::syncOverwriteQuestion);
    connect(&m_state, &BrowserState::pendingUploadChanged, this, &ContentView::syncUploadSheet);
    observeNotifications();

    syncDetail();
    syncHeader();
    syncFileList();
    syncError();
    syncActivity();
}

QWidget* ContentView::buildSidebar() {
    m_sidebar = new FavoritesSidebarView(m_state.favoritesManager());
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    m_sidebar->onSelectAddServer = [this] { m_state.showNewConnectionForm(); };
    m_sidebar->onSelectFavorite = [this](const Favorite& favorite) { m_state.openFavorite(favorite); };
    m_sidebar->onSelectConnection = [this](const Connection& connection) {
        m_state.openConnection(connection);
    };
    return m_sidebar;
}

QWidget* ContentView::buildFormPage() {
    m_form = new ConnectionFormView;
    m_form->embedded = true;
    m_form->setMaximumWidth(460);
    m_form->onConnectionEdited = [this](const Connection& connection) {
        m_formIsWriting = true;
        m_state.setFormConnection(connection);
        m_formIsWriting = false;
    };
    m_form->onSave = [this] { m_state.saveConnectionForm(); };
    m_form->onCancel = [this] { m_state.cancelConnectionForm(); };

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
    title->setObjectName(QStringLiteral("emptyTitle"));
    QFont titleFont = typography::headline(title);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    auto* description = new QLabel(QStringLiteral(
        "Add a new connection from Add Server in the sidebar, or select a connection or favorite."));
    description->setObjectName(QStringLiteral("emptyDescription"));
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
    connect(m_banner, &ErrorBanner::dismissRequested, this, [this] { m_state.dismissError(); });

    auto* header = new QWidget;
    header->setObjectName(QStringLiteral("header"));
    m_headerName = new QLabel;
    m_headerName->setObjectName(QStringLiteral("headerName"));
    m_headerName->setTextFormat(Qt::PlainText);
    m_headerName->setFont(typography::headline(m_headerName));
    m_headerPath = new ElidedLabel;
    m_headerPath->setObjectName(QStringLiteral("headerPath"));
    m_headerPath->setFont(typography::caption(m_headerPath));
    typography::makeSecondary(m_headerPath);
    m_activity = new ActivityArea;
    m_activity->setObjectName(QStringLiteral("activityArea"));
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(12, 8, 12, 8);
    headerLayout->addWidget(m_headerName);
    headerLayout->addWidget(m_headerPath, 1);
    headerLayout->addWidget(m_activity);

    m_fileList = new FileListView;
    m_fileList->setObjectName(QStringLiteral("fileList"));
    m_fileList->onSelectFolder = [this](const RemoteFile& entry) { m_state.enterFolder(entry); };
    m_fileList->onAddFavorite = [this](const QString& name, const QString& path) {
        m_state.addToFavorites(name, path);
    };
    m_fileList->onDelete = [this](const RemoteFile& entry) { m_state.requestDelete(entry); };

    auto* layout = new QVBoxLayout(m_browsingPage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_banner);
    layout->addWidget(header);
    layout->addWidget(m_fileList, 1);
    return m_browsingPage;
}

QWidget* ContentView::buildFooter() {
    auto* footer = new QLabel(QStringLiteral("Kalvor \u00b7 Support: support@kalvor.app \u00b7 \u00a9 2026 "
                                             "The Kalvor developers. All rights reserved."));
    footer->setObjectName(QStringLiteral("footer"));
    footer->setAlignment(Qt::AlignCenter);
    footer->setContentsMargins(0, 6, 0, 6);
    footer->setFont(typography::caption(footer));
    footer->setAutoFillBackground(true);
    footer->setBackgroundRole(QPalette::Window);
    typography::makeSecondary(footer);
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
    connect(m_uploadAction, &QAction::triggered, this, [this] { m_state.chooseUploadFiles(); });
    connect(m_newFolderAction, &QAction::triggered, this, [this] { m_state.openNewFolderSheet(); });
}

void ContentView::observeNotifications() {
    AppNotifications& notifications = AppNotifications::instance();
    connect(&notifications, &AppNotifications::newConnection, this,
            [this] { m_state.showNewConnectionForm(); });
    connect(&notifications, &AppNotifications::editConnection, this,
            [this](const QVariant& object) { m_state.showEditConnectionForm(object); });
    connect(&notifications, &AppNotifications::uploadFiles, this,
            [this](const QVariant& object) { m_state.takeHandedInFiles(object); });
}

void ContentView::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        m_state.takePendingServiceFiles();
}

void ContentView::syncDetail() {
    const BrowserState::DetailMode mode = m_state.detailMode();
    m_sidebar->setShowConnectionForm(m_state.showConnectionFormInDetail());
    switch (mode) {
    case BrowserState::DetailMode::form: {
        const Connection connection = m_state.formConnection();
        // The form writes every keystroke back; echoing it into the fields would move the cursor.
        if (!m_formIsWriting) {
            m_form->setConnection(connection);
            m_formShowsId = connection.id;
        }
        m_detail->setCurrentWidget(m_formPage);
        break;
    }
    case BrowserState::DetailMode::browsing:
        m_detail->setCurrentWidget(m_browsingPage);
        break;
    case BrowserState::DetailMode::empty:
        m_detail->setCurrentWidget(m_emptyPage);
        break;
    }
    syncHeader();
    syncError();
    syncToolbar();
}

void ContentView::syncHeader() {
    if (m_state.currentConnection())
        m_headerName->setText(m_state.currentConnection()->displayName());
    m_headerPath->setFullText(m_state.currentPath());
}

void ContentView::syncFileList() {
    m_fileList->setCurrentPath(m_state.currentPath());
    if (m_state.canNavigateUp())
        m_fileList->onNavigateUp = [this] { m_state.navigateUp(); };
    else
        m_fileList->onNavigateUp = nullptr;
    m_fileList->setCurrentPath(m_state.currentPath()); // re-render with the action's presence
}

void ContentView::syncError() {
    const auto& message = m_state.errorMessage();
    if (message)
        m_banner->setMessage(*message);
    m_banner->setVisible(message.has_value());
}

void ContentView::syncActivity() {
    if (m_state.isUploading() && m_state.mainUploadProgressText())
        m_activity->showProgress(m_state.mainUploadProgressValue(), m_state.mainUploadProgressTotal(),
                                 *m_state.mainUploadProgressText());
    else if (m_state.isUploading() || m_state.isDeleting())
        m_activity->showBusy(m_state.isUploading() ? QStringLiteral("Uploading\u2026")
                                                   : QStringLiteral("Deleting\u2026"));
    else
        m_activity->showNothing();
}

void ContentView::syncToolbar() {
    m_toolbar->setVisible(m_state.detailMode() == BrowserState::DetailMode::browsing);
    m_uploadAction->setEnabled(m_state.canChooseUploadFiles());
    m_newFolderAction->setEnabled(m_state.canOpenNewFolderSheet());
}

void ContentView::syncNewFolderSheet() {
    if (m_state.showNewFolderSheet() && m_state.detailMode() == BrowserState::DetailMode::browsing) {
        if (!m_newFolderSheet) {
            m_newFolderSheet = new NewFolderSheet(m_state, this);
            m_newFolderSheet->setAttribute(Qt::WA_DeleteOnClose);
            m_newFolderSheet->open();
        }
        m_newFolderSheet->sync();
    } else if (m_newFolderSheet) {
        m_newFolderSheet->close();
    }
}

void ContentView::syncDeleteConfirmation() {
    const auto& entry = m_state.fileToDelete();
    if (!entry) {
        if (m_deleteConfirmation)
            m_deleteConfirmation->close();
        return;
    }
    if (m_deleteConfirmation)
        return;
    const QString title = QStringLiteral("Are you sure you want to delete?");
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("deleteConfirmation"));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(title);
    box->setText(title);
    box->setInformativeText(BrowserState::deleteMessage(*entry));
    QPushButton* destroy =
        box->addButton(BrowserState::deleteButtonLabel(*entry), QMessageBox::DestructiveRole);
    destroy->setObjectName(QStringLiteral("deleteConfirm"));
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::finished, this, [this, box, destroy] {
        m_deleteConfirmation = nullptr;
        if (box->clickedButton() == destroy)
            m_state.confirmDelete();
        else
            m_state.cancelDelete(); // any other way of closing is a cancel
    });
    m_deleteConfirmation = box;
    box->open();
}

void ContentView::syncOverwriteQuestion() {
    if (!m_state.showMainOverwriteAlert()) {
        if (m_overwriteQuestion)
            m_overwriteQuestion->close();
        return;
    }
    if (m_overwriteQuestion)
        return;
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("overwriteQuestion"));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Question);
    box->setWindowTitle(QStringLiteral("Overwrite"));
    box->setText(QStringLiteral("Overwrite"));
    box->setInformativeText(BrowserState::overwriteMessage(m_state.mainOverwriteConflictCount()));
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    QPushButton* overwrite = box->addButton(QStringLiteral("Overwrite"), QMessageBox::AcceptRole);
    overwrite->setObjectName(QStringLiteral("overwriteConfirm"));
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::finished, this, [this, box, overwrite] {
        m_overwriteQuestion = nullptr;
        if (box->clickedButton() == overwrite)
            m_state.confirmOverwrite();
        else
            m_state.cancelOverwrite();
    });
    m_overwriteQuestion = box;
    box->open();
}

void ContentView::syncUploadSheet() {
    const auto& pending = m_state.pendingUploadURLs();
    if (m_uploadSheet && (!pending || pending->id != m_uploadSheetId)) {
        // Replaced or cleared: this presentation ends. Its transfer, if any, goes on by itself.
        UploadToFavoriteSheet* old = m_uploadSheet;
        m_uploadSheet = nullptr;
        old->close();
    }
    if (!pending || m_uploadSheet)
        return;
    const QUuid id = pending->id;
    auto* sheet = new UploadToFavoriteSheet(
        pending->urls, m_state.favoritesManager(),
        [state = QPointer<BrowserState>(&m_state), id] {
            if (state)
                state->dismissPendingUpload(id);
        },
        m_state.curlPath(), this);
    sheet->setObjectName(QStringLiteral("uploadSheet"));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_uploadSheet = sheet;
    m_uploadSheetId = id;
    sheet->open();
}
