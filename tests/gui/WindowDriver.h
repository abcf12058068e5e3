#pragma once

// What a user does with the window and its dialogs, and what they see of it, for the GUI tests.

#include "SessionHarness.h"
#include "TestFtpServer.h"
#include "ui/main/ContentView.h"
#include "ui/main/ErrorBanner.h"
#include "ui/panels/FavoritesSidebarView.h"
#include "ui/panels/FileListModel.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/Icons.h"

#include <QAbstractButton>
#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace windowdriver {

// Clicks the button of that text in the question box open over parent (or one of its sheets), once it is
// there, and waits for the box to go. message receives the box's message.
inline bool answerQuestion(QWidget* parent, const QString& button, QString* message = nullptr) {
    const QPointer<QWidget> alive(parent); // an answer may close the window itself
    const auto box = [&]() -> QMessageBox* {
        return alive ? alive->findChild<QMessageBox*>(u"questionBox"_s) : nullptr;
    };
    if (!QTest::qWaitFor([&] { return box() && box()->isVisible(); }))
        return false;
    if (message)
        *message = box()->informativeText();
    for (QAbstractButton* candidate : box()->buttons()) {
        if (candidate->text() == button) {
            QTest::mouseClick(candidate, Qt::LeftButton);
            return QTest::qWaitFor([&] { return box() == nullptr; });
        }
    }
    return false;
}

// Accepts the chooser open over window ("uploadFileChooser" or "downloadFolderChooser"), once it is there,
// in that folder and with those files chosen.
inline bool choose(QWidget* window, const QString& chooserName, const QString& folder,
                   const QStringList& names = {}) {
    QFileDialog* chooser = nullptr;
    if (!QTest::qWaitFor(
            [&] { return (chooser = window->findChild<QFileDialog*>(chooserName)) && chooser->isVisible(); }))
        return false;
    chooser->setDirectory(folder);
    if (!names.isEmpty())
        chooser->selectFile(u'"' + names.join(u"\" \""_s) + u'"');
    QMetaObject::invokeMethod(chooser, &QDialog::accept);
    return true;
}

} // namespace windowdriver

// A test case over one shown window and the harness behind it, with the user's gestures and looks.
class WindowTestCase : public QObject {
protected:
    std::unique_ptr<SessionHarness> m_h;
    std::unique_ptr<ContentView> m_window;

    void showWindow(std::unique_ptr<DefaultsStore> store = std::make_unique<MemoryDefaultsStore>()) {
        m_h = std::make_unique<SessionHarness>(std::move(store));
        m_window = std::make_unique<ContentView>(m_h->context);
        m_window->resize(900, 600);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void closeWindow() {
        m_window.reset();
        m_h.reset();
    }

    template <typename T> T* child(const QString& name) const { return m_window->findChild<T*>(name); }
    QAction* action(const QString& name) const { return child<QAction>(name); }
    BrowserState& state() const { return m_window->state(); }
    ErrorBanner* banner() const { return child<ErrorBanner>(u"errorBanner"_s); }
    FileListView* fileList() const { return child<FileListView>(u"fileList"_s); }
    QListWidget* sidebar() const { return child<QListWidget>(u"sidebarList"_s); }
    QString page() const { return child<QStackedWidget>(u"detail"_s)->currentWidget()->objectName(); }
    QStringList shownNames() const { return entryNames(fileList()->files()); }
    const RemoteFile* shown(const QString& name) const { return findEntry(fileList()->files(), name); }
    QString error() const { return state().browser().errorMessage().value_or(u"<none>"_s); }

    // The browser's error, shown verbatim in the window's banner.
    bool errorShown() const {
        const std::optional<QString>& message = state().browser().errorMessage();
        return message && !message->isEmpty() && banner()->isVisible() && banner()->message() == *message;
    }

    int fileRow(const QString& name) const {
        const FileListModel* model = fileList()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (const RemoteFile* file = model->fileAt(row); file && file->name == name)
                return row;
        }
        return -1;
    }

    // The entry's context menu, as a right click would show it.
    std::unique_ptr<QMenu> menuFor(const QString& name) const {
        const int row = fileRow(name);
        return row < 0 ? nullptr : fileList()->contextMenuFor(fileList()->model()->index(row, 0));
    }

    // A double click on the entry's row, as the user would open it.
    void openEntry(const QString& name) {
        const int row = fileRow(name);
        QVERIFY2(row >= 0, qPrintable(name));
        QListView* view = fileList()->listView();
        const QModelIndex index = view->model()->index(row, 0);
        view->scrollTo(index);
        QTRY_VERIFY(view->visualRect(index).isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }

    // Asks to delete the listed entry from its menu and confirms with the destructive button.
    bool confirmDeleteOf(const QString& name) {
        const std::unique_ptr<QMenu> menu = menuFor(name);
        if (!menu)
            return false;
        menu->findChild<QAction*>(u"deleteAction"_s)->trigger();
        return windowdriver::answerQuestion(m_window.get(), u"Delete"_s);
    }

    // Clicks the sidebar's row of that kind (and id).
    void clickSidebar(FavoritesSidebarView::RowKind kind, const QUuid& id = QUuid()) {
        for (int row = 0; row < sidebar()->count(); ++row) {
            const QListWidgetItem* item = sidebar()->item(row);
            if (item->data(FavoritesSidebarView::rowKindRole).toInt() == int(kind) &&
                (id.isNull() || item->data(FavoritesSidebarView::idRole).value<QUuid>() == id))
                return QTest::mouseClick(sidebar()->viewport(), Qt::LeftButton, {},
                                         sidebar()->visualItemRect(item).center());
        }
        QFAIL("no such row in the sidebar");
    }

    bool sidebarShows(const QString& text) const {
        return !sidebar()->findItems(text, Qt::MatchExactly).isEmpty();
    }

    // Saves the server's connection and opens it through the sidebar, as the user would.
    Connection addAndOpen(const TestFtpServer& server) {
        const Connection connection = server.connection(); // a fresh id on every call
        m_h->store.addConnection(connection);
        clickSidebar(FavoritesSidebarView::RowKind::Connection, connection.id);
        return connection;
    }

    // Adds a connection the way the user does: Add Server, type, Save.
    void addConnectionThroughForm(const QString& name, const QString& host) {
        clickSidebar(FavoritesSidebarView::RowKind::AddServer);
        QCOMPARE(page(), u"formPage"_s);
        QTest::keyClicks(child<QLineEdit>(u"nameField"_s), name);
        QTest::keyClicks(child<QLineEdit>(u"hostField"_s), host);
        QTest::mouseClick(child<QPushButton>(u"saveButton"_s), Qt::LeftButton);
        QVERIFY(page() != u"formPage"_s);
        QVERIFY(sidebarShows(name));
    }
};
