#pragma once
// The toolkit side of the platform layer: the standard error display, text between
// 1251 and QString, the system colours and cursor from Qt, and the shell's "open".
#include "platform/AnsiString.h"
#include "platform/Colors.h"
#include <QColor>
#include <QLocale>
#include <QString>
#include <functional>

class Exception;
class QWidget;

QString AnsiToQString(const AnsiString& ansi);
AnsiString QStringToAnsi(const QString& text);
QColor ToQColor(TColor color);

// Text of the standard error display: the message, plus "." when its last character
// comes after "." in character order.
AnsiString ErrorDisplayText(const AnsiString& message);
// Modal box with an error icon and OK, captioned with the application's title.
void ShowErrorMessage(const AnsiString& message, QWidget* parent = nullptr);
void ShowException(const Exception& e, QWidget* parent = nullptr);

// Runs an event handler; an Exception leaving it goes to the standard error display
// and the program goes on. No exception ever unwinds through Qt's event dispatch.
void RunHandler(const std::function<void()>& handler, QWidget* parent = nullptr);

// Installs Qt's palette as the system colours, Qt's override cursor as the screen
// cursor, the locale's decimal separator and Qt's own translations for the system locale.
void InstallQtPlatform();

// Qt's own texts (standard buttons, file dialogs, command-line help) in the language of
// `locale`, from the translations Qt was installed with. Replaces what an earlier call
// installed. False when Qt has no translation for that language (its texts stay English).
bool InstallQtTranslations(const QLocale& locale);

// The shell's "open" verb: opens a file (a native, UTF-8 path) with the default application.
// Its result is not examined. Tests may replace the opener.
void ShellOpen(const std::string& fileName);
void SetShellOpenHook(std::function<void(const std::string&)> hook);
