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
    }
    void TearDown() override
    {
        if (mounted)
            ::umount2(dir.c_str(), MNT_DETACH);
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
            SaveToXLS(f.Grid, target, true);
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
    Fill(2000);   // far more than 64 KiB of sheet
    EXPECT_EQ(Error(dir + "/out.xls"), "Stream write error");
    EXPECT_EQ(vdxtest::ReadFileBytes(dir + "/out.xls"), "old content");
    EXPECT_EQ(Entries(), std::vector<std::string>{"out.xls"});
    // Once there is room again the same export works.
    f.Table.CloseTable();
    f.Table.OpenTable();
    f.AddRow({1, std::string("fits")});
    EXPECT_EQ(Error(dir + "/out.xls"), "(no error)");
    EXPECT_NE(vdxtest::ReadFileBytes(dir + "/out.xls"), "old content");
}

TEST_F(SmallFileSystem, ReadOnlyFolderCannotCreateAndLeavesTheTarget)
{
    Fill(3);
    ASSERT_EQ(::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
    EXPECT_EQ(Error(dir + "/out.xls"), "Cannot create file " + Utf8ToCp1251(dir + "/out.xls"));
    EXPECT_EQ(vdxtest::ReadFileBytes(dir + "/out.xls"), "old content");
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
