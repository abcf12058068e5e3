#include "AppNotifications.h"

#include <QCoreApplication>
#include <QThread>

namespace {

// Emits right away on the instance's thread, otherwise queues the emission there, so receivers (windows)
// always run on the GUI thread.
template <typename Emit> void emitOnOwnThread(Emit emitSignal) {
    AppNotifications& self = AppNotifications::instance();
    if (QThread::currentThread() == self.thread())
        emitSignal(self);
    else
        QMetaObject::invokeMethod(
            &self, [emitSignal, &self] { emitSignal(self); }, Qt::QueuedConnection);
}

} // namespace

AppNotifications& AppNotifications::instance() {
    // Never deleted: windows may still disconnect from it while the process winds down.
    static AppNotifications* const self = [] {
        auto* created = new AppNotifications;
        if (QCoreApplication* app = QCoreApplication::instance(); app && created->thread() != app->thread())
            created->moveToThread(app->thread());
        return created;
    }();
    return *self;
}

void AppNotifications::postNewConnection() {
    emitOnOwnThread([](AppNotifications& self) { Q_EMIT self.newConnection(); });
}

void AppNotifications::postEditConnection(const Connection& connection) {
    postEditConnection(QVariant::fromValue(connection));
}

void AppNotifications::postEditConnection(const QVariant& object) {
    emitOnOwnThread([object](AppNotifications& self) { Q_EMIT self.editConnection(object); });
}

void AppNotifications::postUploadFiles(const QList<QUrl>& urls) {
    postUploadFiles(QVariant::fromValue(urls));
}

void AppNotifications::postUploadFiles(const QVariant& object) {
    emitOnOwnThread([object](AppNotifications& self) { Q_EMIT self.uploadFiles(object); });
}

bool AppNotifications::post(QStringView name, const QVariant& object) {
    if (name == newConnectionName)
        postNewConnection();
    else if (name == editConnectionName)
        postEditConnection(object);
    else if (name == uploadFilesName)
        postUploadFiles(object);
    else
        return false;
    return true;
}

std::optional<Connection> AppNotifications::connectionIn(const QVariant& object) {
    // Exact type only: a QVariant that merely converts to something is not a Connection.
    if (object.metaType() != QMetaType::fromType<Connection>())
        return std::nullopt;
    return object.value<Connection>();
}

std::optional<QList<QUrl>> AppNotifications::urlsIn(const QVariant& object) {
    if (object.metaType() != QMetaType::fromType<QList<QUrl>>())
        return std::nullopt;
    QList<QUrl> urls = object.value<QList<QUrl>>();
    if (urls.isEmpty())
        return std::nullopt;
    return urls;
}
