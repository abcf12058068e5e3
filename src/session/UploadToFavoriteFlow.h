#pragma once

#include "ListedFavorites.h"
#include "model/Favorite.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class FavoritesManager;
class Prompter;
class UploadJob;

// What the upload-to-favorite sheet does, without a widget: pick a favorite whose connection still exists,
// then hand the files to the window's upload job with the favorite's folder as the target. When every file
// is up the flow is dismissed; an error stays shown with the selection, so "Upload" can be pressed again.
class UploadToFavoriteFlow : public QObject {
    Q_OBJECT

public:
    UploadToFavoriteFlow(QList<QUrl> files, FavoritesManager& store, UploadJob& job, Prompter& prompter,
                         QObject* parent = nullptr);

    const QList<QUrl>& files() const { return m_files; }
    const std::optional<Favorite>& selectedFavorite() const { return m_selected; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    // The favorites that get a row: those whose connection still exists, in the store's order.
    QList<ListedFavorite> listedFavorites() const;
    bool isSelected(const Favorite& favorite) const { return m_selected && m_selected->id == favorite.id; }
    bool canUpload() const;

    void select(const Favorite& favorite);
    // Does nothing at all when the selected favorite's connection is gone (its row vanished meanwhile).
    void upload();

Q_SIGNALS:
    void changed();
    // Every file was uploaded (or skipped by the user's choice): the sheet's work is done.
    void dismissed();

private:
    const QList<QUrl> m_files;
    FavoritesManager& m_store;
    UploadJob& m_job;
    QPointer<Prompter> m_prompter;
    std::optional<Favorite> m_selected;
    std::optional<QString> m_errorMessage;
};
