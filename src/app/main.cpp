#include "app/KalvorApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    KalvorApp::applyIdentity();
    KalvorApp app;
    return app.run(QApplication::arguments().mid(1));
}
