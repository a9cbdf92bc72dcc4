#include "views/Guards.h"

TWait::TWait() : saved_(GetScreenCursor())
{
    SetScreenCursor(crHourGlass);
}

TWait::~TWait()
{
    SetScreenCursor(saved_);
}

TRavoBookmark::TRavoBookmark(TRecordTable& table, bool liveControls, bool goBack)
    : saved_(table.TakeBookmark()), table_(table), liveControls_(liveControls), goBack_(goBack)
{
    if (!liveControls_)
        table_.FreezeControls();
}

TRavoBookmark::~TRavoBookmark()
{
    // Releasing never fails the load: an error here would only hide the one passing through.
    if (saved_) {
        try {
            if (goBack_ && table_.BookmarkValid(saved_))
                table_.MoveToBookmark(saved_);
        } catch (...) {
        }
        table_.ReleaseBookmark(saved_);
    }
    if (!liveControls_) {
        try {
            table_.ReleaseControls();
        } catch (...) {
        }
    }
}
