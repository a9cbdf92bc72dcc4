#include "app/EntryPoint.h"
#include "app/VandrixDiscover.h"
#include "platform/Exception.h"
#include "platform/qt/QtPlatform.h"
#include <QApplication>
#include <QIcon>

// The version record that Windows kept in the executable's resources.
[[gnu::used]] static const char kVersionRecord[] =
    "FileVersion=1.0.0.9;ProductVersion=1.0.0.9;FileDescription=Vandrix discover;ProductName=Vandrix discover";

int RunVandrixDiscover()
{
    QApplication::setApplicationName("Vandrix discover");
    QApplication::setApplicationVersion("1.0.0.9");
    QApplication::setWindowIcon(QIcon(":/icons/vandrix-discover.png"));
    InstallQtPlatform();
    try {
        TVandrixDiscover window;
        window.show();
        QApplication::exec();
    } catch (const Exception& e) {
        ShowException(e);
    }
    return 0;
}
