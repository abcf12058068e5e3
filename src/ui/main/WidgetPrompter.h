#pragma once

#include "session/Prompter.h"

#include <QPointer>

class QMessageBox;
class QWidget;

// Opens the question window-modal over parent: one button per choice, in order, with the choice's role (the
// cancel choice is also Escape and the window's close button). answer gets the index of the choice taken.
// Every question box of the program is built here.
// Object names: "questionBox", its buttons "questionChoice0", "questionChoice1", ...
QMessageBox* openQuestionBox(QWidget* parent, const Question& question, std::function<void(int)> answer);

// Answers the flows' questions with dialogs that are modal to one window (or sheet).
// Object names: the file chooser "uploadFileChooser", the folder chooser "downloadFolderChooser"; question
// boxes as above.
class WidgetPrompter : public Prompter {
    Q_OBJECT

public:
    explicit WidgetPrompter(QWidget* window);

    void chooseLocalFiles(std::function<void(const QList<QUrl>&)> answer) override;
    void chooseLocalFolder(std::function<void(const QString&)> answer) override;
    void ask(const Question& question, std::function<void(int choice)> answer) override;

private:
    QPointer<QWidget> m_window;
};
