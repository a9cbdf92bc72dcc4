#pragma once
// Temporary folders and small SQLite fixture databases for tests.
#include <string>

struct sqlite3;

namespace vdxtest {

// A fresh folder under the system's temp dir, removed with everything in it on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs SQL text (several statements allowed) on a database file, creating it if needed.
// Fails the calling test (ADD_FAILURE) with the engine's message on error.
void ExecSql(const std::string& file, const std::string& sql);

// A raw engine connection for a test that needs to hold one open (locks, comparisons).
class RawDb {
public:
    explicit RawDb(const std::string& file);
    ~RawDb();
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    void Exec(const std::string& sql);
    sqlite3* Handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// Bytes of a file (empty when it cannot be read); for checking that a file stayed unchanged.
std::string ReadFileBytes(const std::string& file);

} // namespace vdxtest
