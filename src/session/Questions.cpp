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

Question overwrite(const QStringList& existingNames, const QString& where) {
    const QString message =
        existingNames.size() == 1
            ? QStringLiteral("%1 already exists %2. Overwrite it?").arg(existingNames.first(), where)
            : QStringLiteral("%1 files already exist %2. Overwrite them?")
                  .arg(existingNames.size())
                  .arg(where);
    return {QStringLiteral("Overwrite"),
            message,
            {{QStringLiteral("Overwrite"), Question::Role::accept},
             {QStringLiteral("Skip existing"), Question::Role::accept},
             {QStringLiteral("Cancel"), Question::Role::cancel}}};
}

Question deleteEntries(const QStringList& names, qsizetype folderCount) {
    // The name goes in the message: on the button a long one made the button as wide as the screen.
    QString message;
    if (names.size() == 1)
        message = folderCount
                      ? QStringLiteral("The folder \u201c%1\u201d and all its contents will be deleted.")
                            .arg(names.first())
                      : QStringLiteral("\u201c%1\u201d will be permanently deleted.").arg(names.first());
    else
        message =
            folderCount
                ? QStringLiteral("The %1 selected items will be permanently deleted, folders with all "
                                 "their contents.")
                      .arg(names.size())
                : QStringLiteral("The %1 selected items will be permanently deleted.").arg(names.size());
    return {QStringLiteral("Are you sure you want to delete?"),
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
