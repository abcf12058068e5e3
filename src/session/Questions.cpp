#include "Prompter.h"

#include <QStringList>

int Question::cancelChoice() const {
    for (qsizetype i = 0; i < choices.size(); ++i) {
        if (choices.at(i).role == Role::cancel)
            return int(i);
    }
    return -1;
}

namespace questions {

Question overwrite(const QStringList& existingNames) {
    const QString message =
        existingNames.size() == 1
            ? QStringLiteral("%1 already exists on the server. Overwrite it?").arg(existingNames.first())
            : QStringLiteral("%1 files already exist on the server. Overwrite them?")
                  .arg(existingNames.size());
    return {QStringLiteral("Overwrite"),
            message,
            {{QStringLiteral("Overwrite"), Question::Role::accept},
             {QStringLiteral("Skip existing"), Question::Role::accept},
             {QStringLiteral("Cancel"), Question::Role::cancel}}};
}

Question deleteEntries(const QStringList& names, qsizetype folderCount) {
    QString title;
    QString message;
    if (names.size() == 1) {
        title = QStringLiteral("Delete \u201c%1\u201d?").arg(names.first());
        message = folderCount ? QStringLiteral("The folder and all its contents will be deleted.")
                              : QStringLiteral("This file will be permanently deleted.");
    } else {
        title = QStringLiteral("Delete %1 items?").arg(names.size());
        message = folderCount
                      ? QStringLiteral("They will be permanently deleted, folders with all their contents.")
                      : QStringLiteral("They will be permanently deleted.");
    }
    // The name is in the title: a long one would stretch the button across the screen.
    return {title,
            message,
            {{QStringLiteral("Delete"), Question::Role::destructive},
             {QStringLiteral("Cancel"), Question::Role::cancel}}};
}

Question deleteConnection(const QString& displayName, qsizetype favoriteCount) {
    QString message = QStringLiteral("Nothing on the server is deleted.");
    if (favoriteCount == 1)
        message.prepend(QStringLiteral("Its favorite folder is deleted with it. "));
    else if (favoriteCount > 1)
        message.prepend(QStringLiteral("Its %1 favorite folders are deleted with it. ").arg(favoriteCount));
    return {QStringLiteral("Delete the connection \u201c%1\u201d?").arg(displayName),
            message,
            {{QStringLiteral("Delete"), Question::Role::destructive},
             {QStringLiteral("Cancel"), Question::Role::cancel}}};
}

Question quitWhileBusy() {
    return {QStringLiteral("Quit while work is running?"),
            QStringLiteral("An upload or a delete is still running. Quitting stops it before it is done."),
            {{QStringLiteral("Quit"), Question::Role::destructive},
             {QStringLiteral("Cancel"), Question::Role::cancel}}};
}

} // namespace questions
