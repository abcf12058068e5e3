#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

// What reaches every main window without anyone holding a reference to one. The application object owns the
// one instance and hands it to each window; everything here is emitted and received on the GUI thread. A
// notice with no window listening is simply lost.
class AppNotifications : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    // The "New connection" command: show the form for a new connection.
    void newConnection();
    // An upload, a new folder or a delete changed this folder of this connection, whichever window or sheet
    // did it; windows showing it list it again.
    void folderChanged(const QUuid& connectionId, const QString& folder);
    // The connection is gone from the store; windows browsing it leave it.
    void connectionDeleted(const QUuid& connectionId);
};
