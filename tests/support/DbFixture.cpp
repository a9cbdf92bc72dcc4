#include "DbFixture.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vdxtest {

TempFolder::TempFolder()
{
    std::string base = std::filesystem::temp_directory_path().string() + "/vdxtest-XXXXXX";
    if (!mkdtemp(base.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = base;
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void ExecSql(const std::string& file, const std::string& sql)
{
    RawDb db(file);
    db.Exec(sql);
}

RawDb::RawDb(const std::string& file)
{
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK)
        ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(db_);
}

RawDb::~RawDb()
{
    sqlite3_close(db_);
}

void RawDb::Exec(const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        ADD_FAILURE() << "SQL failed: " << (error ? error : "?") << "\n" << sql;
        sqlite3_free(error);
    }
}

std::string ReadFileBytes(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace vdxtest
