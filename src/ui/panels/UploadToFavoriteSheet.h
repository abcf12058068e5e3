#pragma once

#include "ftp/CurlRunner.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QUrl>

#include <functional>

class FavoritesManager;
class QAbstractButton;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class QWidget;
class UploadToFavoriteFlow;

// The window-modal sheet that uploads handed-in files into one of the user's favorite folders. It shows
// its UploadToFavoriteFlow and forwards clicks to it; the flow does the work.
//
// onDismiss runs on "Cancel" (the button, Escape, or the window's close button) and when a transfer has
// uploaded every file, also after the sheet is gone (see UploadToFavoriteFlow). The presenter closes the
// sheet in answer; closing it with close() or deleting it is not a "Cancel" and runs no onDismiss. When
// onDismiss is run from inside the sheet the presenter must not delete it on the spot: close() with
// Qt::WA_DeleteOnClose, or deleteLater().
//
// Object names: "uploadToFavoriteSheet" (until the presenter renames it), "uploadSheetTitle",
// "uploadSheetFileCount", "uploadSheetError", "uploadSheetFavorites" (the scroll area), one
// "uploadSheetFavoriteRow" per row (a QAbstractButton with the property "favoriteId", a QUuid) holding
// "uploadSheetFavoriteStar", "uploadSheetFavoriteName", "uploadSheetFavoritePath" and
// "uploadSheetFavoriteCheck"; "uploadSheetProgressArea" with "uploadSheetProgressBar" and
// "uploadSheetProgressLine"; "uploadSheetCancel", "uploadSheetUpload"; the overwrite question
// "uploadSheetOverwriteQuestion" with "uploadSheetOverwriteCancel" and "uploadSheetOverwriteConfirm".
class UploadToFavoriteSheet : public QDialog {
    Q_OBJECT

public:
    UploadToFavoriteSheet(QList<QUrl> fileURLs, FavoritesManager& favoritesManager,
                          std::function<void()> onDismiss, QString curlPath = defaultCurlPath(),
                          QWidget* parent = nullptr);
    ~UploadToFavoriteSheet() override;

    UploadToFavoriteFlow* flow() const;
    // The question while it is shown, otherwise null.
    QMessageBox* overwriteQuestion() const;
    QList<QAbstractButton*> favoriteRows() const;

public Q_SLOTS:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void rebuildRows();
    void render();
    void syncOverwriteQuestion();

    QPointer<UploadToFavoriteFlow> m_flow;
    QLabel* m_error = nullptr;
    QWidget* m_rowsHost = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    QWidget* m_progressArea = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_progressLine = nullptr;
    QPushButton* m_upload = nullptr;
    QPointer<QMessageBox> m_overwriteQuestion;
    // Set while the presenter closes the sheet, which is no "Cancel".
    bool m_closingQuietly = false;
};
