#include "edf_reader.h"

#include "recording/edf_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

struct LayoutCase {
    int rate;
    int packets, samples, duration10us;
};

class RecordLayoutCase : public testing::TestWithParam<LayoutCase> {};

TEST_P(RecordLayoutCase, HoldsWholePacketsInAnExactDurationOfASecondWhereTheRateAllows)
{
    RecordLayout l = RecordLayoutFor(GetParam().rate);
    EXPECT_EQ(l.packets, GetParam().packets);
    EXPECT_EQ(l.samples, GetParam().samples);
    EXPECT_EQ(l.duration10us, GetParam().duration10us);
}

INSTANTIATE_TEST_SUITE_P(Rates, RecordLayoutCase,
                         testing::Values(LayoutCase{256, 64, 256, 100000}, LayoutCase{4096, 1024, 4096, 100000},
                                         LayoutCase{1000, 250, 1000, 100000}, LayoutCase{100, 25, 100, 100000},
                                         // 62 packets: 248 samples in 0.992 s
                                         LayoutCase{250, 62, 248, 99200},
                                         // a prime rate: only 257 packets last a whole number of 10 us
                                         LayoutCase{257, 257, 1028, 400000}, LayoutCase{3, 3, 12, 400000},
                                         LayoutCase{1, 1, 4, 400000}, LayoutCase{0, 0, 0, 0}));

class EdfWriterTest : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/edf-writer-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_path = (m_dir / "w.edf").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    bool Begin(CEdfWriter& w, int rate = 4)
    {
        EdfHeader h;
        h.sampleRate = rate;
        h.equipment = "Test";
        h.start = std::chrono::system_clock::now();
        return w.Create(m_path) && w.Begin(h);
    }
    static void AddPackets(CEdfWriter& w, int n, WORD value = 32768)
    {
        WORD values[32];
        for (WORD& v : values) v = value;
        for (int i = 0; i < n; ++i) w.AddPacket(values);
    }

    fs::path m_dir;
    std::string m_path;
};

TEST_F(EdfWriterTest, TheWholeSixteenBitRangeComesBackExactlyThroughBothReaders)
{
    CEdfWriter w;
    ASSERT_TRUE(Begin(w, 4));  // one packet a record
    const WORD extremes[] = {0, 1, 32767, 32768, 32769, 65534, 65535, 12800};
    for (WORD v : extremes) AddPackets(w, 1, v);
    ASSERT_TRUE(w.Close());

    EdfContents file = ReadWithEdflib(m_path);
    ASSERT_TRUE(file.opened);
    GdfContents gdf = ReadWithSave2gdf(m_path, m_dir.string());
    ASSERT_TRUE(gdf.ran);
    for (int c = 0; c < 8; ++c) {
        ASSERT_EQ(file.digital[size_t(c)].size(), 32u);
        ASSERT_EQ(gdf.values[size_t(c)].size(), 32u);
        for (size_t k = 0; k < 32; ++k) {
            EXPECT_EQ(file.digital[size_t(c)][k], int(extremes[k / 4]) - 32768);
            EXPECT_EQ(file.physical[size_t(c)][k], double(extremes[k / 4]));
            EXPECT_EQ(gdf.values[size_t(c)][k], double(extremes[k / 4]));
        }
    }
}

TEST_F(EdfWriterTest, EachFrameGoesToItsChannelsSignal)
{
    CEdfWriter w;
    ASSERT_TRUE(Begin(w, 4));
    WORD values[32];
    for (int i = 0; i < 32; ++i) values[i] = WORD(1000 + i);  // value 8f + c
    w.AddPacket(values);
    ASSERT_TRUE(w.Close());
    EdfContents file = ReadWithEdflib(m_path);
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(file.physical[size_t(c)], (std::vector<double>{1000.0 + c, 1008.0 + c, 1016.0 + c, 1024.0 + c}))
            << "signal " << c;
}

TEST_F(EdfWriterTest, APartialLastRecordIsLeftOutAndCounted)
{
    CEdfWriter w;
    ASSERT_TRUE(Begin(w, 256));
    AddPackets(w, 64 + 40);
    EXPECT_EQ(w.PacketsToFinishRecord(), 24u);
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(w.RecordsWritten(), 1u);
    EXPECT_EQ(w.PacketsLeftOut(), 40u);
    EXPECT_EQ(ReadWithEdflib(m_path).digital[0].size(), 256u);
}

TEST_F(EdfWriterTest, NoWholeRecordMeansNoFile)
{
    CEdfWriter w;
    ASSERT_TRUE(Begin(w, 256));
    AddPackets(w, 10);
    w.Annotate(0, "Stream start");
    EXPECT_FALSE(w.Close());
    EXPECT_EQ(w.LastError(), "not one whole data record arrived");
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(EdfWriterTest, MoreEventsThanTheRecordsHoldAreSummedUpImportantOnesFirst)
{
    CEdfWriter w;
    ASSERT_TRUE(Begin(w, 4));
    AddPackets(w, 1);  // one record: room for 8 annotations
    for (int i = 0; i < 6; ++i) w.Annotate(0, "Short read " + std::to_string(i), false);
    w.Annotate(1, "Stream start");
    w.Annotate(2, "Mode EEG");
    w.Annotate(3, "Stream stop");
    ASSERT_TRUE(w.Close());
    EdfContents file = ReadWithEdflib(m_path);
    Texts texts;
    for (const auto& a : file.annotations) texts.push_back(a.text);
    // In time order; the last ordinary events give way to the count of what is missing.
    EXPECT_EQ(texts, (Texts{"Short read 0", "Short read 1", "Short read 2", "Short read 3", "2 more events not kept",
                            "Stream start", "Mode EEG", "Stream stop"}));
}

TEST_F(EdfWriterTest, AnnotationsAreCutToFortyCharacters)
{
    CEdfWriter w;
    ASSERT_TRUE(Begin(w, 4));
    AddPackets(w, 1);
    w.Annotate(0, std::string(39, 'a') + "bcdef");
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(ReadWithEdflib(m_path).annotations.at(0).text, std::string(39, 'a') + "b");
}

TEST_F(EdfWriterTest, AFileThatCannotBeWrittenSaysWhy)
{
    CEdfWriter w;
    EXPECT_FALSE(w.Create((m_dir / "no-such-folder" / "x.edf").string()));
    EXPECT_EQ(w.LastError(), "No such file or directory");
    EXPECT_FALSE(w.Create(m_dir.string()));
    EXPECT_EQ(w.LastError(), "Is a directory");
}

}  // namespace
