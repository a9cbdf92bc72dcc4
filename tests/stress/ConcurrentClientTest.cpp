// The viewer reloading while a client process writes the same files, in rollback-journal
// and in WAL mode: no crash, no hang, every reload complete or the engine's message, and
// memory flat across the reloads.
#include "DemoData.h"
#include "app/VandrixDiscover.h"
#include "platform/Exception.h"
#include "support_qt/AppFixture.h"
#include <QComboBox>
#include <QProcess>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

namespace {

long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

class ClientWriting : public ::testing::TestWithParam<const char*> {};

TEST_P(ClientWriting, ReloadsCompleteOrReportTheEngineAndMemoryStaysFlat)
{
    ClientFolder folder;
    vdxdemo::DemoOptions options;
    options.rows = 2000;
    options.seed = 11;
    vdxdemo::GenerateDemo(folder.Path(), options);

    // Started before the client, as a user would; the reloads are what meet its writes.
    TVandrixDiscover window;
    QProcess client;
    client.start(VDX_CLIENT_SIM, {QString::fromStdString(folder.Path()), "600", GetParam()});
    ASSERT_TRUE(client.waitForStarted());
    usleep(300 * 1000);
    std::map<std::string, int> failures;
    int ratioOk = 0, logOk = 0;
    long afterTenth = 0;
    for (int i = 1; i <= 1000; ++i) {
        try {
            window.m_ShowAllIPClick();
            ++ratioOk;
            EXPECT_GT(window.m_RatioMemoryData->GetRecordCount(), 0);
            EXPECT_EQ(window.m_vdx_ratio_DBGrid->Engine().DataRowCount(),
                      window.m_RatioMemoryData->GetRecordCount());
        } catch (const Exception& e) {
            ++failures[e.Message];
        }
        EXPECT_EQ(window.m_RatioMemoryData->FreezeCount(), 0);
        if (i % 10 == 0) {
            window.m_LimitBox->setCurrentIndex(3);
            try {
                window.m_SearchButtonClick();
                ++logOk;
                EXPECT_GT(window.m_LogsData->GetRecordCount(), 1000);
            } catch (const Exception& e) {
                ++failures[e.Message];
            }
        }
        if (i == 10)
            afterTenth = ResidentBytes();
    }
    const long afterLast = ResidentBytes();
    client.terminate();
    ASSERT_TRUE(client.waitForFinished(10000));
    const long writes = client.readAllStandardOutput().trimmed().toLong();

    for (const auto& [message, count] : failures)
        EXPECT_TRUE(message == "database is locked" || message == "database table is locked")
            << message << " x" << count;
    // Without a busy handler a reader fails at once while the client holds its write lock;
    // in WAL mode readers never wait for the writer.
    const bool wal = std::string(GetParam()) == "wal";
    EXPECT_GT(ratioOk, wal ? 990 : 0);
    EXPECT_GT(logOk, wal ? 99 : 0);
    EXPECT_GT(writes, 0);
    EXPECT_LE(afterLast, afterTenth + afterTenth / 20)
        << "resident after the tenth reload " << afterTenth << ", after the last " << afterLast;
    std::printf("mode=%s reloads ok=%d log ok=%d failures=%zu client writes=%ld rss10=%ld rss_last=%ld\n",
                GetParam(), ratioOk, logOk, failures.size(), writes, afterTenth, afterLast);
}

INSTANTIATE_TEST_SUITE_P(Modes, ClientWriting, ::testing::Values("delete", "wal"));

} // namespace
