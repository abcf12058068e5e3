#pragma once

#include "model/Connection.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QUrl>
#include <QVariant>

#include <optional>

Q_DECLARE_METATYPE(Connection)

// The three application-wide notifications that reach every open main window without anyone holding a
// reference to one. Signals are always emitted on the GUI thread; a notification with no window listening
// is lost (handed-in files survive in the pending-upload slot instead).
class AppNotifications : public QObject {
    Q_OBJECT

public:
    static constexpr QLatin1StringView newConnectionName{"KalvorNewConnection"};
    static constexpr QLatin1StringView editConnectionName{"KalvorEditConnection"};
    static constexpr QLatin1StringView uploadFilesName{"KalvorUploadFiles"};

    // Lives for the whole process, on the GUI thread whichever thread asks first.
    static AppNotifications& instance();

    // Safe from any thread: the signal is queued to the GUI thread when posted from another.
    static void postNewConnection();
    static void postEditConnection(const Connection& connection);
    static void postEditConnection(const QVariant& object);
    static void postUploadFiles(const QList<QUrl>& urls);
    static void postUploadFiles(const QVariant& object);
    // Posts by notification name; false (and nothing posted) for a name that is none of the three.
    static bool post(QStringView name, const QVariant& object = {});

    // What a receiver acts on: the Connection an edit notification carries, the non-empty URL list an
    // upload notification carries; none for any other object.
    static std::optional<Connection> connectionIn(const QVariant& object);
    static std::optional<QList<QUrl>> urlsIn(const QVariant& object);

Q_SIGNALS:
    // KalvorNewConnection: show the form for a new connection.
    void newConnection();
    // KalvorEditConnection: show the form for the Connection in object; anything else is ignored.
    void editConnection(const QVariant& object);
    // KalvorUploadFiles: offer the non-empty QList<QUrl> in object for upload; anything else is ignored.
    void uploadFiles(const QVariant& object);

private:
    AppNotifications() = default;
};
