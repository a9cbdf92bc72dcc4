#include "app/EntryPoint.h"
#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return RunVandrixDiscover(QApplication::arguments());
}
