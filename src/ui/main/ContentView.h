#pragma once

#include "NewFolderSheet.h"
#include "WidgetPrompter.h"
#include "session/BrowserState.h"
#include "ui/panels/UploadToFavoriteSheet.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QUuid>

class ActivityArea;
class ConnectionFormView;
class ErrorBanner;
class FavoritesSidebarView;
class FileListView;
class PathBar;
class QAction;
class QLabel;
class QScrollArea;
class QStackedWidget;
class QToolBar;

// One main window: the sidebar and the detail area (connection form, browsing view, or the "Select a
// server" placeholder) above a footer, with the toolbar and sheets of the browsing view. It shows its
// BrowserState, answers its questions with dialogs, and forwards every click to it.
//
// Object names: "sidebar", "detail", "formPage", "emptyPage", "browsingPage", "headerName", "headerPath" (in
// PathBar), "activityArea", "fileList", "errorBanner", "settingsBanner" (+ "settingsBannerText",
// "settingsBannerDismiss"), "mainToolbar", "uploadFileAction", "newFolderAction", "downloadAction", "footer",
// "uploadSheet".
class ContentView : public QMainWindow {
    Q_OBJECT

public:
    explicit ContentView(SessionContext& context, QWidget* parent = nullptr);

    BrowserState& state() { return m_state; }
    Prompter& prompter() { return m_prompter; }
    UploadToFavoriteSheet* uploadSheet() const { return m_uploadSheet; }
    NewFolderSheet* newFolderSheet() const { return m_newFolderSheet; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildSidebar();
    QWidget* buildFormPage();
    QWidget* buildEmptyPage();
    QWidget* buildBrowsingPage();
    QWidget* buildFooter();
    void buildToolbar();
    void connectState();
    void wireFileList();

    void syncDetail();
    void syncHeader();
    void syncError();
    void syncActivity();
    void syncToolbar();
    void syncNewFolderSheet();
    void syncUploadSheet();
    void syncFooter();
    void announce(const QString& words);
    // The transfer the header shows: the window runs one at a time.
    TransferJob* shownTransfer();

    WidgetPrompter m_prompter;
    BrowserState m_state;
    FavoritesSidebarView* m_sidebar = nullptr;
    QStackedWidget* m_detail = nullptr;
    QScrollArea* m_formPage = nullptr;
    ConnectionFormView* m_form = nullptr;
    QWidget* m_emptyPage = nullptr;
    QWidget* m_browsingPage = nullptr;
    ErrorBanner* m_banner = nullptr;
    ErrorBanner* m_settingsBanner = nullptr;
    QLabel* m_headerName = nullptr;
    PathBar* m_pathBar = nullptr;
    ActivityArea* m_activity = nullptr;
    FileListView* m_fileList = nullptr;
    QToolBar* m_toolbar = nullptr;
    QAction* m_uploadAction = nullptr;
    QAction* m_newFolderAction = nullptr;
    QAction* m_downloadAction = nullptr;
    QLabel* m_footer = nullptr;
    // Words about the transfer that has just ended, shown for a few seconds.
    QString m_notice;
    QTimer m_noticeTimer;
    bool m_formIsWriting = false;

    QPointer<NewFolderSheet> m_newFolderSheet;
    QPointer<UploadToFavoriteSheet> m_uploadSheet;
    QUuid m_uploadSheetId;
};
