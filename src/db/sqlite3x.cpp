#include "db/sqlite3x.h"

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>
#include <utility>

namespace sqlite3x {

database_error::database_error(const char* message) : Exception(message) {}

database_error::database_error(sqlite3_connection& connection)
    : Exception(sqlite3_errmsg(connection.handle))
{
}

// ---- connection ----

sqlite3_connection::sqlite3_connection() = default;

sqlite3_connection::~sqlite3_connection()
{
    if (handle)
        sqlite3_close(handle);
}

void sqlite3_connection::open(const char* fileName)
{
    // Never happens in the program; dropping the old handle keeps it from leaking.
    if (handle) {
        sqlite3_close(handle);
        handle = nullptr;
    }
    if (sqlite3_open(fileName, &handle) != SQLITE_OK)
        throw database_error("unable to open database");
}

void sqlite3_connection::execute(const char* sql)
{
    if (!handle)
        throw database_error("database is not open");
    sqlite3_command command(*this, sql);
    command.execute();
}

// ---- command ----

sqlite3_command::sqlite3_command(sqlite3_connection& connection, const char* sql)
    : connection(connection)
{
    prepare(sql, -1);
}

sqlite3_command::sqlite3_command(sqlite3_connection& connection, const std::string& sql)
    : connection(connection)
{
    prepare(sql.c_str(), static_cast<int>(sql.size()));
}

void sqlite3_command::prepare(const char* sql, int bytes)
{
    reader_count = 0;
    if (!connection.handle)
        throw database_error("database is not open");
    const char* tail = nullptr;
    // The older interface on purpose: only the first statement of the text is compiled.
    if (sqlite3_prepare(connection.handle, sql, bytes, &statement, &tail) != SQLITE_OK)
        throw database_error(connection);
    text.assign(sql, tail ? static_cast<size_t>(tail - sql) : (bytes < 0 ? std::strlen(sql) : bytes));
    column_count = sqlite3_column_count(statement);
}

bool sqlite3_command::reprepare()
{
    // The older interface does not recompile a statement whose schema changed under it
    // (the client altered its database after our last read); do it once, as the engine's
    // newer interface would, so the user sees the real outcome instead of "schema has changed".
    if (rows_since_reset || reprepared)
        return false;
    sqlite3_finalize(statement);
    statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare(connection.handle, text.c_str(), static_cast<int>(text.size()), &statement, &tail) != SQLITE_OK)
        throw database_error(connection);
    column_count = sqlite3_column_count(statement);
    reprepared = true;
    return true;
}

sqlite3_command::~sqlite3_command()
{
    sqlite3_finalize(statement);
}

sqlite3_reader sqlite3_command::open_reader()
{
    return sqlite3_reader(this);
}

void sqlite3_command::execute()
{
    sqlite3_reader reader = open_reader();
    reader.next_row();
    reader.close();
}

// ---- reader ----

sqlite3_reader::sqlite3_reader(sqlite3_command* command) : command(command)
{
    ++command->reader_count;
}

sqlite3_reader::~sqlite3_reader()
{
    close();
}

sqlite3_reader::sqlite3_reader(const sqlite3_reader& other) : command(other.command)
{
    if (command)
        ++command->reader_count;
}

sqlite3_reader& sqlite3_reader::operator=(const sqlite3_reader& other)
{
    if (this != &other) {
        if (other.command)
            ++other.command->reader_count; // before close: other may share our command
        close();
        command = other.command;
    }
    return *this;
}

sqlite3_reader::sqlite3_reader(sqlite3_reader&& other) noexcept : command(other.command)
{
    other.command = nullptr;
}

sqlite3_reader& sqlite3_reader::operator=(sqlite3_reader&& other) noexcept
{
    if (this != &other) {
        close();
        command = other.command;
        other.command = nullptr;
    }
    return *this;
}

bool sqlite3_reader::next_row()
{
    if (!command)
        throw database_error("reader is closed");
    for (;;) {
        const int rc = sqlite3_step(command->statement);
        if (rc == SQLITE_ROW) {
            command->rows_since_reset = true;
            return true;
        }
        if (rc == SQLITE_DONE)
            return false;
        // With the older prepare interface the step only says "SQL logic error"; the real
        // cause is in the connection's message once the statement has been reset.
        if (sqlite3_reset(command->statement) == SQLITE_SCHEMA && command->reprepare())
            continue;
        throw database_error(command->connection);
    }
}

void sqlite3_reader::check(int32_t index) const
{
    if (!command)
        throw database_error("reader is closed");
    if (index > command->column_count - 1)
        throw std::out_of_range("index out of range");
}

int32_t sqlite3_reader::column_int(int32_t index)
{
    check(index);
    return sqlite3_column_int(command->statement, index);
}

int64_t sqlite3_reader::column_int64(int32_t index)
{
    check(index);
    return sqlite3_column_int64(command->statement, index);
}

std::string sqlite3_reader::column_text(int32_t index)
{
    check(index);
    const int n = sqlite3_column_bytes(command->statement, index);
    if (n == 0)
        return std::string();
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(command->statement, index));
    return text ? std::string(text, static_cast<size_t>(n)) : std::string();
}

void sqlite3_reader::close()
{
    if (!command)
        return;
    if (--command->reader_count == 0) {
        sqlite3_reset(command->statement);
        command->rows_since_reset = false;
    }
    command = nullptr;
}

} // namespace sqlite3x
