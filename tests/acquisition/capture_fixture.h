// A capture session against a simulated amplifier plugged into this process, under the
// recording clock: every wait lands in the amplifier's wire log and packets arrive at the
// simulator's virtual times. A recording sink keeps whatever a capture hands over.
#pragma once

#include "acquisition/capture_engine.h"
#include "acquisition/capture_stop.h"
#include "platform/win32/clock.h"
#include "sim/amplifier.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class RecordingSink : public CCaptureSink {
public:
    std::vector<std::string> settings;  // captions, in the order reported
    std::vector<CapturePacket> packets;
    std::vector<LONG> badReads;
    int starts = 0;
    int stops = 0;
    CaptureResult stopResult;
    uint64_t finish = 0;                                 // what PacketsToFinish answers
    std::function<bool(const CapturePacket&)> onPacket;  // false ends the capture
    std::function<void(LONG)> onBadRead;

    void OnSettingsApplied(const std::vector<AppliedSetting>& applied) override
    {
        for (const AppliedSetting& s : applied) settings.push_back(s.caption);
    }
    void OnStreamStart(std::chrono::nanoseconds) override { ++starts; }
    bool OnPacket(const CapturePacket& packet) override
    {
        packets.push_back(packet);
        return onPacket ? onPacket(packet) : true;
    }
    void OnBadRead(LONG length, std::chrono::nanoseconds) override
    {
        badReads.push_back(length);
        if (onBadRead) onBadRead(length);
    }
    uint64_t PacketsToFinish() override { return finish; }
    void OnStreamStop(const CaptureResult& result) override
    {
        ++stops;
        stopResult = result;
    }
};

// One 68-byte packet as logged: header bytes and the 32 values decoded from the raw bytes.
struct LoggedPacket {
    std::vector<uint8_t> bytes;
    double t_ms = 0;
    uint16_t value(int i) const { return uint16_t(bytes[size_t(4 + 2 * i)] | bytes[size_t(5 + 2 * i)] << 8); }
};

class CaptureTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    sim::Amplifier& Plug(sim::AmplifierOptions options = {});
    sim::Amplifier& PlugPellion(sim::AmplifierOptions options = {});
    // A device that sends only what the test queues; it answers the first version query.
    sim::UsbDevice& PlugScripted();
    void Unplug();

    // Open and PowerOn, expected to succeed; the power-on is then cleared from the log.
    void Start(const AmplifierModel* model = nullptr);

    std::string Sequence(sim::SequenceFormat format = {}) const { return m_device->log().sequence(format); }
    // Every whole packet the device delivered on 0x81 after the first stream start, in order.
    std::vector<LoggedPacket> LoggedPackets() const;

    platform::win32::RecordingClock m_clock;
    std::shared_ptr<sim::UsbDevice> m_device;
    sim::Amplifier* m_amp = nullptr;
    std::unique_ptr<CCaptureSession> m_session;
};

// A 68-byte sample packet with header 'S', n and the given values (the rest zero).
std::vector<uint8_t> PacketBytes(uint8_t n, const std::vector<uint16_t>& values);
