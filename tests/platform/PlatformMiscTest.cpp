#include "platform/Colors.h"
#include "platform/Exception.h"
#include "platform/FormatSettings.h"
#include "platform/Screen.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(FormatMessage, FillsPlaceholdersInOrder)
{
    EXPECT_EQ(FormatMessage("Field '%s' is of an unknown type", {"nick"}), "Field 'nick' is of an unknown type");
    EXPECT_EQ(FormatMessage("'%s' is not a valid integer value for field '%s'", {"x1", "ID"}),
              "'x1' is not a valid integer value for field 'ID'");
    EXPECT_EQ(FormatMessage("100%% of %s", {"rows"}), "100% of rows");
    EXPECT_EQ(FormatMessage("no args", {}), "no args");
    EXPECT_EQ(FormatMessage("a %s b %s", {"1"}), "a 1 b ");
    EXPECT_EQ(FormatMessage("trailing %", {}), "trailing %");
    // Arguments are not scanned again.
    EXPECT_EQ(FormatMessage("%s-%s", {"%s", "x"}), "%s-x");
}

TEST(Exception, CarriesMessage)
{
    Exception e("Stream write error", 7);
    EXPECT_STREQ(e.what(), "Stream write error");
    EXPECT_EQ(e.HelpContext, 7);
}

TEST(Colors, SystemColoursDefaultAndResolver)
{
    SetSysColorResolver(nullptr);
    EXPECT_EQ(ColorToRGB(clBtnFace), 0xC8D0D4u); // classic button face 212,208,200
    EXPECT_EQ(ColorToRGB(clWindow), 0xFFFFFFu);
    EXPECT_EQ(ColorToRGB(clWindowText), 0u);
    EXPECT_EQ(ColorToRGB(clNone), 0u);
    EXPECT_EQ(ColorToRGB(0x123456), 0x123456u);
    EXPECT_EQ(RedOf(0x123456), 0x56);
    EXPECT_EQ(GreenOf(0x123456), 0x34);
    EXPECT_EQ(BlueOf(0x123456), 0x12);

    std::vector<int> asked;
    SetSysColorResolver([&](int index) {
        asked.push_back(index);
        return 0xABCDEFu;
    });
    EXPECT_EQ(ColorToRGB(clBtnFace), 0xABCDEFu);
    EXPECT_EQ(ColorToRGB(0x00FF00), 0x00FF00u); // plain colours never reach the resolver
    EXPECT_EQ(asked, std::vector<int>{15});
    SetSysColorResolver(nullptr);
    EXPECT_EQ(ColorToRGB(clBtnFace), 0xC8D0D4u);
}

TEST(Screen, CursorRememberedOrHooked)
{
    SetScreenCursorHooks({});
    SetScreenCursor(crHourGlass);
    EXPECT_EQ(GetScreenCursor(), crHourGlass);
    SetScreenCursor(crDefault);
    EXPECT_EQ(GetScreenCursor(), crDefault);

    TCursor shown = crArrow;
    std::vector<TCursor> sets;
    SetScreenCursorHooks({[&] { return shown; }, [&](TCursor c) {
                              sets.push_back(c);
                              shown = c;
                          }});
    EXPECT_EQ(GetScreenCursor(), crArrow);
    SetScreenCursor(crHourGlass);
    EXPECT_EQ(sets, std::vector<TCursor>{crHourGlass});
    EXPECT_EQ(GetScreenCursor(), crHourGlass);
    SetScreenCursorHooks({});
}

TEST(FormatSettings, OneSharedInstance)
{
    auto& s = FormatSettings();
    const char old = s.DecimalSeparator;
    s.DecimalSeparator = ',';
    EXPECT_EQ(FormatSettings().DecimalSeparator, ',');
    s.DecimalSeparator = old;
}

} // namespace
