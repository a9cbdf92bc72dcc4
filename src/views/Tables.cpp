#include "views/Tables.h"

namespace {

TRecordField& Add(TRecordTable& table, const char* name, TFieldType kind, int size = 0)
{
    return table.AddField(name, kind, size);
}

} // namespace

std::unique_ptr<TRecordTable> MakeDupTable()
{
    auto t = std::make_unique<TRecordTable>();
    Add(*t, "tth_id", ftInteger);
    Add(*t, "cnt_dup", ftInteger);
    Add(*t, "path_1", ftString, 4000);
    Add(*t, "path_2", ftString, 4000);
    Add(*t, "name_max", ftString, 256);
    Add(*t, "name_min", ftString, 256);
    return t;
}

std::unique_ptr<TRecordTable> MakeRatioTable()
{
    auto t = std::make_unique<TRecordTable>();
    Add(*t, "ID", ftInteger).DisplayLabel = "id";
    Add(*t, "upload", ftFloat);
    Add(*t, "download", ftFloat);
    // Room for the longest text form of an IPv6 address (45 characters).
    Add(*t, "userip", ftString, 45);
    Add(*t, "nick", ftString, 100);
    Add(*t, "hub", ftString, 100);
    return t;
}

std::unique_ptr<TRecordTable> MakeLogTable()
{
    auto t = std::make_unique<TRecordTable>();
    Add(*t, "ID", ftInteger);
    Add(*t, "file", ftString, 256);
    Add(*t, "sdate", ftString, 40);
    Add(*t, "body", ftString, 1000).DisplayWidth = 10000;
    Add(*t, "nick", ftString, 50).DisplayWidth = 100;
    return t;
}

TRecordField& FieldByName(const TRecordTable& table, std::string_view name)
{
    if (TRecordField* f = table.LookupField(name))
        return *f;
    throw Exception(FormatMessage("Field '%s' not found", {AnsiString(name)}));
}
