#include "FolderChanges.h"

#include "AppNotifications.h"
#include "FolderBrowser.h"
#include "Prompter.h"
#include "RemoteTaskPool.h"
#include "model/RemotePath.h"
#include "model/TextEquality.h"
#include "model/TypedText.h"

#include <algorithm>

namespace {

bool holdsControlCharacter(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// The path of a sibling of the entry: its folder's path (absolute, or empty for the root's relative
// entries) followed by the new name.
QString siblingPath(const QString& entryPath, const QString& name) {
    QString path = entryPath;
    while (path.endsWith(u'/'))
        path.chop(1);
    return path.left(path.lastIndexOf(u'/') + 1) + name;
}

} // namespace

TypedEntryName typedEntryName(const QString& typed, const servertext::Encoding& encoding) {
    const QString name = typedtext::trimmed(typed);
    if (name.isEmpty())
        return {std::nullopt, QStringLiteral("a name cannot be empty.")};
    if (name == u"." || name == u"..")
        return {std::nullopt, QStringLiteral("\u201c%1\u201d is not a name of its own.").arg(name)};
    if (name.contains(u'/') || name.contains(u'\\'))
        return {std::nullopt, QStringLiteral("a name cannot contain \u201c/\u201d or \u201c\\\u201d.")};
    if (holdsControlCharacter(name))
        return {std::nullopt,
                QStringLiteral("a name cannot contain line breaks or other control characters.")};
    std::optional<QString> server = servertext::fromUserText(name, encoding);
    if (!server)
        return {std::nullopt,
                QStringLiteral("\u201c%1\u201d cannot be written in the server's text encoding (%2).")
                    .arg(name, servertext::encodingLabel(encoding))};
    return {std::move(server), {}};
}

DeleteFlow::DeleteFlow(SessionContext& context, FolderBrowser& browser, Prompter& prompter, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_browser(browser)
    , m_prompter(prompter) {}

void DeleteFlow::requestDelete(const QList<RemoteFile>& entries) {
    const bool refused = std::any_of(entries.cbegin(), entries.cend(),
                                     [](const RemoteFile& entry) { return entry.isAmbiguous; });
    if (entries.isEmpty() || refused || !m_browser.connection())
        return;
    QStringList names;
    qsizetype folders = 0;
    for (const RemoteFile& entry : entries) {
        names << servertext::forDisplay(entry.name, m_browser.connection()->textEncoding);
        folders += entry.isDirectory ? 1 : 0;
    }
    m_prompter.ask(questions::deleteEntries(names, folders),
                   [self = QPointer<DeleteFlow>(this), entries](int choice) {
                       if (self && choice == questions::deleteIt)
                           self->perform(entries);
                   });
}

void DeleteFlow::perform(const QList<RemoteFile>& entries) {
    if (!m_browser.connection())
        return;
    const Connection connection = *m_browser.connection();
    ++m_running;
    Q_EMIT deletingChanged();
    m_browser.dismissError();
    struct Outcome {
        qsizetype deleted = 0;
        std::optional<QString> error;
    };
    m_context.pool.run(
        this, RemoteTaskPool::Kind::changesServer, nullptr,
        [client = m_context.pool.client(connection), entries] {
            Outcome outcome;
            try {
                for (const RemoteFile& entry : entries) {
                    if (entry.isDirectory)
                        client.deleteDirectory(entry.path);
                    else
                        client.deleteFile(entry.path);
                    ++outcome.deleted;
                }
            } catch (...) {
                outcome.error = RemoteTaskPool::describeFailure(std::current_exception());
            }
            return outcome;
        },
        [this, id = connection.id, total = entries.size(),
         folder = remotepath::parentFolder(entries.first().path)](const Outcome& outcome) {
            --m_running;
            Q_EMIT deletingChanged();
            // The list follows whatever is gone, even when a later entry was refused.
            if (outcome.deleted > 0)
                Q_EMIT m_context.notifications.folderChanged(id, folder);
            if (outcome.error && outcome.deleted > 0)
                m_browser.showError(*outcome.error +
                                    QStringLiteral(" %1 of the %2 items were deleted before that.")
                                        .arg(outcome.deleted)
                                        .arg(total));
            else if (outcome.error)
                m_browser.showError(*outcome.error);
        },
        [this](const QString& error) {
            --m_running;
            Q_EMIT deletingChanged();
            m_browser.showError(error);
        });
}

RenameFlow::RenameFlow(SessionContext& context, FolderBrowser& browser, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_browser(browser) {}

void RenameFlow::rename(const RemoteFile& entry, const QString& typed) {
    if (!m_browser.connection() || entry.isAmbiguous)
        return;
    const Connection connection = *m_browser.connection();
    const QString shown = servertext::forDisplay(entry.name, connection.textEncoding);
    if (typed == shown)
        return;
    const QString refused = QStringLiteral("Could not rename \u201c%1\u201d: ").arg(shown);
    const TypedEntryName newName = typedEntryName(typed, connection.textEncoding);
    if (!newName.name) {
        m_browser.showError(refused + newName.problem);
        return;
    }
    if (*newName.name == entry.name)
        return;
    const QString folder = remotepath::parentFolder(entry.path);
    const QList<RemoteFile>& listed = m_browser.files();
    const bool taken = remotepath::sameFolder(folder, m_browser.currentPath()) &&
                       std::any_of(listed.cbegin(), listed.cend(), [&](const RemoteFile& other) {
                           return other.id != entry.id && sameText(other.name, *newName.name);
                       });
    if (taken) {
        m_browser.showError(refused +
                            QStringLiteral("\u201c%1\u201d already exists in this folder.")
                                .arg(servertext::forDisplay(*newName.name, connection.textEncoding)));
        return;
    }
    ++m_running;
    Q_EMIT renamingChanged();
    m_browser.dismissError();
    const auto ended = [this] {
        --m_running;
        Q_EMIT renamingChanged();
    };
    m_context.pool.run(
        this, RemoteTaskPool::Kind::changesServer, nullptr,
        [client = m_context.pool.client(connection), from = entry.path,
         to = siblingPath(entry.path, *newName.name)] { client.rename(from, to); },
        [this, ended, id = connection.id, folder] {
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
