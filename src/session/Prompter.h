#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <utility>

struct CertificateRefusal;

// One question to the user with the choices offered, in the order shown. Exactly one choice has the cancel
// role; it is the answer whenever the question is closed without a choice.
struct Question {
    enum class Role { accept, destructive, cancel };
    struct Choice {
        QString label;
        Role role = Role::accept;
    };

    QString title;
    QString message;
    QList<Choice> choices;
    // Details shown under the message as label and value (a certificate's subject, its fingerprint, ...).
    // The values may come from a server: they are shown as plain text.
    QList<std::pair<QString, QString>> facts = {};

    int cancelChoice() const;
};

// The one way the flows ask the user anything. Windows answer with dialogs, tests from a script. Answers come
// later, through the callback, never from a nested event loop; an asker that is gone by then ignores its
// answer (askers guard their callbacks).
class Prompter : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The local files to upload, in the order chosen; an empty list when the user chose none.
    virtual void chooseLocalFiles(std::function<void(const QList<QUrl>&)> answer) = 0;
    // A local folder to download into; an empty text when the user chose none.
    virtual void chooseLocalFolder(std::function<void(const QString&)> answer) = 0;
    // The index of the choice taken.
    virtual void ask(const Question& question, std::function<void(int choice)> answer) = 0;
};

// The questions Kalvor asks; each enum gives the index of a choice in its question.
namespace questions {

enum OverwriteChoice { overwriteAll, skipExisting, cancelTransfer };
// existingNames: the files that already exist where they would go, one per file; where says where that is
// ("on the server", "in ~/Downloads").
Question overwrite(const QStringList& existingNames, const QString& where);

enum DeleteChoice { deleteIt, keepIt };
// names: as the user reads them, one per entry; folderCount: how many of them are folders.
Question deleteEntries(const QStringList& names, qsizetype folderCount);
Question deleteConnection(const QString& displayName, qsizetype favoriteCount);

enum QuitChoice { quitAnyway, keepRunning };
Question quitWhileBusy();

// A certificate not yet trusted ("Trust this certificate") or, when the server's key changed since it was
// trusted, a warning whose accepting choice ("Replace the trusted certificate") is never the default.
enum CertificateChoice { trustCertificate, refuseCertificate };
Question certificate(const CertificateRefusal& refusal);

} // namespace questions
