#include "app/VandrixDiscover.h"
#include "platform/Exception.h"
#include "platform/qt/QtPlatform.h"
#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vandrix discover");
    QApplication::setApplicationVersion("1.0.0.9");
    QApplication::setWindowIcon(QIcon(":/icons/vandrix-discover.png"));
    InstallQtPlatform();
    try {
        TVandrixDiscover window;
        window.show();
        app.exec();
    } catch (const Exception& e) {
        ShowException(e);
    }
    return 0;
}
