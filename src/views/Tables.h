#pragma once
// The record tables behind the three pages, with their designed fields.
#include "table/RecordTable.h"
#include <memory>
#include <string_view>

std::unique_ptr<TRecordTable> MakeDupTable();
std::unique_ptr<TRecordTable> MakeRatioTable();
std::unique_ptr<TRecordTable> MakeLogTable();

// The table's field of that name; a missing field is an error ("Field '%s' not found").
TRecordField& FieldByName(const TRecordTable& table, std::string_view name);
