#include "model/TypedText.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Typed names and hosts lose the blanks around them; the folder path rules are proven through the flows.
class RemotePathTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void trimmed() {
        const QList<std::pair<QString, QString>> typedAndName = {
            {u"  a  b "_s, u"a  b"_s}, // inner blanks stay
            {u"\u00a0x\u3000"_s, u"x"_s},
            {u" \t\u2003"_s, {}},
        };
        for (const auto& [typed, name] : typedAndName)
            QCOMPARE(typedtext::trimmed(typed), name);
    }
};

QTEST_GUILESS_MAIN(RemotePathTest)
#include "tst_remotepath.moc"
