#include "views/Loads.h"
#include "db/FastTextConv.h"
#include "platform/Cp1251.h"
#include "views/Guards.h"
#include "views/Tables.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

using namespace sqlite3x;

const char* const kDuplicatesStatement =
    "SELECT tth_id,cnt_dup,path_1,path_2,name_max,name_min from v_vdx_dup_file where name_max not like "
    "'V%_%.VOB'\nand name_max not like 'V%_%.IFO' and name_max not like 'V%_%.BUP'";

std::string RatioStatement(bool showAll)
{
    std::string sql = "select id,upload,download,userip,nick,hub from v_vdx_ratio";
    if (!showAll)
        sql += " where download > 0 or upload > 0";
    return sql;
}

std::string LogStatement(const AnsiString& limitText)
{
    std::string sql = "select id,file,sdate,body,nick from vdx_log";
    sql += " ";
    static const AnsiString all = A("Все");
    if (limitText != all) {
        sql += " limit ";
        sql += limitText;
    }
    return sql;
}

namespace {

// The bulk path builds each record in place; it takes mappings whose reads match their
// fields' kinds, each field once, string fields in field order, and only a frozen table,
// whose views hear nothing per row either way.
bool BulkFits(const TRecordTable& table, const std::vector<TColumnMapping>& columns)
{
    if (table.FreezeCount() == 0) return false;
    std::vector<bool> seen(static_cast<size_t>(table.FieldCount()), false);
    int lastString = -1;
    for (const TColumnMapping& c : columns) {
        const TRecordField& f = *c.field;
        if (f.Table() != &table || seen[static_cast<size_t>(f.Index())]) return false;
        seen[static_cast<size_t>(f.Index())] = true;
        switch (c.read) {
        case TColumnRead::Integer:
            if (f.Kind != ftInteger) return false;
            break;
        case TColumnRead::Int64:
            if (f.Kind != ftFloat) return false;
            break;
        default:
            if (f.Kind != ftString || f.Index() < lastString) return false;
            lastString = f.Index();
            break;
        }
    }
    return true;
}

// SetString keeps a value up to its first zero byte.
size_t KeptLength(const char* p, size_t n)
{
    const void* z = n ? std::memchr(p, 0, n) : nullptr;
    return z ? static_cast<size_t>(static_cast<const char*>(z) - p) : n;
}

// The start of a UTF-8 text that decides what a string field keeps of its conversion: each
// character stored takes at most four bytes of input (a four-byte sequence and each
// ill-formed byte give one character too), so the field's first Size characters, and a
// zero byte among them, come from the first 4 * Size bytes. A huge text costs no more than
// that to convert or to hold while it is converted.
std::string_view Keepable(const std::string& text, const TRecordField& field)
{
    return std::string_view(text.data(), std::min(text.size(), 4 * static_cast<size_t>(field.Size)));
}

void BulkFill(sqlite3_reader& reader, TRecordTable& table, const std::vector<TColumnMapping>& columns)
{
    std::string ansi;
    const TextConverter convert = CurrentTextConverter();
    bool started = false;
    while (reader.next_row()) {
        if (!started) {
            table.BulkBegin();
            started = true;
        }
        table.BulkRowStart();
        try {
            for (size_t i = 0; i < columns.size(); ++i) {
                const int index = static_cast<int>(i);
                const TRecordField& field = *columns[i].field;
                switch (columns[i].read) {
                case TColumnRead::Integer:
                    table.BulkInteger(field, reader.column_int(index));
                    break;
                case TColumnRead::Int64:
                    table.BulkFloat(field, static_cast<double>(reader.column_int64(index)));
                    break;
                case TColumnRead::Text: {
                    const std::string text = reader.column_text(index);
                    const std::string_view in = Keepable(text, field);
                    char* d = table.BulkStringSpace(in.size() + kConvertSlack);
                    size_t n = 0, zero = 0;
                    if (convert(in, d, n, zero)) {
                        n = std::min(n, zero);
                    } else {
                        utf8_to_ansi_fast(in, ansi);
                        d = table.BulkStringSpace(ansi.size());
                        n = ansi.size();
                        if (n) std::memcpy(d, ansi.data(), n);
                        n = KeptLength(d, n);
                    }
                    table.BulkString(field, std::min(n, static_cast<size_t>(field.Size)));
                    break;
                }
                }
            }
            table.BulkRowEnd();
        } catch (...) {
            table.BulkRowAbandon();
            throw;
        }
    }
}

} // namespace

void FillRecords(sqlite3_command& command, TRecordTable& table, const std::vector<TColumnMapping>& columns)
{
    sqlite3_reader reader = command.open_reader();
    if (BulkFits(table, columns)) {
        BulkFill(reader, table, columns);
        return;
    }
    std::string ansi; // reused for every text value
    while (reader.next_row()) {
        table.BeginAppend();
        for (size_t i = 0; i < columns.size(); ++i) {
            const int index = static_cast<int>(i);
            const TRecordField& field = *columns[i].field;
            switch (columns[i].read) {
            case TColumnRead::Integer:
                table.SetInteger(field, reader.column_int(index));
                break;
            case TColumnRead::Int64:
                table.SetFloat(field, static_cast<double>(reader.column_int64(index)));
                break;
            case TColumnRead::Text: {
                // SetString keeps the text up to its first zero byte, cut to the field's size.
                const std::string text = reader.column_text(index);
                utf8_to_ansi_fast(Keepable(text, field), ansi);
                table.SetString(field, ansi);
                break;
            }
            }
        }
        table.PostRecord();
    }
}

void LoadDuplicates(sqlite3_connection& connection, TRecordTable& table)
{
    const TRecordField& m_DupMemoryDatatth_id = FieldByName(table, "tth_id");
    const TRecordField& m_DupMemoryDatacnt_dup = FieldByName(table, "cnt_dup");
    const TRecordField& m_DupMemoryDatapath_1 = FieldByName(table, "path_1");
    const TRecordField& m_DupMemoryDatapath_2 = FieldByName(table, "path_2");
    const TRecordField& m_DupMemoryDataname_max = FieldByName(table, "name_max");
    const TRecordField& m_DupMemoryDataname_min = FieldByName(table, "name_min");

    table.OpenTable();
    TWait wait;
    TRavoBookmark position(table, false, true);
    auto command = std::make_unique<sqlite3_command>(connection, kDuplicatesStatement);
    FillRecords(*command, table,
                {{TColumnRead::Integer, &m_DupMemoryDatatth_id},
                 {TColumnRead::Integer, &m_DupMemoryDatacnt_dup},
                 {TColumnRead::Text, &m_DupMemoryDatapath_1},
                 {TColumnRead::Text, &m_DupMemoryDatapath_2},
                 {TColumnRead::Text, &m_DupMemoryDataname_max},
                 {TColumnRead::Text, &m_DupMemoryDataname_min}});
}

void LoadRatio(sqlite3_connection& connection, TRecordTable& table, bool showAll)
{
    const TRecordField& m_RatioMemoryDataID = FieldByName(table, "ID");
    const TRecordField& m_RatioMemoryDataupload = FieldByName(table, "upload");
    const TRecordField& m_RatioMemoryDatadownload = FieldByName(table, "download");
    const TRecordField& m_RatioMemoryDatauserip = FieldByName(table, "userip");
    const TRecordField& m_RatioMemoryDatanick = FieldByName(table, "nick");
    const TRecordField& m_RatioMemoryDatahub = FieldByName(table, "hub");

    TWait wait;
    table.CloseTable();
    table.OpenTable();
    TRavoBookmark position(table, false, true);
    auto command = std::make_unique<sqlite3_command>(connection, RatioStatement(showAll));
    FillRecords(*command, table,
                {{TColumnRead::Integer, &m_RatioMemoryDataID},
                 {TColumnRead::Int64, &m_RatioMemoryDataupload},
                 {TColumnRead::Int64, &m_RatioMemoryDatadownload},
                 {TColumnRead::Text, &m_RatioMemoryDatauserip},
                 {TColumnRead::Text, &m_RatioMemoryDatanick},
                 {TColumnRead::Text, &m_RatioMemoryDatahub}});
}

void LoadLog(sqlite3_connection& connection, TRecordTable& table, const AnsiString& limitText)
{
    const TRecordField& m_LogsDataID = FieldByName(table, "ID");
    const TRecordField& m_LogsDataFileName = FieldByName(table, "file");
    const TRecordField& m_LogsDatasdate = FieldByName(table, "sdate");
    const TRecordField& m_LogsDatabody = FieldByName(table, "body");
    const TRecordField& m_LogsDatanick = FieldByName(table, "nick");

    table.CloseTable();
    table.OpenTable();
    TRavoBookmark position(table, false, true);
    auto command = std::make_unique<sqlite3_command>(connection, LogStatement(limitText));
    FillRecords(*command, table,
                {{TColumnRead::Integer, &m_LogsDataID},
                 {TColumnRead::Text, &m_LogsDataFileName},
                 {TColumnRead::Text, &m_LogsDatasdate},
                 {TColumnRead::Text, &m_LogsDatabody},
                 {TColumnRead::Text, &m_LogsDatanick}});
}
