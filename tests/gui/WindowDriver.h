#pragma once

// What a user does with the window's dialogs, for the GUI tests.

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>

namespace windowdriver {

// Clicks the button of that text in the question box open over parent (or one of its sheets), once it is
// there, and waits for the box to go. message receives the box's message.
inline bool answerQuestion(QWidget* parent, const QString& button, QString* message = nullptr) {
    const QPointer<QWidget> alive(parent); // an answer may close the window itself
    const auto box = [&]() -> QMessageBox* {
        return alive ? alive->findChild<QMessageBox*>(QStringLiteral("questionBox")) : nullptr;
    };
    if (!QTest::qWaitFor([&] { return box() != nullptr; }))
        return false;
    if (message)
        *message = box()->informativeText();
    const QList<QAbstractButton*> buttons = box()->buttons();
    for (QAbstractButton* candidate : buttons) {
        if (candidate->text() == button) {
            QTest::mouseClick(candidate, Qt::LeftButton);
            return QTest::qWaitFor([&] { return box() == nullptr; });
        }
    }
    return false;
}

// Chooses the files of that folder in the upload file chooser open over window, once it is there.
inline bool chooseFiles(QWidget* window, const QString& folder, const QStringList& names) {
    QFileDialog* chooser = nullptr;
    if (!QTest::qWaitFor(
            [&] { return (chooser = window->findChild<QFileDialog*>(QStringLiteral("uploadFileChooser"))); }))
        return false;
    chooser->setDirectory(folder);
    chooser->selectFile(u'"' + names.join(QStringLiteral("\" \"")) + u'"');
    QMetaObject::invokeMethod(chooser, &QDialog::accept);
    return true;
}

// Chooses that folder in the download folder chooser open over window, once it is there.
inline bool chooseFolder(QWidget* window, const QString& folder) {
    QFileDialog* chooser = nullptr;
    if (!QTest::qWaitFor([&] {
            return (chooser = window->findChild<QFileDialog*>(QStringLiteral("downloadFolderChooser")));
        }))
        return false;
    chooser->setDirectory(folder);
    QMetaObject::invokeMethod(chooser, &QDialog::accept);
    return true;
}

} // namespace windowdriver
