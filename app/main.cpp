#include "app/CQuarnexApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    quarnex::CQuarnexApp::NameApplication();
    quarnex::CQuarnexApp app;
    int exitCode = 0;
    if (!app.InitInstance(QApplication::arguments(), exitCode))
        return exitCode;
    return QApplication::exec();
}
