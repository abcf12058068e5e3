#include "app/CommandLine.h"
#include "app/KalvorApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Before the QApplication, which needs a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<int> status = answerInfoOptions(arguments, stdout))
        return *status;

    QApplication application(argc, argv);
    KalvorApp::applyIdentity();
    KalvorApp app;
    QStringList items = QApplication::arguments().mid(1);
    items.removeOne(QStringLiteral("--"));
    return app.run(items);
}
