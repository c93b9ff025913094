// The floor of the launch benchmark: a bare main window of the same size with a menu bar, a status bar and
// six empty tabs, which says "painted" and closes as soon as it has been painted once (as korvel-admin does
// with KORVEL_ADMIN_EXIT_AFTER_PAINT).
#include "admin/common/FirstPaint.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu("&File")->addAction("E&xit");
    window.menuBar()->addMenu("&Help");
    auto* tabs = new QTabWidget(&window);
    for (const char* caption : {"Status", "Server", "Users", "Databases", "Database Users", "Log"})
        tabs->addTab(new QWidget(tabs), caption);
    window.setCentralWidget(tabs);
    window.statusBar();
    window.setFixedSize(761, 460);
    korvel::admin::CloseAfterFirstPaint(&window);
    window.show();
    return application.exec();
}
