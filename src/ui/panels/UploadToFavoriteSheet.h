#pragma once

#include <QDialog>
#include <QList>
#include <QUrl>

class FavoritesManager;
class QAbstractButton;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class QWidget;
class UploadJob;
class UploadToFavoriteFlow;
class WidgetPrompter;

// The window-modal sheet that uploads handed-in files into one of the user's favorite folders. It shows its
// UploadToFavoriteFlow and the window's upload job, asks its questions over itself, and forwards clicks.
//
// dismissed() is emitted on "Cancel" (the button, Escape, or the window's close button) and when every file
// is uploaded; the presenter closes the sheet in answer. Closing it with close() or deleting it is no
// "Cancel" and emits nothing. A transfer under way goes on when the sheet closes (the window's header shows
// it). When dismissed() comes from inside the sheet the presenter must not delete it on the spot: close()
// with Qt::WA_DeleteOnClose, or deleteLater().
//
// Object names: "uploadToFavoriteSheet" (until the presenter renames it), "uploadSheetFileCount" (the files'
// names),
// "uploadSheetError", "uploadSheetFavorites" (the scroll area), one "uploadSheetFavoriteRow" per row (a
// QAbstractButton with the property "favoriteId", a QUuid) holding "uploadSheetFavoriteCheck";
// "uploadSheetProgressArea" with "uploadSheetProgressBar" and "uploadSheetProgressLine"; "uploadSheetCancel",
// "uploadSheetUpload".
class UploadToFavoriteSheet : public QDialog {
    Q_OBJECT

public:
    UploadToFavoriteSheet(QList<QUrl> fileURLs, FavoritesManager& favoritesManager, UploadJob& job,
                          QWidget* parent = nullptr);
    ~UploadToFavoriteSheet() override;

    UploadToFavoriteFlow& flow() const { return *m_flow; }
    QList<QAbstractButton*> favoriteRows() const;

public Q_SLOTS:
    void reject() override;

Q_SIGNALS:
    void dismissed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void rebuildRows();
    void render();

    UploadJob& m_job;
    WidgetPrompter* m_prompter;
    UploadToFavoriteFlow* m_flow;
    QLabel* m_error = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_rowsHost = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    QWidget* m_progressArea = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_progressLine = nullptr;
    QPushButton* m_upload = nullptr;
    // Set while the presenter closes the sheet, which is no "Cancel".
    bool m_closingQuietly = false;
};
