#include "widget_application.h"

#include <QApplication>

QApplication* EnsureWidgetApplication()
{
    if (QCoreApplication* existing = QCoreApplication::instance())
        return qobject_cast<QApplication*>(existing);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "twinlark_widget_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's input devices and platform objects are torn down at process exit in
    // an order that does not survive the application object going first.
    static QApplication* app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return app;
}
