#pragma once

#include "ftp/CurlRunner.h"
#include "model/Connection.h"
#include "model/Favorite.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class FavoritesManager;

// What the upload-to-favorite sheet shows and does, without a widget: pick a favorite, list its folder once
// to count the files that already exist, ask once, then upload the files one after another into the
// favorite's folder. The sheet renders this state on every changed() and forwards clicks to it.
//
// Lifetime: a transfer is never stopped by closing its sheet, and when it has uploaded every file it still
// runs onDismiss (the presenter ignores a dismissal from a presentation it has already replaced). So the
// sheet does not own its flow: it parents the flow to the presenting window and calls release() when it
// goes away. A released flow deletes itself as soon as no listing or transfer of it is running any more;
// if the window itself goes first, the flow goes with it and late results are dropped, so onDismiss never
// reaches a presenter that no longer exists.
class UploadToFavoriteFlow : public QObject {
    Q_OBJECT

public:
    UploadToFavoriteFlow(QList<QUrl> fileURLs, FavoritesManager& favoritesManager,
                         std::function<void()> onDismiss, QString curlPath = defaultCurlPath(),
                         QObject* parent = nullptr);

    static QString fileCountText(qsizetype fileCount);
    static QString overwriteMessage(qint64 conflictCount);

    const QList<QUrl>& fileURLs() const { return m_fileURLs; }
    FavoritesManager& favoritesManager() const { return m_favoritesManager; }

    const std::optional<Favorite>& selectedFavorite() const { return m_selectedFavorite; }
    bool isUploading() const { return m_isUploading; }
    const std::optional<QString>& uploadProgress() const { return m_uploadProgress; }
    double uploadProgressValue() const { return m_uploadProgressValue; }
    double uploadProgressTotal() const { return m_uploadProgressTotal; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool showOverwriteAlert() const { return m_showOverwriteAlert; }
    qint64 overwriteConflictCount() const { return m_overwriteConflictCount; }
    const std::optional<Favorite>& pendingUploadFav() const { return m_pendingUploadFav; }
    const std::optional<Connection>& pendingUploadConn() const { return m_pendingUploadConn; }

    // The favorites that get a row: those whose connection still exists, in the store's order.
    QList<Favorite> listedFavorites() const;
    bool isSelected(const Favorite& favorite) const;
    // "Upload" is offered once something is selected and no transfer of this flow runs.
    bool canUpload() const { return m_selectedFavorite && !m_isUploading; }
    // The progress area is shown while a transfer runs or a progress line is present.
    bool showsProgress() const { return m_isUploading || m_uploadProgress; }

    void selectFavorite(const Favorite& favorite);
    // "Upload": clears the error, lists the favorite's folder and either asks about the files that exist
    // there or starts the transfer. Does nothing at all when the favorite's connection is gone.
    void upload();
    void confirmOverwrite();
    void cancelOverwrite();
    void answerOverwrite(bool overwrite) { overwrite ? confirmOverwrite() : cancelOverwrite(); }
    // "Cancel": runs onDismiss. A running transfer goes on.
    void cancel();

    // Listings and transfers of this flow still running.
    int runningTasks() const { return m_runningTasks; }
    // The sheet that showed this flow is gone: delete the flow once nothing of it runs any more.
    void release();

Q_SIGNALS:
    // Any of the view state above changed.
    void changed();
    // onDismiss was just run (by "Cancel" or by a transfer that uploaded every file).
    void dismissed();

private:
    void transfer(const Favorite& favorite, const Connection& connection);
    void dismiss();
    void taskStarted() { ++m_runningTasks; }
    void taskEnded();

    const QList<QUrl> m_fileURLs;
    FavoritesManager& m_favoritesManager;
    const std::function<void()> m_onDismiss;
    const QString m_curlPath;

    std::optional<Favorite> m_selectedFavorite;
    bool m_isUploading = false;
    std::optional<QString> m_uploadProgress;
    double m_uploadProgressValue = 0;
    double m_uploadProgressTotal = 1.0;
    std::optional<QString> m_errorMessage;
    bool m_showOverwriteAlert = false;
    qint64 m_overwriteConflictCount = 0;
    std::optional<Favorite> m_pendingUploadFav;
    std::optional<Connection> m_pendingUploadConn;

    int m_runningTasks = 0;
    bool m_released = false;
};
