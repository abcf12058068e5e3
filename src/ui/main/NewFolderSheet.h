#pragma once

#include <QDialog>

class NewFolderFlow;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

// The small sheet that names a new folder. It shows the flow's name, busy sign, error and enabling rule, and
// forwards typing, "Create" and "Cancel"; the flow decides when it closes. It keeps one size whatever it
// shows: the busy sign and the error take turns in a place kept for them.
// Object names: "newFolderSheet", "newFolderName", "newFolderProgress", "newFolderError", "newFolderCancel",
// "newFolderCreate".
class NewFolderSheet : public QDialog {
    Q_OBJECT

public:
    NewFolderSheet(NewFolderFlow& flow, QWidget* parent);

    void sync();

protected:
    void reject() override;

private:
    NewFolderFlow& m_flow;
    QLineEdit* m_name;
    QStackedWidget* m_status;
    QProgressBar* m_progress;
    QLabel* m_error;
    QPushButton* m_create;
};
