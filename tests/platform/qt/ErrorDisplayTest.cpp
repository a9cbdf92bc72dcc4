// The standard error display: the message, and a "." after it when its last character
// comes after "." in character order (bytes compared unsigned, so 1251 letters count).
#include "platform/Cp1251.h"
#include "platform/Exception.h"
#include "platform/qt/QtPlatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const struct {
    const char* what;
    AnsiString message;
    AnsiString shown;
} kCases[] = {
    {"a dot", "unable to open database.", "unable to open database."},
    {"a bracket", "no such column (x)", "no such column (x)"},
    {"a dash", "locked -", "locked -"},
    {"a comma, just before the dot", "a,", "a,"},
    {"a blank", "trailing ", "trailing "},
    {"a slash, just after the dot", "a/", "a/."},
    {"a digit", "error 5", "error 5."},
    {"a letter", "no such table: vdx_log", "no such table: vdx_log."},
    {"a 1251 byte above 0x7F", A("Данных не найдено"), A("Данных не найдено.")},
    {"nothing", "", ""},
};

TEST(ErrorDisplay, DotAfterACharacterThatComesAfterTheDot)
{
    for (const auto& c : kCases) EXPECT_EQ(ErrorDisplayText(c.message), c.shown) << c.what;
}

// The box that the handlers' wrapper shows carries that text, under the application's title.
TEST(ErrorDisplay, TheBoxShowsTheText)
{
    QApplication::setApplicationDisplayName("Vandrix discover");
    for (const auto& c : kCases) {
        QString text, title;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            text = box->text();
            title = box->windowTitle();
            box->accept();
        });
        RunHandler([&] { throw Exception(c.message); });
        EXPECT_EQ(text, AnsiToQString(c.shown)) << c.what;
        EXPECT_EQ(title, "Vandrix discover") << c.what;
    }
}

} // namespace
