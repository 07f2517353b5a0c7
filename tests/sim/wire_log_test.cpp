#include "sim/amplifier.h"
#include "sim_support.h"

#include "platform/win32/clock.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

using namespace simtest;
using sim::Bytes;

namespace {

const Bytes kCalibration{9, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0x7E};

class WireLogSequence : public ::testing::Test {
protected:
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped{clock};
    sim::Amplifier amp;

    void SetUp() override
    {
        clock.on_sleep = [this](uint32_t ms) { amp.log().wait(ms); };
    }
};

TEST_F(WireLogSequence, StartUpSequenceReadsAsCodesAndWaits)
{
    send(amp, {1});
    clock.sleep(std::chrono::milliseconds(750));
    send(amp, {21});
    read(amp, 68);
    clock.sleep(std::chrono::milliseconds(200));
    send(amp, kCalibration);
    EXPECT_EQ(amp.log().sequence(), "1; wait 750; 21; wait 200; 9");
    EXPECT_EQ(amp.log().sequence({.reads = true, .calibration_hex = true}),
              "1; wait 750; 21; in 68; wait 200; 9 [09 30 f1 21 29 32 00 23 00 7e]");
    EXPECT_EQ(amp.log().commands(), (std::vector<Bytes>{{1}, {21}, kCalibration}));
}

TEST_F(WireLogSequence, OnlyOneBytePacketsReadAsCodes)
{
    send(amp, {1});
    send(amp, {11, 0});
    send(amp, {9, 0x31});
    send(amp, {});
    EXPECT_EQ(amp.log().sequence({.notes = true}),
              "1; [0b 00]; [09 31]; note: malformed calibration packet; []; note: empty packet");
}

TEST_F(WireLogSequence, RunsOfEqualReadsAreCollapsed)
{
    send(amp, {1});
    send(amp, {10});
    for (int i = 0; i < 12; ++i) read(amp, 68);
    send(amp, {21});
    read(amp, 68);
    read(amp, 68);
    send(amp, {11});
    EXPECT_EQ(amp.log().sequence({.reads = true}), "1; 10; in 68 x12; 21; in 68 x2; 11");
}

TEST_F(WireLogSequence, EntriesAreStampedWithTheClock)
{
    clock.sleep(std::chrono::milliseconds(12));
    send(amp, {1});
    auto entries = amp.log().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].kind, sim::WireEntry::Kind::wait);
    EXPECT_DOUBLE_EQ(entries[1].t_ms, 12.0);
    amp.log().clear();
    EXPECT_EQ(amp.log().sequence(), "");
}

TEST(WireLogJson, EachEntryIsOneJsonObject)
{
    sim::WireEntry out{sim::WireEntry::Kind::out, 12.5, 0x01, {9, 0x30, 0xF1}, Status::ok, 0, {}};
    EXPECT_EQ(sim::WireLog::json_line(out), R"({"t_ms":12.5,"dir":"out","ep":"0x01","hex":"09 30 f1"})");
    sim::WireEntry in{sim::WireEntry::Kind::in, 1, 0x81, {}, Status::cancelled, 0, {}};
    EXPECT_EQ(nlohmann::json::parse(sim::WireLog::json_line(in))["status"], "cancelled");
    sim::WireEntry wait{sim::WireEntry::Kind::wait, 2, 0, {}, Status::ok, 750, {}};
    EXPECT_EQ(sim::WireLog::json_line(wait), R"({"t_ms":2.0,"dir":"wait","ms":750})");
    sim::WireEntry note{sim::WireEntry::Kind::note, 3, 0, {}, Status::ok, 0, "unknown command 22"};
    EXPECT_EQ(nlohmann::json::parse(sim::WireLog::json_line(note))["text"], "unknown command 22");
}

TEST(WireLogMemory, KeepsTheNewestEntriesWhileTheSinkSeesThemAll)
{
    sim::WireLog log;
    std::vector<uint8_t> sunk;
    log.set_sink([&](const sim::WireEntry& e) { sunk.push_back(e.bytes.at(0)); });
    log.set_capacity(3);
    for (uint8_t code : {1, 2, 3, 4, 5}) log.out(0x01, std::span<const uint8_t>(&code, 1));
    EXPECT_EQ(log.commands(), (std::vector<Bytes>{{3}, {4}, {5}}));
    EXPECT_EQ(log.sequence(), "3; 4; 5");
    EXPECT_EQ(log.dropped(), 2u);
    EXPECT_EQ(sunk, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    log.set_capacity(1);
    EXPECT_EQ(log.commands(), (std::vector<Bytes>{{5}}));
    EXPECT_EQ(log.dropped(), 4u);
    log.clear();
    EXPECT_EQ(log.dropped(), 0u);
    EXPECT_EQ(log.capacity(), 1u);
}

TEST(WireLogMemory, ALongStreamIsBoundedByTheDefaultCapacity)
{
    sim::WireLog log;
    std::vector<uint8_t> packet(68, 0x53);
    for (int i = 0; i < 70000; ++i) log.in(0x81, packet);
    EXPECT_EQ(log.capacity(), 65536u);
    EXPECT_EQ(log.entries().size(), 65536u);
    EXPECT_EQ(log.dropped(), 70000u - 65536u);
}

TEST(WireLogThreads, ConcurrentWritersLoseNothingAndTheSinkSeesEveryEntry)
{
    sim::WireLog log;
    std::atomic<int> sunk = 0;
    log.set_sink([&](const sim::WireEntry&) { ++sunk; });
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&log, w] {
            for (int i = 0; i < 500; ++i) {
                uint8_t code = uint8_t(w + 1);
                log.out(0x01, std::span<const uint8_t>(&code, 1));
                if (i % 50 == 0) log.sequence();
            }
        });
    for (auto& t : writers) t.join();
    EXPECT_EQ(log.commands().size(), 2000u);
    EXPECT_EQ(sunk, 2000);
}

}  // namespace
