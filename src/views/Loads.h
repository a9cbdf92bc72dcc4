#pragma once
// The three data views: their statements and how their rows fill a record table.
// Callable without a window; the main window's handlers call them.
#include "db/sqlite3x.h"
#include "platform/AnsiString.h"
#include "table/RecordTable.h"
#include <string>
#include <vector>

// How one result column is read and stored.
enum class TColumnRead {
    Integer,     // column_int, SetInteger
    Int64,       // column_int64 to the nearest double, SetFloat
    Text         // column_text, utf8_to_ansi, SetString
};

struct TColumnMapping {
    TColumnRead read;
    const TRecordField* field;
};

// Steps through the command's rows, appending one record per row, columns in SELECT order.
void FillRecords(sqlite3x::sqlite3_command& command, TRecordTable& table,
                 const std::vector<TColumnMapping>& columns);

extern const char* const kDuplicatesStatement;
std::string RatioStatement(bool showAll);
std::string LogStatement(const AnsiString& limitText);

void LoadDuplicates(sqlite3x::sqlite3_connection& connection, TRecordTable& table);
void LoadRatio(sqlite3x::sqlite3_connection& connection, TRecordTable& table, bool showAll);
void LoadLog(sqlite3x::sqlite3_connection& connection, TRecordTable& table, const AnsiString& limitText);
