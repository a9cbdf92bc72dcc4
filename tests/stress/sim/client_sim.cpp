// Stands in for the Vandrix client writing its databases while the viewer reads them:
// keeps inserting into and updating the tables behind the statistics view (of the demo
// generator's design) and the log
// (one row in, the oldest out, so the tables keep their size) until it is stopped (SIGTERM) or its time is up.
//   vdx-client-sim <client folder> <seconds> [wal]
#include <sqlite3.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

static volatile std::sig_atomic_t stop = 0;

static void Exec(sqlite3* db, const char* sql)
{
    // The client waits for the viewer's short read locks.
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    std::signal(SIGTERM, [](int) { stop = 1; });
    const std::string folder = argv[1];
    const double seconds = std::atof(argv[2]);
    const bool wal = argc > 3 && std::string(argv[3]) == "wal";
    sqlite3* main_db = nullptr;
    sqlite3* log_db = nullptr;
    if (sqlite3_open((folder + "/Settings/Vandrix.sqlite").c_str(), &main_db) != SQLITE_OK ||
        sqlite3_open((folder + "/Settings/Vandrix_log.sqlite").c_str(), &log_db) != SQLITE_OK)
        return 1;
    for (sqlite3* db : {main_db, log_db}) {
        sqlite3_busy_timeout(db, 2000);
        Exec(db, wal ? "PRAGMA journal_mode=WAL;" : "PRAGMA journal_mode=DELETE;");
    }
    const std::time_t end = std::time(nullptr) + static_cast<std::time_t>(seconds);
    long n = 0;
    while (!stop && std::time(nullptr) < end) {
        char sql[512];
        std::snprintf(sql, sizeof sql,
                      "BEGIN; UPDATE vdx_ratio SET upload = upload + %ld WHERE id %% 7 = %ld;"
                      " INSERT INTO vdx_ratio(user_id, ip, upload, download, last_seen)"
                      " VALUES(%ld, '10.1.%ld.%ld', %ld, %ld, %ld);"
                      " DELETE FROM vdx_ratio WHERE id = (SELECT min(id) FROM vdx_ratio); COMMIT;",
                      n % 1000, n % 7, n % 50 + 1, (n / 250) % 250, n % 250, n * 3 + 2, n * 5 + 2, n);
        Exec(main_db, sql);
        std::snprintf(sql, sizeof sql,
                      "BEGIN; INSERT INTO vdx_log(file, sdate, body, nick) VALUES('sim.txt', '2026-12-10 12:00:%02ld',"
                      " 'Запись клиента %ld', 'sim');"
                      " DELETE FROM vdx_log WHERE id = (SELECT min(id) FROM vdx_log); COMMIT;",
                      n % 60, n);
        Exec(log_db, sql);
        ++n;
    }
    sqlite3_close(main_db);
    sqlite3_close(log_db);
    std::printf("%ld\n", n);
    return 0;
}
