#pragma once

#include "BrowserState.h"
#include "NewFolderSheet.h"
#include "ui/panels/UploadToFavoriteSheet.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QUuid>

class ActivityArea;
class ConnectionFormView;
class ElidedLabel;
class ErrorBanner;
class FavoritesManager;
class FavoritesSidebarView;
class FileListView;
class QAction;
class QLabel;
class QScrollArea;
class QStackedWidget;
class QToolBar;

// One main window: the sidebar and the detail area (connection form, browsing view, or the "Select a
// server" placeholder) above a footer, with the toolbar, sheets and questions of the browsing view. It shows
// its BrowserState and forwards every click to it.
//
// Object names: "sidebar", "detail", "formPage", "emptyPage", "browsingPage", "headerName", "headerPath",
// "activityArea", "fileList", "settingsBanner" (+ "settingsBannerText", "settingsBannerDismiss"),
// "mainToolbar", "uploadFileAction", "newFolderAction", "footer", "deleteConfirmation" (+ button
// "deleteConfirm"), "overwriteQuestion" (+ "overwriteConfirm"), "uploadSheet".
class ContentView : public QMainWindow {
    Q_OBJECT

public:
    explicit ContentView(FavoritesManager& favoritesManager, QWidget* parent = nullptr);

    BrowserState& state() { return m_state; }
    UploadToFavoriteSheet* uploadSheet() const { return m_uploadSheet; }
    NewFolderSheet* newFolderSheet() const { return m_newFolderSheet; }
    QMessageBox* deleteConfirmation() const { return m_deleteConfirmation; }
    QMessageBox* overwriteQuestion() const { return m_overwriteQuestion; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildSidebar();
    QWidget* buildFormPage();
    QWidget* buildEmptyPage();
    QWidget* buildBrowsingPage();
    QWidget* buildFooter();
    void buildToolbar();
    void observeNotifications();

    void syncDetail();
    void syncHeader();
    void syncFileList();
    void syncError();
    void syncActivity();
    void syncToolbar();
    void syncNewFolderSheet();
    void syncDeleteConfirmation();
    void syncOverwriteQuestion();
    void syncUploadSheet();

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
    ElidedLabel* m_headerPath = nullptr;
    ActivityArea* m_activity = nullptr;
    FileListView* m_fileList = nullptr;
    QToolBar* m_toolbar = nullptr;
    QAction* m_uploadAction = nullptr;
    QAction* m_newFolderAction = nullptr;
    bool m_formIsWriting = false;
    QUuid m_formShowsId;

    QPointer<NewFolderSheet> m_newFolderSheet;
    QPointer<QMessageBox> m_deleteConfirmation;
    QPointer<QMessageBox> m_overwriteQuestion;
    QPointer<UploadToFavoriteSheet> m_uploadSheet;
    QUuid m_uploadSheetId;
};
