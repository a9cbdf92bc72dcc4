// Writing the file: replacement only by a complete file, the errors, the format's limits,
// and the buffered stream underneath.
#include "support/DbFixture.h"
#include "ExportFixture.h"
#include "platform/Cp1251.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace exporttest;

namespace {

// A one-column integer grid with n rows: n + 2 sheet rows with heading and footer.
struct TCountGrid {
    TGridFixture f;
    explicit TCountGrid(int rows)
    {
        f.Table.AddField("n", ftInteger);
        f.Grid.KeyField = "n";
        f.AddColumn("n", "N", 50).SummaryFooterType = cstSum;
        f.Attach(50);
        f.Table.FreezeControls();
        for (int i = 0; i < rows; ++i)
            f.AddRow({i});
        f.Table.ReleaseControls();
    }
};

// Records what reaches the file and fails the chosen write.
struct TFaultHook {
    std::vector<std::pair<uint64_t, size_t>> Writes;
    std::function<bool(uint64_t, size_t)> Fail = [](uint64_t, size_t) { return false; };
    TFaultHook()
    {
        TFileStream::SetWriteFaultHook([this](uint64_t offset, size_t size) {
            Writes.emplace_back(offset, size);
            return !Fail(offset, size);
        });
    }
    ~TFaultHook() { TFileStream::SetWriteFaultHook(nullptr); }
};

mode_t ModeOf(const std::string& file)
{
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(SaveToXls, WritesTheWholeFileAndReplacesAnExistingOne)
{
    TCountGrid g(5);
    vdxtest::TempFolder folder;
    const std::string target = folder.File("out.xls");

    SaveToXLS(g.f.Grid, target, true);
    EXPECT_EQ(vdxtest::ReadFileBytes(target), ExportBytes(g.f.Grid));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(ModeOf(target), 0666 & ~mask);

    WriteFile(target, "old content");
    ::chmod(target.c_str(), 0640);
    SaveToXLS(g.f.Grid, target, true);
    EXPECT_EQ(vdxtest::ReadFileBytes(target), ExportBytes(g.f.Grid));
    EXPECT_EQ(ModeOf(target), 0640u);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"out.xls"});
}

TEST(SaveToXls, ALinkAsTargetReplacesTheFileItPointsTo)
{
    TCountGrid g(2);
    vdxtest::TempFolder folder;
    ASSERT_EQ(::mkdir(folder.File("real").c_str(), 0755), 0);
    WriteFile(folder.File("real/data.xls"), "old");
    ASSERT_EQ(::symlink("real/data.xls", folder.File("link.xls").c_str()), 0);
    SaveToXLS(g.f.Grid, folder.File("link.xls"), true);
    struct stat st {};
    ASSERT_EQ(::lstat(folder.File("link.xls").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(vdxtest::ReadFileBytes(folder.File("real/data.xls")), ExportBytes(g.f.Grid));
    EXPECT_EQ(FolderEntries(folder.File("real")), std::vector<std::string>{"data.xls"});
}

TEST(SaveToXls, GridWithoutDataSourceGivesAnEmptyFile)
{
    TGridEngine grid;
    vdxtest::TempFolder folder;
    WriteFile(folder.File("out.xls"), "old");
    SaveToXLS(grid, folder.File("out.xls"), true);
    EXPECT_EQ(vdxtest::ReadFileBytes(folder.File("out.xls")), "");
}

TEST(SaveToXls, AFolderThatCannotTakeTheFileGivesCannotCreate)
{
    TCountGrid g(3);
    vdxtest::TempFolder folder;
    WriteFile(folder.File("file-not-dir"), "a file");
    ASSERT_EQ(::mkdir(folder.File("dir").c_str(), 0755), 0);
    WriteFile(folder.File("dir/inside"), "kept");
    const std::vector<std::string> before = FolderEntries(folder.Path());
    for (const std::string& target : {folder.File("missing/out.xls"), folder.File("file-not-dir/out.xls"),
                                      folder.File("dir"), folder.File("нет/отчёт.xls"), folder.Path() + "/"}) {
        SCOPED_TRACE(target);
        EXPECT_EQ(ErrorOf([&] { SaveToXLS(g.f.Grid, target, true); }),
                  "Cannot create file " + Utf8ToCp1251(target));
        EXPECT_EQ(FolderEntries(folder.Path()), before);
    }
    EXPECT_EQ(vdxtest::ReadFileBytes(folder.File("file-not-dir")), "a file");
    EXPECT_EQ(FolderEntries(folder.File("dir")), std::vector<std::string>{"inside"});
}

TEST(SaveToXls, AWriteFailureLeavesTheOldFileAndNoTemporaryFile)
{
    TCountGrid g(12000);   // over two buffers of output
    const size_t size = ExportBytes(g.f.Grid).size();
    ASSERT_GT(size, 2u * 64 * 1024);
    struct Case {
        const char* name;
        std::function<bool(uint64_t, size_t)> fail;
    };
    const std::vector<Case> cases = {
        {"first write", [](uint64_t, size_t) { return true; }},
        {"part-way", [](uint64_t offset, size_t) { return offset >= 64 * 1024; }},
        {"last write", [size](uint64_t offset, size_t n) { return offset + n == size; }},
    };
    for (const Case& c : cases) {
        for (bool existing : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (existing ? ", over an existing file" : ", new file"));
            vdxtest::TempFolder folder;
            const std::string target = folder.File("out.xls");
            if (existing)
                WriteFile(target, "old content");
            TFaultHook hook;
            hook.Fail = c.fail;
            EXPECT_EQ(ErrorOf([&] { SaveToXLS(g.f.Grid, target, true); }), "Stream write error");
            EXPECT_FALSE(hook.Writes.empty());
            if (existing) {
                EXPECT_EQ(vdxtest::ReadFileBytes(target), "old content");
                EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"out.xls"});
            } else {
                EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{});
            }
        }
    }
}

TEST(SaveToXls, SheetRowLimitIsCheckedBeforeAnyFileIsMade)
{
    {
        // Heading + 16,382 rows + footer fill the sheet exactly.
        TCountGrid g(16382);
        vdxtest::TempFolder folder;
        SaveToXLS(g.f.Grid, folder.File("full.xls"), true);
        const std::vector<TXlsRecord> records = SplitRecords(vdxtest::ReadFileBytes(folder.File("full.xls")));
        ASSERT_GE(records.size(), 2u);
        const TXlsRecord& formula = records[records.size() - 2];
        ASSERT_EQ(formula.Id, 0x0406);
        EXPECT_EQ(ToHex(formula.Data.substr(0, 2)), "FF 3F");       // row 16383
        EXPECT_EQ(ToHex(formula.Data.substr(19, 4)), "01 C0 FE FF");  // rows 1 to 16382
    }
    struct Case {
        const char* name;
        std::function<void(TGridFixture&)> fill;
        const char* message;
    };
    auto ratio = [](int hubs) {
        return [hubs](TGridFixture& f) {
            ConfigureRatioLike(f);
            std::vector<std::vector<TGridFixture::TValue>> rows;
            for (int i = 0; i < hubs; ++i)
                rows.push_back({i, 1.0, 2.0, "ip", "nick", "hub" + std::to_string(i)});
            f.AddRows(rows);
        };
    };
    const std::vector<Case> cases = {
        {"one row too many",
         [](TGridFixture& f) {
             f.Table.AddField("n", ftInteger);
             f.AddColumn("n", "N", 50);
             f.Attach(50);
             std::vector<std::vector<TGridFixture::TValue>> rows(16383, {0});
             f.AddRows(rows);
         },
         "Строк данных: 16383, а в файл .xls помещается не больше 16382. Сохраните в формате .xlsx."},
        // each hub takes a group row, its data row and its footer row
        // 16,388 sheet rows; the heading, the footer and 5,462 group rows with their
        // footers leave room for 5,458 data rows
        {"group and footer rows count", ratio(5462),
         "Строк данных: 5462, а в файл .xls помещается не больше 5458. Сохраните в формате .xlsx."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TGridFixture f;
        c.fill(f);
        vdxtest::TempFolder folder;
        const std::string target = folder.File("out.xls");
        WriteFile(target, "old content");
        TFaultHook hook;
        hook.Fail = [](uint64_t, size_t) { return false; };
        EXPECT_EQ(ErrorOf([&] { SaveToXLS(f.Grid, target, true); }), A(c.message));
        EXPECT_TRUE(hook.Writes.empty());
        EXPECT_EQ(vdxtest::ReadFileBytes(target), "old content");
        EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"out.xls"});
    }
}

TEST(SaveToXls, MoreColumnsThanTheFileCanNumberAreRefused)
{
    TGridFixture f;
    f.Table.AddField("n", ftInteger);
    for (int i = 0; i < 247; ++i)
        f.AddColumn("n", "N", 5);
    f.Attach(247 * 5);
    vdxtest::TempFolder folder;
    EXPECT_EQ(ErrorOf([&] { SaveToXLS(f.Grid, folder.File("wide.xls"), true); }),
              A("Столбцов: 247, а в файл .xls помещается не больше 246."));
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{});
    f.Grid.Column(0).Visible = false;
    f.Grid.LayoutChanged();
    SaveToXLS(f.Grid, folder.File("wide.xls"), true);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"wide.xls"});
}

// ---------------------------------------------------------------------------------------

TEST(FileStream, SmallWritesReachTheFileInFullBuffers)
{
    vdxtest::TempFolder folder;
    const std::string file = folder.File("s.bin");
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    std::string expected;
    TFaultHook hook;
    {
        TFileStream stream(fd, 16);
        for (int i = 0; i < 10; ++i) {
            const std::string piece(static_cast<size_t>(i % 4 + 1), static_cast<char>('a' + i));
            stream.Write(piece.data(), piece.size());
            expected += piece;
        }
        const std::string big(40, 'Z');   // larger than the buffer
        stream.Write(big.data(), big.size());
        expected += big;
        stream.Write("end", 3);
        expected += "end";
        stream.Flush();
        EXPECT_EQ(stream.Written(), expected.size());
    }
    ::close(fd);
    EXPECT_EQ(vdxtest::ReadFileBytes(file), expected);
    const std::vector<std::pair<uint64_t, size_t>> writes = {{0, 16}, {16, 16}, {32, 31}, {63, 3}};
    EXPECT_EQ(hook.Writes, writes);
}

TEST(FileStream, AfterAFailedWriteEveryWriteFails)
{
    vdxtest::TempFolder folder;
    const int fd = ::open(folder.File("s.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    TFaultHook hook;
    hook.Fail = [](uint64_t offset, size_t) { return offset >= 8; };
    TFileStream stream(fd, 8);
    stream.Write("12345678", 8);
    EXPECT_EQ(ErrorOf([&] { stream.Write("9", 1); stream.Flush(); }), "Stream write error");
    EXPECT_EQ(ErrorOf([&] { stream.Write("x", 1); }), "Stream write error");
    EXPECT_EQ(ErrorOf([&] { stream.Flush(); }), "Stream write error");
    ::close(fd);
    EXPECT_EQ(vdxtest::ReadFileBytes(folder.File("s.bin")), "12345678");
}

TEST(FileStream, AFullDiskIsAStreamWriteError)
{
    const int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0)
        GTEST_SKIP() << "no /dev/full";
    TFileStream stream(fd);
    stream.Write("abc", 3);
    EXPECT_EQ(ErrorOf([&] { stream.Flush(); }), "Stream write error");
    ::close(fd);
}
