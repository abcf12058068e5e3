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

QList<ListedFavorite> UploadToFavoriteFlow::listedFavorites() const {
    return ::listedFavorites(m_store);
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
    m_job.start(
        *connection, m_selected->remotePath, m_files, m_prompter, this,
        [this](const TransferResult& result) {
            if (result.outcome == TransferResult::Outcome::done) {
                Q_EMIT dismissed();
                return;
            }
            if (result.outcome == TransferResult::Outcome::failed)
                m_errorMessage = result.error;
            Q_EMIT changed();
        },
        m_selected->name);
}
