#pragma once
// Scoped guards of a load. Their work is done in the destructors, so it also runs
// while an error passes out of the load.
#include "platform/Screen.h"
#include "table/RecordTable.h"

// Shows the hourglass for its lifetime and then restores the cursor that was there.
class TWait {
public:
    TWait();
    ~TWait();
    TWait(const TWait&) = delete;
    TWait& operator=(const TWait&) = delete;

private:
    TCursor saved_;
};

// Remembers a record table's current record and, unless told to keep them live, freezes
// the table's attached controls; at the end goes back to the record (when asked and still
// valid) and releases the controls.
class TRavoBookmark {
public:
    TRavoBookmark(TRecordTable& table, bool liveControls, bool goBack);
    ~TRavoBookmark();
    TRavoBookmark(const TRavoBookmark&) = delete;
    TRavoBookmark& operator=(const TRavoBookmark&) = delete;

private:
    TBookmark saved_;
    TRecordTable& table_;
    bool liveControls_;
    bool goBack_;
};
