#include "WidgetPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QStandardPaths>

#include <algorithm>

namespace {

QMessageBox::ButtonRole buttonRole(Question::Role role) {
    switch (role) {
    case Question::Role::destructive:
        return QMessageBox::DestructiveRole;
    case Question::Role::cancel:
        return QMessageBox::RejectRole;
    case Question::Role::accept:
        break;
    }
    return QMessageBox::AcceptRole;
}

// The message, then each fact on a line of its own; a value of several lines is indented beneath its label.
QString withFacts(const Question& question) {
    QString text = question.message;
    if (!question.facts.isEmpty())
        text += u'\n';
    for (const auto& [label, value] : question.facts) {
        text += u'\n' + label + u':';
        text += value.contains(u'\n')
                    ? QStringLiteral("\n    ") + QString(value).replace(u'\n', QStringLiteral("\n    "))
                    : u' ' + value;
    }
    return text;
}

} // namespace

QMessageBox* openQuestionBox(QWidget* parent, const Question& question, std::function<void(int)> answer) {
    auto* box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("questionBox"));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    const bool destructive = std::any_of(question.choices.cbegin(), question.choices.cend(),
                                         [](const auto& c) { return c.role == Question::Role::destructive; });
    box->setIcon(destructive ? QMessageBox::Warning : QMessageBox::Question);
    box->setWindowTitle(question.title);
    box->setText(question.title);
    box->setInformativeText(withFacts(question));
    // Qt would take text that looks like markup for rich text; names and certificate fields come from
    // servers.
    if (auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    box->setTextFormat(Qt::PlainText); // names are shown as they are, whatever they hold
    QList<QPushButton*> buttons;
    for (qsizetype i = 0; i < question.choices.size(); ++i) {
        const Question::Choice& choice = question.choices.at(i);
        QPushButton* button = box->addButton(choice.label, buttonRole(choice.role));
        button->setObjectName(QStringLiteral("questionChoice%1").arg(i));
        buttons.append(button);
        if (choice.role == Question::Role::cancel) {
            box->setEscapeButton(button);
            // A destructive question must not be answered by a stray Return.
            if (destructive)
                box->setDefaultButton(button);
        }
    }
    // A message box sizes itself to its text, and a short text left the title bar too narrow for the title
    // (cut to "Overw… alvor"): keep room for the title as the window manager writes it, with its buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        const QString shownTitle =
            question.title + QStringLiteral(" \u2014 ") + QApplication::applicationDisplayName();
        const int width = std::max(360, box->fontMetrics().horizontalAdvance(shownTitle) + 160);
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                      0, 1, grid->columnCount());
    }
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, buttons, cancel = question.cancelChoice(), answer = std::move(answer)] {
                         const qsizetype taken = buttons.indexOf(box->clickedButton());
                         answer(taken >= 0 ? int(taken) : cancel);
                     });
    box->open();
    return box;
}

WidgetPrompter::WidgetPrompter(QWidget* window)
    : Prompter(window)
    , m_window(window) {}

void WidgetPrompter::chooseLocalFiles(std::function<void(const QList<QUrl>&)> answer) {
    auto* dialog = new QFileDialog(m_window);
    dialog->setObjectName(QStringLiteral("uploadFileChooser"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setOption(QFileDialog::ReadOnly); // no creating folders from here
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog, answer = std::move(answer)](int result) {
                         answer(result == QDialog::Accepted ? dialog->selectedUrls() : QList<QUrl>());
                     });
    dialog->open();
}

void WidgetPrompter::chooseLocalFolder(std::function<void(const QString&)> answer) {
    auto* dialog = new QFileDialog(m_window, QStringLiteral("Download to"));
    dialog->setObjectName(QStringLiteral("downloadFolderChooser"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Download Here"));
    dialog->setDirectory(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(
        dialog, &QFileDialog::finished, dialog, [dialog, answer = std::move(answer)](int result) {
            const QStringList chosen = dialog->selectedFiles();
            answer(result == QDialog::Accepted && !chosen.isEmpty() ? chosen.first() : QString());
        });
    dialog->open();
}

void WidgetPrompter::ask(const Question& question, std::function<void(int choice)> answer) {
    openQuestionBox(m_window, question, std::move(answer));
}
