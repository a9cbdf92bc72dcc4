#include "app/EntryPoint.h"
#include "app/ClientFolder.h"
#include "app/VandrixDiscover.h"
#include "platform/Exception.h"
#include "platform/qt/QtPlatform.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>

// The version record that Windows kept in the executable's resources.
[[gnu::used]] static const char kVersionRecord[] =
    "FileVersion=1.0.0.9;ProductVersion=1.0.0.9;FileDescription=Vandrix discover;ProductName=Vandrix discover";

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

void SetUpApplication()
{
    QApplication::setApplicationName("Vandrix discover");
    QApplication::setApplicationVersion("1.0.0.9");
    QApplication::setWindowIcon(QIcon(":/icons/vandrix-discover.png"));
    InstallQtPlatform();
}

void Print(FILE* to, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

int CommandLineError(const QString& message)
{
    Print(stderr, "vandrix-discover: " + message + "\n");
    return 1;
}

int StartInCurrentFolder()
{
    try {
        TVandrixDiscover window;
        window.show();
        QApplication::exec();
    } catch (const Exception& e) {
        ShowException(e);
    }
    return 0;
}

} // namespace

int RunVandrixDiscover()
{
    SetUpApplication();
    return StartInCurrentFolder();
}

int RunVandrixDiscover(const QStringList& arguments)
{
    // Qt's translations come first, so that its help texts are in the user's language too.
    SetUpApplication();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        Q("Просмотр баз данных клиента Vandrix: Settings/Vandrix.sqlite и Settings/Vandrix_log.sqlite."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption choose("choose-folder", Q("Выбрать папку клиента в окне выбора папки."));
    parser.addOption(choose);
    parser.addPositionalArgument("FOLDER", Q("Рабочая папка клиента, в которой лежит Settings/ (по умолчанию текущая)."),
                                 "[FOLDER]");
    if (!parser.parse(arguments))
        return CommandLineError(parser.errorText());
    if (parser.isSet("help-all"))
        parser.process(arguments);   // Qt lists its own options as well, and ends the program
    if (parser.isSet(help)) {
        Print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        Print(stdout, QApplication::applicationName() + " " + QApplication::applicationVersion() + "\n");
        return 0;
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1)
        return CommandLineError(Q("Лишний аргумент: %1").arg(folders[1]));
    if (parser.isSet(choose) && !folders.isEmpty())
        return CommandLineError(Q("Укажите либо папку, либо --choose-folder."));

    if (parser.isSet(choose)) {
        const QString chosen = ChooseClientFolder();
        if (chosen.isEmpty())
            return 0;
        const QString error = EnterClientFolder(chosen);
        if (!error.isEmpty()) {
            // Started from the menu: nobody reads a terminal.
            ShowErrorMessage(QStringToAnsi(error));
            return 1;
        }
        RememberClientFolder(chosen);
    } else if (!folders.isEmpty()) {
        const QString error = EnterClientFolder(folders[0]);
        if (!error.isEmpty())
            return CommandLineError(error);
    }
    return StartInCurrentFolder();
}
