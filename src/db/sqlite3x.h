#pragma once
// Thin RAII layer over the SQL engine for a read-only viewer.
#include "platform/Exception.h"
#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace sqlite3x {

class sqlite3_connection;
class sqlite3_command;

class database_error : public Exception {
public:
    explicit database_error(const char* message);
    explicit database_error(sqlite3_connection& connection);
};

class sqlite3_connection {
public:
    sqlite3_connection();
    ~sqlite3_connection();
    sqlite3_connection(const sqlite3_connection&) = delete;
    sqlite3_connection& operator=(const sqlite3_connection&) = delete;

    void open(const char* fileName);
    void execute(const char* sql);

    sqlite3* handle = nullptr;
};

class sqlite3_reader {
public:
    sqlite3_reader() = default;
    ~sqlite3_reader();
    sqlite3_reader(const sqlite3_reader& other);
    sqlite3_reader& operator=(const sqlite3_reader& other);
    sqlite3_reader(sqlite3_reader&& other) noexcept;
    sqlite3_reader& operator=(sqlite3_reader&& other) noexcept;

    bool next_row();
    int32_t column_int(int32_t index);
    int64_t column_int64(int32_t index);
    std::string column_text(int32_t index);
    void close();

private:
    friend class sqlite3_command;
    explicit sqlite3_reader(sqlite3_command* command);
    void check(int32_t index) const;

    sqlite3_command* command = nullptr;
};

class sqlite3_command {
public:
    sqlite3_command(sqlite3_connection& connection, const char* sql);
    sqlite3_command(sqlite3_connection& connection, const std::string& sql);
    ~sqlite3_command();
    sqlite3_command(const sqlite3_command&) = delete;
    sqlite3_command& operator=(const sqlite3_command&) = delete;

    sqlite3_reader open_reader();
    void execute();

private:
    friend class sqlite3_reader;
    void prepare(const char* sql, int bytes);
    bool reprepare();

    sqlite3_connection& connection;
    sqlite3_stmt* statement = nullptr;
    uint32_t reader_count = 0;
    int32_t column_count = 0;
    std::string text;               // the compiled statement's text, to recompile it
    bool rows_since_reset = false;
    bool reprepared = false;
};

} // namespace sqlite3x
