#pragma once

#include "model/Connection.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The form in which one saved server is created or edited. It edits a Connection that its owner lends it:
// the owner passes the record in with setConnection, and every edit hands the whole updated record back
// through connectionEdited at once, so the owner's copy is always what the form shows. The owner decides
// whether the record can be saved (setSaveEnabled); text in the port field that is no number is port 0.
//
// Return saves and Escape cancels from any field, also when the form sits in a main window rather than a
// dialog.
//
// The security choice carries the port with it while the port is still the previous choice's usual one
// (21, or 990 for implicit TLS): a port the user typed stays.
//
// Object names (for tests): "nameField", "hostField", "portField", "securityChoice", "encodingChoice",
// "usernameField", "passwordField", "passwordNote", "saveButton", "cancelButton", "divider", "buttonBar";
// section headers "generalHeader", "serverHeader", "authenticationHeader"; footers "generalFooter",
// "serverFooter"; row labels "serverLabel", "portLabel".
class ConnectionFormView : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionFormView(QWidget* parent = nullptr);

    // Shows the record's values. Fires no edit. Text the user is typing into a field is left alone when
    // the record still agrees with it, so an owner that writes every edit back does not move the cursor.
    void setConnection(const Connection& connection);
    const Connection& connection() const { return m_connection; }

    // Save (the button and Return) is offered only while enabled.
    void setSaveEnabled(bool enabled);
    // Where the password goes on save (keyring or clear text); hidden when empty.
    void setPasswordNote(const QString& note);
    void focusFirstField();

Q_SIGNALS:
    // The whole updated record, after every edit.
    void connectionEdited(const Connection& connection);
    void saveRequested();
    void cancelRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyProminentStyle();
    void edit(const std::function<void(Connection&)>& change);
    void portTextEdited(const QString& text);
    void securityChosen(int index);
    void showEncoding();
    void showPort();
    void save();
    void cancel();

    Connection m_connection;

    QLineEdit* m_nameField = nullptr;
    QLineEdit* m_hostField = nullptr;
    QLineEdit* m_portField = nullptr;
    QComboBox* m_securityChoice = nullptr;
    QComboBox* m_encodingChoice = nullptr;
    QLineEdit* m_usernameField = nullptr;
    QLineEdit* m_passwordField = nullptr;
    QLabel* m_passwordNote = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};
