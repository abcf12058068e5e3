#include "model/Connection.h"
#include "ui/panels/ConnectionFormView.h"
#include "ui/panels/Icons.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The form as the main window holds it: inside a QMainWindow (no dialog to hand it Return and Escape),
// bound to an owner's copy that every edit replaces and that is handed straight back to the form.
struct Owner {
    QMainWindow window;
    ConnectionFormView* form = new ConnectionFormView;
    Connection connection = Connection::makeNew();
    int edits = 0;
    int saves = 0;
    int cancels = 0;

    explicit Owner(qint64 port = 21) {
        window.setCentralWidget(form);
        form->onConnectionEdited = [this](const Connection& edited) {
            ++edits;
            connection = edited;
            form->setConnection(connection);
        };
        form->onSave = [this] { ++saves; };
        form->onCancel = [this] { ++cancels; };
        connection.port = port;
        form->setConnection(connection);
        window.resize(460, 560);
        window.show();
        window.activateWindow();
    }

    template <typename T = QWidget> T* field(const QString& name) const {
        auto* widget = form->findChild<T*>(name);
        if (!widget)
            qFatal("no widget named %s", qPrintable(name));
        return widget;
    }

    bool focus(QWidget* widget) {
        widget->setFocus(Qt::OtherFocusReason);
        return QTest::qWaitFor([widget] { return widget->hasFocus(); });
    }
};

} // namespace

class ConnectionFormTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(u"en_US"_s));
        setUpIconTheme();
    }

    void textsAndPlaceholders() {
        Owner owner;
        const QList<std::pair<QString, QString>> texts{
            {u"generalHeader"_s, u"General"_s},
            {u"generalFooter"_s, u"e.g. Work server, Backup server"_s},
            {u"serverHeader"_s, u"Server"_s},
            {u"serverLabel"_s, u"Server"_s},
            {u"portLabel"_s, u"Port"_s},
            {u"serverFooter"_s, u"Default port: 21 (FTP), 990 (FTPS)"_s},
            {u"authenticationHeader"_s, u"Authentication"_s}};
        for (const auto& [name, text] : texts)
            QCOMPARE(owner.field<QLabel>(name)->text(), text);
        QCOMPARE(owner.field<QCheckBox>(u"tlsToggle"_s)->text(), u"FTPS (TLS)"_s);
        QCOMPARE(owner.field<QPushButton>(u"saveButton"_s)->text(), u"Save"_s);
        QCOMPARE(owner.field<QPushButton>(u"cancelButton"_s)->text(), u"Cancel"_s);

        const QList<std::pair<QString, QString>> placeholders{{u"nameField"_s, u"Connection name"_s},
                                                              {u"hostField"_s, u"ftp.example.com"_s},
                                                              {u"portField"_s, u"21"_s},
                                                              {u"usernameField"_s, u"Username"_s},
                                                              {u"passwordField"_s, u"Password"_s}};
        for (const auto& [name, placeholder] : placeholders)
            QCOMPARE(owner.field<QLineEdit>(name)->placeholderText(), placeholder);
        QCOMPARE(owner.field<QLineEdit>(u"passwordField"_s)->echoMode(), QLineEdit::Password);
        QCOMPARE(owner.edits, 0);
    }

    void layout() {
        Owner owner;
        QVERIFY(QTest::qWaitForWindowExposed(&owner.window));
        auto* host = owner.field<QLineEdit>(u"hostField"_s);
        auto* port = owner.field<QLineEdit>(u"portField"_s);
        const auto x = [&](QWidget* w, int at = 0) { return w->mapTo(owner.form, QPoint(at, 0)).x(); };
        for (int width : {300, 460, 900}) {
            owner.window.resize(width, 560);
            QTRY_COMPARE(owner.window.width(), width);
            QVERIFY2(host->width() <= 220, qPrintable(QString::number(host->width())));
            QCOMPARE(port->width(), 70);
            // Label at the left, both fields ending at the same right edge.
            QCOMPARE(x(host, host->width()), x(port, port->width()));
            QVERIFY(x(owner.field(u"serverLabel"_s)) < x(host));
        }
        QCOMPARE(host->width(), 220);
        QVERIFY(host->alignment() & Qt::AlignRight);
        QVERIFY(port->alignment() & Qt::AlignRight);

        // Sections, divider, then Cancel at the left and the default Save, accent-filled, at the right.
        auto* save = owner.field<QPushButton>(u"saveButton"_s);
        const auto y = [&](const QString& name) {
            return owner.field(name)->mapTo(owner.form, QPoint()).y();
        };
        QVERIFY(y(u"passwordField"_s) < y(u"divider"_s) && y(u"divider"_s) < y(u"saveButton"_s));
        QVERIFY(x(owner.field(u"cancelButton"_s)) < x(save));
        QVERIFY(save->isDefault());
        QCOMPARE(save->palette().color(QPalette::Button), owner.form->palette().color(QPalette::Highlight));
    }

    void setConnection_showsRecordWithoutEditing() {
        Owner owner;
        const Connection shown{QUuid::createUuid(), u"Wörk"_s, u"ftp.example.org"_s, 2121, u"me"_s,
                               u"s3:cret\""_s,      true};
        owner.form->setConnection(shown);
        QCOMPARE(owner.field<QLineEdit>(u"nameField"_s)->text(), shown.name);
        QCOMPARE(owner.field<QLineEdit>(u"hostField"_s)->text(), shown.host);
        QCOMPARE(owner.field<QLineEdit>(u"portField"_s)->text(), u"2,121"_s);
        QVERIFY(owner.field<QCheckBox>(u"tlsToggle"_s)->isChecked());
        QCOMPARE(owner.field<QLineEdit>(u"usernameField"_s)->text(), shown.username);
        QCOMPARE(owner.field<QLineEdit>(u"passwordField"_s)->text(), shown.password);
        QCOMPARE(owner.edits, 0);
    }

    void textEdit_writesWholeRecord_data() {
        QTest::addColumn<QString>("objectName");
        for (const char* name : {"nameField", "hostField", "usernameField", "passwordField"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void textEdit_writesWholeRecord() {
        QFETCH(QString, objectName);
        Owner owner;
        const Connection start{QUuid::createUuid(), u"n"_s, u"h"_s, 990, u"u"_s, u"p"_s, true};
        owner.connection = start;
        owner.form->setConnection(start);
        auto* field = owner.field<QLineEdit>(objectName);
        QVERIFY(owner.focus(field));
        QTest::keyClicks(field, u"x:"_s);
        QCOMPARE(owner.edits, 2);

        Connection expected = start;
        (objectName == u"nameField"       ? expected.name
         : objectName == u"hostField"     ? expected.host
         : objectName == u"usernameField" ? expected.username
                                          : expected.password)
            .append(u"x:"_s);
        QVERIFY(owner.connection == expected);
        // The owner's write-back left the cursor where typing goes on.
        QCOMPARE(field->cursorPosition(), field->text().size());
    }

    void port_data() {
        QTest::addColumn<qint64>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("after");
        QTest::addColumn<QString>("shown");
        QTest::newRow("grouped on leaving") << 21LL << u"2121"_s << 2121LL << u"2,121"_s;
        QTest::newRow("typed with grouping") << 21LL << u"2,121"_s << 2121LL << u"2,121"_s;
        QTest::newRow("letters keep port") << 2121LL << u"abc"_s << 2121LL << u"2,121"_s;
        QTest::newRow("letter after digits") << 21LL << u"99x"_s << 99LL << u"99"_s;
        QTest::newRow("emptied keeps port") << 990LL << QString() << 990LL << u"990"_s;
        QTest::newRow("zero") << 21LL << u"0"_s << 0LL << u"0"_s;
        QTest::newRow("negative") << 21LL << u"-7"_s << -7LL << u"-7"_s;
        QTest::newRow("above 65535") << 21LL << u"70000"_s << 70000LL << u"70,000"_s;
        QTest::newRow("beyond 32 bits") << 21LL << u"5000000000"_s << 5000000000LL << u"5,000,000,000"_s;
    }

    void port() {
        QFETCH(qint64, before);
        QFETCH(QString, typed);
        QFETCH(qint64, after);
        QFETCH(QString, shown);
        Owner owner(before);
        auto* port = owner.field<QLineEdit>(u"portField"_s);
        QVERIFY(owner.focus(port));
        QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(port, Qt::Key_Backspace);
        QTest::keyClicks(port, typed);
        QCOMPARE(port->text(), typed); // not regrouped under the cursor
        QCOMPARE(owner.connection.port, after);

        QVERIFY(owner.focus(owner.field(u"usernameField"_s)));
        QCOMPARE(port->text(), shown);
        QCOMPARE(owner.connection.port, after);
        QCOMPARE(QLocale().toLongLong(port->text()), after);
    }

    void tlsToggle_keepsPort() {
        Owner owner;
        owner.field<QCheckBox>(u"tlsToggle"_s)->click();
        QCOMPARE(owner.edits, 1);
        QVERIFY(owner.connection.useTLS);
        QCOMPARE(owner.connection.port, 21);
        QCOMPARE(owner.field<QLineEdit>(u"portField"_s)->text(), u"21"_s);
    }

    void keys_data() {
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<int>("key");
        for (const char* field :
             {"nameField", "hostField", "portField", "tlsToggle", "usernameField", "passwordField"}) {
            for (const int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::addRow("%s %s", field, qPrintable(QKeySequence(key).toString()))
                    << QString::fromLatin1(field) << key;
        }
    }

    // With every field empty: nothing is validated, the form saves whatever it holds.
    void keys() {
        QFETCH(QString, objectName);
        QFETCH(int, key);
        Owner owner;
        QVERIFY(QTest::qWaitForWindowActive(&owner.window));
        QWidget* field = owner.field(objectName);
        QVERIFY(owner.focus(field));
        const bool saves = key != Qt::Key_Escape;
        QTest::keyClick(field, Qt::Key(key));
        QCOMPARE(owner.saves, saves ? 1 : 0);
        QCOMPARE(owner.cancels, saves ? 0 : 1);

        QTest::mouseClick(owner.field(saves ? u"cancelButton"_s : u"saveButton"_s), Qt::LeftButton);
        QCOMPARE(owner.saves, 1);
        QCOMPARE(owner.cancels, 1);
    }

    // Return while the port text is still ungrouped: the save sees the typed number, and the field then
    // shows it in the locale's form.
    void returnInPort_commitsTypedNumber() {
        Owner owner;
        qint64 portAtSave = 0;
        owner.form->onSave = [&] { portAtSave = owner.connection.port; };
        auto* port = owner.field<QLineEdit>(u"portField"_s);
        QVERIFY(QTest::qWaitForWindowActive(&owner.window));
        QVERIFY(owner.focus(port));
        port->selectAll();
        QTest::keyClicks(port, u"2121"_s);
        QTest::keyClick(port, Qt::Key_Return);
        QCOMPARE(portAtSave, 2121);
        QCOMPARE(port->text(), u"2,121"_s);
    }
};

QTEST_MAIN(ConnectionFormTest)
#include "tst_connectionform.moc"
