// Exports meeting real file-system trouble: a full file system, a read-only folder and a
// target another process holds open. Needs the rights to mount a small tmpfs.
#include "ExportFixture.h"
#include "export/GridExport.h"
#include "platform/Cp1251.h"
#include "support/DbFixture.h"
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace exporttest;
namespace fs = std::filesystem;

namespace {

class SmallFileSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = temp.File("mnt");
        fs::create_directory(dir);
        if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here";
        mounted = true;
        std::ofstream(dir + "/out.xls") << "old content";
        std::ofstream(dir + "/out.xlsx") << "old content";
    }
    void TearDown() override
    {
        if (mounted)
            ::umount2(dir.c_str(), MNT_DETACH);
    }
    // Texts that do not compress, so that the packed .xlsx is as big as its sheet.
    void FillNoise(int rows)
    {
        f.Table.AddField("n", ftInteger);
        f.Table.AddField("s", ftString, 100);
        f.AddColumn("n", "N", 50);
        f.AddColumn("s", "S", 200);
        f.Attach(300);
        uint32_t seed = 7;
        f.Table.FreezeControls();
        for (int i = 0; i < rows; ++i) {
            std::string text(90, ' ');
            for (char& c : text)
                c = static_cast<char>('!' + (seed = seed * 1103515245u + 12345u) % 90);
            f.AddRow({i, text});
        }
        f.Table.ReleaseControls();
    }
    void Fill(int rows)
    {
        f.Table.AddField("n", ftInteger);
        f.Table.AddField("s", ftString, 100);
        f.Grid.KeyField = "n";
        f.AddColumn("n", "N", 50);
        f.AddColumn("s", "S", 200);
        f.Attach(300);
        f.Table.FreezeControls();
        for (int i = 0; i < rows; ++i)
            f.AddRow({i, std::string(90, 'a' + i % 26)});
        f.Table.ReleaseControls();
    }
    std::string Error(const std::string& target)
    {
        try {
            SaveGridAs(f.Grid, target, true);
        } catch (const Exception& e) {
            return e.Message;
        }
        return "(no error)";
    }
    std::vector<std::string> Entries()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        return names;
    }

    vdxtest::TempFolder temp;
    std::string dir;
    bool mounted = false;
    TGridFixture f;
};

TEST_F(SmallFileSystem, FullFileSystemIsAStreamWriteErrorAndTheOldFileStays)
{
    FillNoise(2000);   // far more than 64 KiB of sheet, packed or not
    const std::vector<std::string> both = {"out.xls", "out.xlsx"};
    for (const std::string& name : both) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Error(dir + "/" + name), "Stream write error");
        EXPECT_EQ(vdxtest::ReadFileBytes(dir + "/" + name), "old content");
        EXPECT_EQ(Entries().size(), 2u);
    }
    // Once there is room again the same export works.
    f.Table.CloseTable();
    f.Table.OpenTable();
    f.AddRow({1, std::string("fits")});
    for (const std::string& name : both) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Error(dir + "/" + name), "(no error)");
        EXPECT_NE(vdxtest::ReadFileBytes(dir + "/" + name), "old content");
    }
    EXPECT_EQ(Entries().size(), 2u);
}

TEST_F(SmallFileSystem, ReadOnlyFolderCannotCreateAndLeavesTheTarget)
{
    Fill(3);
    ASSERT_EQ(::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
    for (const std::string name : {"out.xls", "out.xlsx"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Error(dir + "/" + name), "Cannot create file " + Utf8ToCp1251(dir + "/" + name));
        EXPECT_EQ(vdxtest::ReadFileBytes(dir + "/" + name), "old content");
    }
}

// A folder that takes no new file, with a target the user may write: the target is
// written in place. Run as another user, since root may create files anywhere.
TEST_F(SmallFileSystem, FolderWithoutRoomForANewFileGetsTheTargetWrittenInPlace)
{
    Fill(3);
    for (const char* name : {"out.xls", "out.xlsx"})
        ASSERT_EQ(::chmod((dir + "/" + name).c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(temp.Path().c_str(), 0755), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0)
            _exit(10);
        if (::access(dir.c_str(), W_OK) == 0)
            _exit(11);   // still allowed to make files here: the case cannot be shown
        for (const char* name : {"out.xls", "out.xlsx"})
            if (Error(dir + "/" + name) != "(no error)")
                _exit(12);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10 || WEXITSTATUS(status) == 11)
        GTEST_SKIP() << "cannot take away the right to make files here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(vdxtest::ReadFileBytes(dir + "/out.xls").substr(0, 2), std::string("\x09\x04", 2));
    EXPECT_EQ(vdxtest::ReadFileBytes(dir + "/out.xlsx").substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(Entries().size(), 2u);
    ::chmod(dir.c_str(), 0755);
}

TEST_F(SmallFileSystem, TargetHeldOpenByAnotherProcessIsReplacedWhole)
{
    Fill(3);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        std::ifstream held(dir + "/out.xls");
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(Error(dir + "/out.xls"), "(no error)");
    const std::string bytes = vdxtest::ReadFileBytes(dir + "/out.xls");
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\x09\x04", 2));                    // BOF first
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x0A\x00\x00\x00", 4)); // EOF last
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
}

} // namespace

namespace {

// The disk filling up at any point of the .xlsx writer's work, its cell files, its packing
// or the archive itself: either a whole new file or the old one, no file left behind, and
// the space given back.
TEST_F(SmallFileSystem, AnyPointOfAFullDiskLeavesTheOldXlsxOrAWholeNewOne)
{
    FillNoise(700);
    int failed = 0, written = 0;
    for (int rows = 50; rows <= 700; rows += 50) {
        SCOPED_TRACE(rows);
        f.Table.CloseTable();
        f.Table.OpenTable();
        f.Table.FreezeControls();
        for (int i = 0; i < rows; ++i)
            f.AddRow({i, std::string(90, static_cast<char>('!' + (i * 7919 + rows) % 90)) + std::to_string(i * 104729)});
        f.Table.ReleaseControls();
        std::ofstream(dir + "/out.xlsx", std::ios::trunc) << "old content";
        const std::string error = Error(dir + "/out.xlsx");
        const std::string bytes = vdxtest::ReadFileBytes(dir + "/out.xlsx");
        if (error == "(no error)") {
            ++written;
            EXPECT_EQ(bytes.substr(0, 4), "PK\x03\x04");
        } else {
            ++failed;
            EXPECT_EQ(error, "Stream write error");
            EXPECT_EQ(bytes, "old content");
        }
        EXPECT_EQ(Entries().size(), 2u);
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(written, 0);
    f.Table.CloseTable();
    f.Table.OpenTable();
    f.AddRow({1, std::string("fits")});
    EXPECT_EQ(Error(dir + "/out.xlsx"), "(no error)");
}

} // namespace
