#include "UploadToFavoriteFlow.h"

#include "Prompter.h"
#include "UploadJob.h"
#include "model/FavoritesManager.h"

UploadToFavoriteFlow::UploadToFavoriteFlow(QList<QUrl> files, FavoritesManager& store, UploadJob& job,
                                           Prompter& prompter, QObject* parent)
    : QObject(parent)
    , m_files(std::move(files))
    , m_store(store)
    , m_job(job)
    , m_prompter(&prompter) {
    connect(&job, &UploadJob::busyChanged, this, &UploadToFavoriteFlow::changed);
    connect(&store, &FavoritesManager::favoritesChanged, this, &UploadToFavoriteFlow::changed);
    connect(&store, &FavoritesManager::connectionsChanged, this, &UploadToFavoriteFlow::changed);
}

QList<Favorite> UploadToFavoriteFlow::listedFavorites() const {
    QList<Favorite> listed;
    for (const Favorite& favorite : m_store.favorites()) {
        if (m_store.connectionFor(favorite))
            listed.append(favorite);
    }
    return listed;
}

bool UploadToFavoriteFlow::canUpload() const {
    return m_selected && !m_job.isBusy();
}

void UploadToFavoriteFlow::select(const Favorite& favorite) {
    m_selected = favorite;
    Q_EMIT changed();
}

void UploadToFavoriteFlow::upload() {
    if (!canUpload())
        return;
    const std::optional<Connection> connection = m_store.connectionFor(*m_selected);
    if (!connection)
        return;
    m_errorMessage.reset();
    Q_EMIT changed();
    // Into the folder exactly as the favorite stores it: the operation joins folder and file name itself.
    m_job.start(*connection, m_selected->remotePath, m_files, m_prompter, this,
                [this](const UploadResult& result) {
                    if (result.outcome == UploadResult::Outcome::uploaded) {
                        Q_EMIT dismissed();
                        return;
                    }
                    if (result.outcome == UploadResult::Outcome::failed)
                        m_errorMessage = result.error;
                    Q_EMIT changed();
                });
}
