// Typed text into a record's fields: either stored within the field's size or refused
// with the table's message; the table stays usable either way.
#include "platform/Exception.h"
#include "table/RecordTable.h"
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static TRecordTable* table = [] {
        auto* t = new TRecordTable;
        t->AddField("i", ftInteger);
        t->AddField("f", ftFloat);
        t->AddField("s", ftString, 16);
        t->OpenTable();
        return t;
    }();
    const TRecordField& field = table->Field(data[0] % 3);
    const AnsiString text(reinterpret_cast<const char*>(data + 1), size - 1);
    table->BeginAppend();
    try {
        table->SetText(field, text);
    } catch (const Exception&) {
    }
    table->PostRecord();
    if (field.Kind == ftString && table->GetString(field).size() > 16)
        std::abort();
    if (table->GetRecordCount() > 1000)
        table->CloseTable(), table->OpenTable();
    return 0;
}
