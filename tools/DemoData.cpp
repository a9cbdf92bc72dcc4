#include "DemoData.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace vdxdemo {

namespace {

// ---- deterministic randomness ----

class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    uint64_t below(uint64_t n) { return n ? next() % n : 0; }
    int64_t range(int64_t lo, int64_t hi) { return lo + static_cast<int64_t>(below(static_cast<uint64_t>(hi - lo + 1))); }
    // true with probability per / 1000
    bool chance(int perMille) { return below(1000) < static_cast<uint64_t>(perMille); }
    template <typename T, size_t N>
    const T& pick(const T (&items)[N]) { return items[below(N)]; }

private:
    uint64_t state_;
};

// ---- word lists (UTF-8) ----

const char* const kDrives[] = {"C:\\", "D:\\", "E:\\", "F:\\", "\\\\nas\\share\\"};
const char* const kTopFolders[] = {"Share",  "Музыка",  "Фильмы",  "Downloads", "Книги",
                                   "Сериалы", "Backup",  "Фото",    "Документы", "Games",
                                   "Мультфильмы", "Video", "Soft", "Аудиокниги"};
const char* const kWords[] = {
    "Любэ", "Кино", "Ночной дозор", "Брат 2", "Ирония судьбы", "Весна", "Осень", "Ёлка",
    "Щелкунчик", "Чебурашка", "Жизнь", "Школа", "Отпуск 2019", "Дача", "Концерт", "Сборник",
    "Лучшее", "Новогодний", "Юбилей", "Москва", "Санкт-Петербург", "Байкал", "Эрмитаж",
    "The Beatles", "Pink Floyd", "Metallica", "Linux", "Debian 12", "Photos", "Holiday",
    "Live", "Remastered", "Vol.1", "Vol.2", "Greatest Hits", "Documentary", "Lecture",
    "Мастер и Маргарита", "Война и мир", "Преступление и наказание", "Ёжик в тумане",
    "Поле чудес", "Ну, погоди!", "Щука", "Эхо", "Юла", "Ярославль"};
const char* const kExtensions[] = {"mp3", "flac", "avi", "mkv", "mp4", "pdf", "djvu", "jpg",
                                   "iso", "zip", "rar", "txt", "doc", "epub", "fb2", "ogg"};
// Video DVD files: the duplicates statement leaves them out.
const char* const kDvdNames[] = {"VTS_01_1.VOB", "VIDEO_TS.IFO", "vts_02_0.bup", "VTS_03_2.VOB",
                                 "VIDEO_TS.BUP", "VTS_01_0.IFO", "video_ts.vob", "VTS_12_5.VOB"};
// Names that look close to them but stay.
const char* const kNearDvdNames[] = {"V.VOB", "Movie.VOB", "VTS_01_1.VOB.txt", "AUDIO_TS.IFO",
                                     "video.vob.bak", "Vacation.avi"};

const char* const kNickStems[] = {"Вася", "Петрович", "Медведь", "Ёжик", "Лиса", "Дед_Мороз",
                                  "Kolyan", "Sasha", "Ivan", "Alex", "DarkStar", "Neo",
                                  "Тёма", "Щегол", "Юрец", "Nataly", "Оля", "Катюша",
                                  "Serge", "[RU]Admin", "Sharik", "Доцент", "Хмурый", "ZloyPaPa"};
const char* const kHubHosts[] = {"hub", "dc", "piter", "moscow", "ural", "sibir", "kazan",
                                 "city", "home", "lan", "net", "files", "обмен", "кино", "музыка"};
const char* const kHubZones[] = {".ru", ".net", ".org", ".su", ".рф", ".local", ".com"};
const char* const kHubSchemes[] = {"dchub://", "dchub://", "adc://", "adcs://", "nmdcs://"};

std::string Num(int64_t v) { return std::to_string(v); }

std::string Pad(int64_t v, int width)
{
    std::string s = std::to_string(v);
    return s.size() >= static_cast<size_t>(width) ? s : std::string(width - s.size(), '0') + s;
}

// ---- SQLite helpers ----

struct Db {
    sqlite3* db = nullptr;
    explicit Db(const std::string& file)
    {
        if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
            std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close(db);
            throw std::runtime_error("cannot create " + file + ": " + msg);
        }
    }
    ~Db() { sqlite3_close(db); }
    void exec(const std::string& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string msg = error ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(msg + " in: " + sql);
        }
    }
    int64_t count(const std::string& sql)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        int64_t n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
        sqlite3_finalize(st);
        return n;
    }
};

class Insert {
public:
    Insert(Db& db, const char* sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db.db, sql, -1, &st_, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db.db));
    }
    ~Insert() { sqlite3_finalize(st_); }
    Insert& bind(int i, int64_t v)
    {
        sqlite3_bind_int64(st_, i, v);
        return *this;
    }
    Insert& bind(int i, const std::string& v)
    {
        sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Insert& null(int i)
    {
        sqlite3_bind_null(st_, i);
        return *this;
    }
    void run()
    {
        if (sqlite3_step(st_) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(db_.db));
        sqlite3_reset(st_);
    }

private:
    Db& db_;
    sqlite3_stmt* st_ = nullptr;
};

void RemoveDb(const std::string& file)
{
    std::error_code ec;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        std::filesystem::remove(file + suffix, ec);
}

// Fast bulk writing; the file is switched back to a rollback journal at the end.
void BeginBulk(Db& db)
{
    db.exec("PRAGMA page_size=4096; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
            "PRAGMA cache_size=-65536; BEGIN;");
}

void EndBulk(Db& db)
{
    db.exec("COMMIT; PRAGMA journal_mode=DELETE;");
}

// ---- text makers ----

std::string FolderPath(Rng& rng)
{
    std::string p = rng.pick(kDrives);
    p += rng.pick(kTopFolders);
    p += '\\';
    const int depth = static_cast<int>(rng.range(1, 3));
    for (int i = 0; i < depth; ++i) {
        p += rng.pick(kWords);
        if (rng.chance(200)) {
            p += " (";
            p += Num(rng.range(1960, 2024));
            p += ')';
        }
        p += '\\';
    }
    return p;
}

std::string FileName(Rng& rng)
{
    std::string n;
    if (rng.chance(400)) {
        n = Pad(rng.range(1, 30), 2);
        n += " - ";
    }
    n += rng.pick(kWords);
    if (rng.chance(300)) {
        n += ' ';
        n += rng.pick(kWords);
    }
    n += '.';
    n += rng.pick(kExtensions);
    return n;
}

std::string Nick(Rng& rng, int64_t userNo)
{
    std::string n = kNickStems[static_cast<size_t>(userNo) % (sizeof kNickStems / sizeof *kNickStems)];
    n += '_';
    n += Num(userNo);
    return n;
}

std::string HubUrl(int index)
{
    Rng rng(static_cast<uint64_t>(index) * 7919u + 17u);
    std::string u = rng.pick(kHubSchemes);
    u += rng.pick(kHubHosts);
    u += Num(index);
    u += '.';
    u += rng.pick(kHubHosts);
    u += rng.pick(kHubZones);
    if (rng.chance(700)) {
        u += ':';
        u += Num(rng.chance(500) ? 411 : rng.range(1000, 65000));
    }
    return u;
}

std::string Ip(Rng& rng)
{
    const uint64_t kind = rng.below(100);
    if (kind < 80) { // IPv4
        return Num(rng.range(1, 223)) + "." + Num(rng.range(0, 255)) + "." + Num(rng.range(0, 255)) + "." +
               Num(rng.range(1, 254));
    }
    static const char* hex = "0123456789abcdef";
    auto group = [&](bool full) {
        std::string g;
        const uint64_t v = rng.below(0x10000);
        for (int s = 12; s >= 0; s -= 4) {
            const char c = hex[(v >> s) & 0xF];
            if (full || !g.empty() || c != '0' || s == 0)
                g += c;
        }
        return g;
    };
    if (kind < 90) { // compressed global address
        std::string a = "2a02:" + group(false) + ":" + group(false) + "::" + group(false);
        return a;
    }
    if (kind < 96) { // every group written out: 39 characters
        std::string a;
        for (int i = 0; i < 8; ++i)
            a += (i ? ":" : "") + group(true);
        return a;
    }
    if (kind < 99) // IPv4-mapped
        return "::ffff:" + Num(rng.range(1, 223)) + "." + Num(rng.range(0, 255)) + "." + Num(rng.range(0, 255)) +
               "." + Num(rng.range(1, 254));
    // the longest text form: 45 characters
    return "0000:0000:0000:0000:0000:ffff:" + Num(rng.range(100, 223)) + "." + Num(rng.range(100, 255)) + "." +
           Num(rng.range(100, 255)) + "." + Num(rng.range(100, 254));
}

std::string Date(int64_t epochSeconds)
{
    // Civil date from days since 1970-01-01 (proleptic Gregorian, UTC).
    int64_t days = epochSeconds / 86400;
    int64_t secs = epochSeconds % 86400;
    days += 719468;
    const int64_t era = days / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
    return Num(y) + "-" + Pad(m, 2) + "-" + Pad(d, 2) + " " + Pad(secs / 3600, 2) + ":" + Pad(secs / 60 % 60, 2) +
           ":" + Pad(secs % 60, 2);
}

// ---- the main database ----

void WriteMain(const std::string& file, const DemoOptions& o, DemoStats& stats)
{
    RemoveDb(file);
    Db db(file);
    BeginBulk(db);
    db.exec(R"(
CREATE TABLE vdx_path (id INTEGER PRIMARY KEY, path TEXT NOT NULL);
CREATE TABLE vdx_dup (tth_id INTEGER PRIMARY KEY, tth TEXT, cnt_dup INTEGER, file_size INTEGER,
                      path_id_1 INTEGER, path_id_2 INTEGER, name_max TEXT, name_min TEXT);
CREATE TABLE vdx_hub (id INTEGER PRIMARY KEY, url TEXT);
CREATE TABLE vdx_user (id INTEGER PRIMARY KEY, nick TEXT, hub_id INTEGER);
CREATE TABLE vdx_ratio (id INTEGER PRIMARY KEY, user_id INTEGER, ip TEXT, upload INTEGER, download INTEGER,
                        last_seen INTEGER);
CREATE VIEW v_vdx_dup_file AS
  SELECT d.tth_id AS tth_id, d.cnt_dup AS cnt_dup, p1.path AS path_1, p2.path AS path_2,
         d.name_max AS name_max, d.name_min AS name_min
  FROM vdx_dup d LEFT JOIN vdx_path p1 ON p1.id = d.path_id_1 LEFT JOIN vdx_path p2 ON p2.id = d.path_id_2;
CREATE VIEW v_vdx_ratio AS
  SELECT r.id AS id, r.upload AS upload, r.download AS download, r.ip AS userip, u.nick AS nick, h.url AS hub
  FROM vdx_ratio r LEFT JOIN vdx_user u ON u.id = r.user_id LEFT JOIN vdx_hub h ON h.id = u.hub_id;
)");
    Rng rng(o.seed);

    // Folders, shared by the duplicate groups.
    const int64_t dupRows = o.dupRows >= 0 ? o.dupRows : std::max<int64_t>(20, o.rows / 10);
    const int64_t folders = std::max<int64_t>(8, dupRows / 3);
    {
        Insert ins(db, "INSERT INTO vdx_path (id, path) VALUES (?, ?)");
        for (int64_t i = 1; i <= folders; ++i) {
            std::string p = FolderPath(rng);
            if (i % 7 == 3) // a title set of a video DVD
                p += "VIDEO_TS\\";
            if (i == folders / 2 + 1) { // one path far longer than the field
                while (p.size() < 9000)
                    p += std::string(rng.pick(kWords)) + "\\";
            }
            ins.bind(1, i).bind(2, p).run();
        }
    }
    {
        Insert ins(db, "INSERT INTO vdx_dup (tth_id, tth, cnt_dup, file_size, path_id_1, path_id_2, name_max, name_min)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        static const char* b32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
        for (int64_t i = 1; i <= dupRows; ++i) {
            std::string tth;
            for (int k = 0; k < 39; ++k)
                tth += b32[rng.below(32)];
            std::string a, b;
            const uint64_t kind = rng.below(1000);
            if (kind < 60) {
                a = b = rng.pick(kDvdNames);
            } else if (kind < 80) {
                a = rng.pick(kNearDvdNames);
                b = FileName(rng);
            } else {
                a = FileName(rng);
                b = rng.chance(600) ? a : FileName(rng);
            }
            if (a < b)
                std::swap(a, b);
            if (i % 997 == 500) // a name longer than the field
                while (a.size() < 700)
                    a += "Очень длинное имя файла ";
            ins.bind(1, i).bind(2, tth).bind(3, rng.range(2, rng.chance(50) ? 40 : 5));
            ins.bind(4, rng.chance(20) ? rng.range(5000000000LL, 9000000000LL) : rng.range(0, 800000000));
            // DVD files sit in VIDEO_TS folders (every seventh folder from the third on).
            const bool dvd = kind < 60;
            // The client hashes folder by folder, so a group's folders lie near each other in
            // the folder table, and near those of the groups found just before it.
            const int64_t base = 1 + (i - 1) * folders / dupRows;
            int64_t p1 = std::clamp<int64_t>(base + rng.range(-40, 40), 1, folders);
            if (dvd)
                p1 = std::min<int64_t>(folders, 3 + 7 * (p1 / 7));
            else if (p1 % 7 == 3)
                p1 = p1 == folders ? p1 - 1 : p1 + 1;
            ins.bind(5, p1);
            if (rng.chance(30))
                ins.null(6);
            else
                ins.bind(6, rng.chance(300) || dvd ? p1
                                                   : std::clamp<int64_t>(p1 + rng.range(-3000, 3000), 1, folders));
            if (rng.chance(10))
                ins.null(7);
            else
                ins.bind(7, a);
            if (rng.chance(25))
                ins.null(8);
            else
                ins.bind(8, b);
            ins.run();
        }
    }

    // Hubs, users and their totals.
    const int64_t ratioRows = o.ratioRows >= 0 ? o.ratioRows : o.rows;
    const int hubs = o.hubs > 0 ? o.hubs : static_cast<int>(std::clamp<int64_t>(ratioRows / 2000, 4, 600));
    {
        Insert ins(db, "INSERT INTO vdx_hub (id, url) VALUES (?, ?)");
        for (int h = 1; h <= hubs; ++h)
            ins.bind(1, h).bind(2, HubUrl(h)).run();
    }
    const int64_t users = std::max<int64_t>(1, ratioRows / 3);
    {
        Insert ins(db, "INSERT INTO vdx_user (id, nick, hub_id) VALUES (?, ?, ?)");
        for (int64_t u = 1; u <= users; ++u) {
            ins.bind(1, u);
            if (u % 211 == 7)
                ins.null(2);
            else if (u % 1999 == 11)
                ins.bind(2, Nick(rng, u) + std::string(150, 'x')); // longer than the field
            else
                ins.bind(2, Nick(rng, u));
            // Hubs are used unevenly: a few big ones, a long tail.
            const int64_t hub = rng.chance(500) ? rng.range(1, std::min(hubs, 3)) : rng.range(1, hubs);
            if (u % 503 == 9)
                ins.null(3);
            else
                ins.bind(3, hub);
            ins.run();
        }
    }
    {
        Insert ins(db, "INSERT INTO vdx_ratio (id, user_id, ip, upload, download, last_seen) VALUES (?, ?, ?, ?, ?, ?)");
        auto total = [&](int zeroPerMille) -> int64_t {
            const uint64_t k = rng.below(1000);
            if (k < static_cast<uint64_t>(zeroPerMille))
                return 0;
            if (k < static_cast<uint64_t>(zeroPerMille) + 15)
                return 1;
            if (k < static_cast<uint64_t>(zeroPerMille) + 25) // beyond 2^53: not exact as a double
                return (int64_t(1) << 53) + 1 + static_cast<int64_t>(rng.below(1000000)) * 2;
            if (k < static_cast<uint64_t>(zeroPerMille) + 27)
                return INT64_MAX - static_cast<int64_t>(rng.below(1000));
            return rng.range(2, rng.chance(100) ? 500000000000LL : 4000000000LL);
        };
        for (int64_t i = 1; i <= ratioRows; ++i) {
            // Connections are stored as they happen: mostly users seen lately.
            const int64_t recent = 1 + (i - 1) * users / ratioRows;
            ins.bind(1, i).bind(2, rng.chance(900) ? std::clamp<int64_t>(recent + rng.range(-200, 200), 1, users)
                                                   : rng.range(1, users));
            if (rng.chance(15))
                ins.null(3);
            else
                ins.bind(3, Ip(rng));
            if (rng.chance(20))
                ins.null(4);
            else
                ins.bind(4, total(450));
            if (rng.chance(20))
                ins.null(5);
            else
                ins.bind(5, total(350));
            ins.bind(6, 1672531200 + static_cast<int64_t>(rng.below(60000000)));
            ins.run();
        }
    }
    EndBulk(db);

    stats.dupRows = dupRows;
    stats.ratioRows = ratioRows;
    stats.hubs = hubs;
    stats.dupVisible = db.count(
        "SELECT count(*) from v_vdx_dup_file where name_max not like 'V%_%.VOB'\nand name_max not like "
        "'V%_%.IFO' and name_max not like 'V%_%.BUP'");
    stats.ratioWithTraffic = db.count("SELECT count(*) FROM v_vdx_ratio WHERE download > 0 or upload > 0");
}

// ---- the log database ----

void WriteLog(const std::string& file, const DemoOptions& o, DemoStats& stats)
{
    RemoveDb(file);
    Db db(file);
    BeginBulk(db);
    db.exec("CREATE TABLE vdx_log (id INTEGER PRIMARY KEY, file TEXT, sdate TEXT, body TEXT, nick TEXT);");
    Rng rng(o.seed ^ 0x5bd1e995u);
    Insert ins(db, "INSERT INTO vdx_log (id, file, sdate, body, nick) VALUES (?, ?, ?, ?, ?)");
    int64_t t = 1672531200; // 2023-01-01
    const int64_t users = std::max<int64_t>(1, o.rows / 3);
    std::string body, fileName, nick;
    for (int64_t i = 1; i <= o.rows; ++i) {
        t += rng.range(0, 40);
        const uint64_t kind = rng.below(100);
        const int64_t userNo = rng.range(1, users);
        nick = Nick(rng, userNo);
        fileName = FolderPath(rng) + FileName(rng);
        bool withFile = true, withNick = true;
        if (kind < 30) {
            body = "Файл " + fileName + " отдан пользователю " + nick + " (" + Num(rng.range(1, 900000000)) + " байт)";
        } else if (kind < 50) {
            body = "Upload finished: " + fileName + " to " + nick + ", " + Num(rng.range(10, 99000)) + " KiB/s";
        } else if (kind < 65) {
            body = "Загрузка файла " + fileName + " завершена";
        } else if (kind < 75) {
            body = "Пользователь " + nick + " подключился к хабу " + HubUrl(static_cast<int>(rng.range(1, 50)));
            withFile = false;
        } else if (kind < 85) {
            body = "Ошибка соединения с " + Ip(rng) + ": время ожидания истекло";
            withFile = false;
        } else if (kind < 95) {
            body = "Hash database rebuilt: " + Num(rng.range(100, 200000)) + " files, " +
                   Num(rng.range(1, 4000)) + " GiB";
            withFile = withNick = false;
        } else {
            body = "Поиск «" + std::string(rng.pick(kWords)) + "»: найдено " + Num(rng.range(0, 500)) + " файлов";
            withFile = false;
        }
        if (i % 4999 == 1234) // a message longer than the field
            while (body.size() < 3000)
                body += " Подробности: соединение сброшено удалённой стороной.";
        ins.bind(1, i);
        if (withFile)
            ins.bind(2, fileName);
        else
            ins.null(2);
        if (i % 1009 == 77) // a date the client wrote in words
            ins.bind(3, "1 января 2023 г. 00:00");
        else if (i % 5003 == 101)
            ins.null(3);
        else
            ins.bind(3, Date(t));
        if (i % 3001 == 5)
            ins.null(4);
        else
            ins.bind(4, body);
        if (withNick)
            ins.bind(5, nick);
        else
            ins.null(5);
        ins.run();
    }
    EndBulk(db);
    stats.logRows = o.rows;
}

} // namespace

std::string MainDbPath(const std::string& folder) { return folder + "/Settings/Vandrix.sqlite"; }
std::string LogDbPath(const std::string& folder) { return folder + "/Settings/Vandrix_log.sqlite"; }

DemoStats GenerateDemo(const std::string& folder, const DemoOptions& options)
{
    if (options.rows < 0)
        throw std::runtime_error("rows must not be negative");
    std::error_code ec;
    std::filesystem::create_directories(folder + "/Settings", ec);
    if (ec)
        throw std::runtime_error("cannot create " + folder + "/Settings: " + ec.message());
    DemoStats stats;
    WriteMain(MainDbPath(folder), options, stats);
    WriteLog(LogDbPath(folder), options, stats);
    return stats;
}

} // namespace vdxdemo
