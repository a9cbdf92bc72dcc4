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

// SetString keeps a value up to its first zero byte, cut to the field's size.
size_t KeptLength(const char* p, size_t n)
{
    // Mostly short texts (dates): eight bytes a step, without a call.
    size_t i = 0;
    for (uint64_t w; i + 8 <= n; i += 8) {
        std::memcpy(&w, p + i, 8);
        if ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) break;
    }
    for (; i < n; ++i)
        if (p[i] == 0) return i;
    return n;
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
                    char* d = table.BulkStringSpace(text.size() + kConvertSlack);
                    size_t n = 0, zero = 0;
                    if (convert(text, d, n, zero)) {
                        n = std::min(n, zero);
                    } else {
                        utf8_to_ansi_fast(text, ansi);
                        d = table.BulkStringSpace(ansi.size());
                        n = ansi.size();
                        if (n) std::memcpy(d, ansi.data(), n);
                        n = KeptLength(d, n);
                    }
                    table.BulkString(field, std::min(n, static_cast<size_t>(field.Size)));
                    break;
                }
                case TColumnRead::RawText: {
                    // Measured from the text just read, not from the record's fresh memory.
                    const std::string text = reader.column_text(index);
                    const size_t n = std::min(KeptLength(text.data(), text.size()), static_cast<size_t>(field.Size));
                    char* d = table.BulkStringSpace(n);
                    if (n) std::memcpy(d, text.data(), n);
                    table.BulkString(field, n);
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
            case TColumnRead::Text:
                // SetString keeps the text up to its first zero byte, cut to the field's size.
                utf8_to_ansi_fast(reader.column_text(index), ansi);
                table.SetString(field, ansi);
                break;
            case TColumnRead::RawText:
                table.SetString(field, reader.column_text(index));
                break;
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
                 {TColumnRead::RawText, &m_LogsDatasdate},
                 {TColumnRead::Text, &m_LogsDatabody},
                 {TColumnRead::Text, &m_LogsDatanick}});
}
