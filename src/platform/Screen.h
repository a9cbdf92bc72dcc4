#pragma once
// The application's screen-wide cursor. Qt-free: the application installs the toolkit's
// implementation; without one the cursor is only remembered (tests read it back).
#include <functional>

using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crHourGlass = -11;

struct TScreenCursorHooks {
    std::function<TCursor()> get;
    std::function<void(TCursor)> set;
};

TCursor GetScreenCursor();
void SetScreenCursor(TCursor cursor);
void SetScreenCursorHooks(TScreenCursorHooks hooks);
