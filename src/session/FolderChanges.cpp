#include "FolderChanges.h"

#include "AppNotifications.h"
#include "FolderBrowser.h"
#include "Prompter.h"
#include "RemoteTaskPool.h"
#include "model/RemotePath.h"
#include "model/TypedText.h"

DeleteFlow::DeleteFlow(SessionContext& context, FolderBrowser& browser, Prompter& prompter, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_browser(browser)
    , m_prompter(prompter) {}

void DeleteFlow::requestDelete(const RemoteFile& entry) {
    m_prompter.ask(questions::deleteEntry(entry.name, entry.isDirectory),
                   [self = QPointer<DeleteFlow>(this), entry](int choice) {
                       if (self && choice == questions::deleteIt)
                           self->perform(entry);
                   });
}

void DeleteFlow::perform(const RemoteFile& entry) {
    if (!m_browser.connection())
        return;
    const Connection connection = *m_browser.connection();
    ++m_running;
    Q_EMIT deletingChanged();
    m_browser.dismissError();
    const auto ended = [this] {
        --m_running;
        Q_EMIT deletingChanged();
    };
    m_context.pool.run(
        this, RemoteTaskPool::Kind::changesServer, nullptr,
        [client = m_context.pool.client(connection), entry] {
            if (entry.isDirectory)
                client.deleteDirectory(entry.path);
            else
                client.deleteFile(entry.path);
        },
        [this, ended, id = connection.id, folder = remotepath::parentFolder(entry.path)] {
            ended();
            Q_EMIT m_context.notifications.folderChanged(id, folder);
        },
        [this, ended](const QString& error) {
            ended();
            m_browser.showError(error);
        });
}

NewFolderFlow::NewFolderFlow(SessionContext& context, FolderBrowser& browser, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_browser(browser) {}

bool NewFolderFlow::canCreate() const {
    return !m_creating && !typedtext::trimmed(m_name).isEmpty();
}

void NewFolderFlow::openSheet() {
    m_name.clear();
    m_errorMessage.reset();
    m_sheetShown = true;
    Q_EMIT changed();
}

void NewFolderFlow::setName(const QString& name) {
    m_name = name;
    m_errorMessage.reset();
    Q_EMIT changed();
}

void NewFolderFlow::cancel() {
    m_sheetShown = false;
    Q_EMIT changed();
}

void NewFolderFlow::create() {
    if (!canCreate() || !m_browser.connection())
        return;
    const Connection connection = *m_browser.connection();
    const QString folder = remotepath::withTrailingSlash(m_browser.currentPath());
    m_creating = true;
    m_errorMessage.reset();
    Q_EMIT changed();
    m_context.pool.run(
        this, RemoteTaskPool::Kind::reads, nullptr,
        [client = m_context.pool.client(connection), path = folder + typedtext::trimmed(m_name)] {
            client.createDirectory(path);
        },
        [this, id = connection.id, folder] {
            m_creating = false;
            m_sheetShown = false;
            m_name.clear();
            Q_EMIT changed();
            Q_EMIT m_context.notifications.folderChanged(id, folder);
        },
        [this](const QString& error) {
            m_creating = false;
            // Shown in the sheet, where the name can be changed; the window's banner would be behind it. A
            // sheet closed meanwhile leaves it to the banner.
            if (m_sheetShown)
                m_errorMessage = error;
            else
                m_browser.showError(error);
            Q_EMIT changed();
        });
}
