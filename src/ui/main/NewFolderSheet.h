#pragma once

#include <QDialog>

class BrowserState;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The small sheet that names a new folder. It shows the state's name, busy sign and enabling rule, and
// forwards typing, "Create" and "Cancel"; the state decides when it closes.
// Object names: "newFolderSheet", "newFolderName", "newFolderProgress", "newFolderCancel", "newFolderCreate".
class NewFolderSheet : public QDialog {
    Q_OBJECT

public:
    NewFolderSheet(BrowserState& state, QWidget* parent);

    void sync();

protected:
    void reject() override;

private:
    BrowserState& m_state;
    QLineEdit* m_name;
    QProgressBar* m_progress;
    QPushButton* m_create;
};
