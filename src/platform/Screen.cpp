#include "platform/Screen.h"

#include <utility>

namespace {

struct ScreenState {
    TScreenCursorHooks hooks;
    TCursor remembered = crDefault;
};

ScreenState& State()
{
    static ScreenState state;
    return state;
}

} // namespace

TCursor GetScreenCursor()
{
    auto& s = State();
    return s.hooks.get ? s.hooks.get() : s.remembered;
}

void SetScreenCursor(TCursor cursor)
{
    auto& s = State();
    s.remembered = cursor;
    if (s.hooks.set)
        s.hooks.set(cursor);
}

void SetScreenCursorHooks(TScreenCursorHooks hooks)
{
    State().hooks = std::move(hooks);
}
