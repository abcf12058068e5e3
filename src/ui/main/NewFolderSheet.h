#pragma once

#include <QDialog>

class NewFolderFlow;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The small sheet that names a new folder. It shows the flow's name, busy sign and enabling rule, and
// forwards typing, "Create" and "Cancel"; the flow decides when it closes.
// Object names: "newFolderSheet", "newFolderName", "newFolderProgress", "newFolderCancel", "newFolderCreate".
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
    QProgressBar* m_progress;
    QPushButton* m_create;
};
