#include "app/EntryPoint.h"
#include "app/ClientFolder.h"
#include "app/VandrixDiscover.h"
#include "platform/Exception.h"
#include "platform/qt/QtPlatform.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>
#include <optional>

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

struct TCommandLine {
    bool chooseFolder = false;
    std::optional<QString> folder;
    std::optional<int> exitNow;   // set after --help, --version or a wrong command line
};

TCommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        Q("Просмотр баз данных клиента Vandrix: Settings/Vandrix.sqlite и Settings/Vandrix_log.sqlite."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption choose("choose-folder", Q("Выбрать папку клиента в окне выбора папки."));
    parser.addOption(choose);
    parser.addPositionalArgument(
        "FOLDER", Q("Рабочая папка клиента, в которой лежит Settings/ (по умолчанию текущая)."), "[FOLDER]");
    TCommandLine line;
    if (!parser.parse(arguments)) {
        line.exitNow = CommandLineError(parser.errorText());
        return line;
    }
    if (parser.isSet("help-all"))
        parser.process(arguments);   // Qt lists its own options as well, and ends the program
    const QStringList folders = parser.positionalArguments();
    if (parser.isSet(help)) {
        Print(stdout, parser.helpText());
        line.exitNow = 0;
    } else if (parser.isSet(version)) {
        Print(stdout, QApplication::applicationName() + " " + QApplication::applicationVersion() + "\n");
        line.exitNow = 0;
    } else if (folders.size() > 1) {
        line.exitNow = CommandLineError(Q("Лишний аргумент: %1").arg(folders[1]));
    } else if (parser.isSet(choose) && !folders.isEmpty()) {
        line.exitNow = CommandLineError(Q("Укажите либо папку, либо --choose-folder."));
    } else {
        line.chooseFolder = parser.isSet(choose);
        if (!folders.isEmpty())
            line.folder = folders[0];
    }
    return line;
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
    const TCommandLine line = ParseCommandLine(arguments);
    if (line.exitNow)
        return *line.exitNow;
    std::optional<QString> folder = line.folder;
    if (line.chooseFolder) {
        folder = ChooseClientFolder();
        if (folder->isEmpty())
            return 0;
    }
    if (folder) {
        const QString error = EnterClientFolder(*folder);
        if (!error.isEmpty()) {
            if (line.chooseFolder)
                ShowErrorMessage(QStringToAnsi(error));   // started from the menu: no terminal
            else
                CommandLineError(error);
            return 1;
        }
        if (line.chooseFolder)
            RememberClientFolder(*folder);
    }
    return StartInCurrentFolder();
}
