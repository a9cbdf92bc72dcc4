#include "platform/qt/QtPlatform.h"
#include "platform/Cp1251.h"
#include "platform/Exception.h"
#include "platform/FormatSettings.h"
#include "platform/Screen.h"
#include <QApplication>
#include <QDesktopServices>
#include <QFont>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPalette>
#include <QTranslator>
#include <QUrl>
#include <exception>
#include <memory>

QString AnsiToQString(const AnsiString& ansi)
{
    QString out;
    out.reserve(static_cast<int>(ansi.size()));
    for (unsigned char c : ansi)
        out.append(QChar(Cp1251ToUnicode(c)));
    return out;
}

AnsiString QStringToAnsi(const QString& text)
{
    return Utf8ToCp1251(text.toUtf8().toStdString());
}

QColor ToQColor(TColor color)
{
    const uint32_t rgb = ColorToRGB(color);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

AnsiString ErrorDisplayText(const AnsiString& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

void ShowErrorMessage(const AnsiString& message, QWidget* parent)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(),
                    AnsiToQString(ErrorDisplayText(message)), QMessageBox::Ok, parent);
    box.setObjectName("ErrorBox");
    box.exec();
}

void ShowException(const Exception& e, QWidget* parent)
{
    ShowErrorMessage(e.Message, parent);
}

void RunHandler(const std::function<void()>& handler, QWidget* parent)
{
    try {
        handler();
    } catch (const Exception& e) {
        ShowException(e, parent);
    } catch (const std::exception& e) {
        // A programming error: still never let it unwind through the event loop.
        ShowErrorMessage(e.what(), parent);
    }
}

namespace {

uint32_t FromQColor(const QColor& c)
{
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
           (static_cast<uint32_t>(c.blue()) << 16);
}

// Windows system colour indexes mapped onto the toolkit's palette roles.
uint32_t QtSysColor(int index)
{
    const QPalette pal = QGuiApplication::palette();
    switch (index) {
    case 5: return FromQColor(pal.color(QPalette::Base));
    case 6: return FromQColor(pal.color(QPalette::Shadow));
    case 8: return FromQColor(pal.color(QPalette::Text));
    case 13: return FromQColor(pal.color(QPalette::Highlight));
    case 14: return FromQColor(pal.color(QPalette::HighlightedText));
    case 15: return FromQColor(pal.color(QPalette::Button));
    case 16: return FromQColor(pal.color(QPalette::Dark));
    case 17: return FromQColor(pal.color(QPalette::Disabled, QPalette::Text));
    case 18: return FromQColor(pal.color(QPalette::ButtonText));
    case 20: return FromQColor(pal.color(QPalette::Light));
    case 24: return FromQColor(pal.color(QPalette::ToolTipBase));
    default: break;
    }
    SetSysColorResolver(nullptr);
    const uint32_t fallback = ColorToRGB(SysColor(index));
    SetSysColorResolver(QtSysColor);
    return fallback;
}

QCursor QtCursorOf(TCursor cursor)
{
    return cursor == crHourGlass ? QCursor(Qt::WaitCursor) : QCursor(Qt::ArrowCursor);
}

} // namespace

void InstallQtPlatform()
{
    // The designed window font is a Windows one; take the nearest metrics Linux has.
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial", "DejaVu Sans"});
    SetSysColorResolver(QtSysColor);
    // Only our own cursor changes are tracked; restoring pops what we pushed.
    static TCursor current = crDefault;
    SetScreenCursorHooks({[] { return current; },
                          [](TCursor cursor) {
                              if (cursor == current)
                                  return;
                              if (current != crDefault)
                                  QGuiApplication::restoreOverrideCursor();
                              if (cursor != crDefault)
                                  QGuiApplication::setOverrideCursor(QtCursorOf(cursor));
                              current = cursor;
                          }});
    const QString sep = QLocale::system().decimalPoint();
    if (sep.size() == 1 && sep[0].unicode() < 128)
        FormatSettings().DecimalSeparator = static_cast<char>(sep[0].unicode());
    const QString th = QLocale::system().groupSeparator();
    if (th.size() == 1 && th[0].unicode() < 128)
        FormatSettings().ThousandSeparator = static_cast<char>(th[0].unicode());
    InstallQtTranslations(QLocale::system());
}

bool InstallQtTranslations(const QLocale& locale)
{
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    // The application owns it from here and deletes it with itself.
    installed = translator.release();
    installed->setParent(QCoreApplication::instance());
    QCoreApplication::installTranslator(installed);
    return true;
}

namespace {
std::function<void(const std::string&)>& ShellHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}
} // namespace

void SetShellOpenHook(std::function<void(const std::string&)> hook)
{
    ShellHook() = std::move(hook);
}

void ShellOpen(const std::string& fileName)
{
    if (ShellHook()) {
        ShellHook()(fileName);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(fileName)));
}
