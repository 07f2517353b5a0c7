// Drives the real Quorvex main window offscreen against a simulated amplifier plugged into this
// process: the recording clock writes every wait into the amplifier's wire log, message boxes are
// recorded and answered, and control events are raised the way the instrument widgets raise them.
#pragma once

#include "acquisition/chart_feed.h"
#include "acquisition/sample_ring.h"
#include "platform/afx/message_box.h"
#include "platform/afx/testing.h"
#include "platform/win32/clock.h"
#include "sim/amplifier.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// The strip chart as the window sees it, recording each call; a test may make a call fail or
// run code while the window is inside an update.
class RecordingChart : public platform::com::ComObject<IStripChart> {
public:
    struct Column {
        double x;
        std::map<LONG, double> values;
    };
    std::vector<Column> columns;
    // Every call in the order made: 'A' AddColumn (value: x), 'B' BeginUpdate, 'S' SetChannelValue,
    // 'E' EndUpdate. Failed calls too.
    struct Call {
        char kind;
        LONG channel;
        LONG column;
        double value;
        bool operator==(const Call&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const Call& c)
        {
            return out << c.kind << '(' << c.channel << ", " << c.column << ", " << c.value << ')';
        }
    };
    std::vector<Call> calls;
    int updates = 0;    // EndUpdate calls
    int failCall = -1;  // the call (counted from 0) that returns E_FAIL
    std::function<void()> onBeginUpdate;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    HRESULT BeginUpdate() override;
    HRESULT EndUpdate() override;
    HRESULT AddColumn(double x, LONG* columnIndex) override;
    HRESULT SetChannelValue(LONG channel, LONG columnIndex, double value) override;

    // Columns 4k to 4k + 3 hold packet k (counted from 0) of those drawn.
    size_t PacketsDrawn() const { return columns.size() / 4; }

private:
    bool Fails() { return m_calls++ == failCall; }
    int m_calls = 0;
};

// A 68-byte sample packet whose value i is base + i (modulo 65536).
std::vector<uint8_t> SamplePacketBytes(uint16_t base);
std::vector<uint8_t> SamplePacketBytes(const std::vector<uint16_t>& values);

class PanelTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A simulated Quorvex (or whatever `options` make it) that behaves like the amplifier.
    sim::Amplifier& PlugAmplifier(sim::AmplifierOptions options = {});
    // An amplifier that sends only what the test queues; it answers the start-up's first version
    // query. Streaming tests queue sample packets one batch at a time.
    sim::UsbDevice& PlugScripted(sim::DescriptorSet descriptors = {});

    // Builds the main window (OnInitDialog runs: the start-up sequence) and puts a recording
    // chart in place of the real one.
    CQuorvexDlg& OpenPanel();
    // Builds the window with no chart double (the real strip chart draws).
    CQuorvexDlg& OpenPanelWithRealChart();

    // The window the event and click helpers act on; another model's fixture returns its own.
    virtual CPanelDlg* Window() { return m_dlg.get(); }
    void RaiseEvent(UINT id, DISPID event);
    void Click(UINT id) { RaiseEvent(id, 5); }
    // Presses and releases the left button on control `id` as the operator does: the widget itself
    // acts (a latching switch turns its LED over on the press) and raises its events.
    void ClickWithMouse(UINT id);
    void TurnRotary(UINT id, int position);
    void FlipToggle(UINT id, bool active);
    void ClickButton(UINT id);

    // Pumps the window's messages until `done` holds; fails the test after a few seconds.
    bool PumpUntil(const std::function<bool()>& done);
    void Pump() { platform::afx::testing::PumpMessages(); }
    // Queues `count` packets numbered from `first` (packet n: values n*32 + i) and pumps until
    // the window has drawn them all.
    void FeedPackets(int first, int count);
    // Feeds packets 0 to 255 in batches, which brings the ring round to slot 0; with
    // `refreshOnTheLast` the update of packet 255 refreshes the impedance bars.
    void FeedOneRing(bool refreshOnTheLast = false);
    // Value i of packet n as FeedPackets queues it.
    static double Value(int n, int i) { return double(uint16_t(n * 32 + i)); }
    // Queues one packet and pumps until the window has drawn exactly one more.
    void DrawPacket(const std::vector<uint8_t>& packet);

    // SCROLL on, until the worker has sent its own start; SCROLL off, with one more packet so
    // the worker's last read returns, until it has left.
    void StartStream();
    void StopStream();
    // Opens the About box, reads its three values as shown and closes it with OK.
    struct AboutShown {
        std::string usbDriver, firmware, serial;
        bool operator==(const AboutShown&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const AboutShown& s)
        {
            return out << '{' << s.usbDriver << ", " << s.firmware << ", " << s.serial << '}';
        }
    };
    AboutShown OpenAboutBox();

    std::string Sequence(sim::SequenceFormat format = {}) const { return m_device->log().sequence(format); }
    std::vector<std::vector<uint8_t>> Commands() const { return m_device->log().commands(); }
    std::vector<uint32_t> Waits() const;
    void ClearLog() { m_device->log().clear(); }

    std::string Caption(CWnd& control);
    bool LedState(CWnd& control);
    double Level(CWnd& control);
    long Position(CRotarySwitchCtrl& control) { return control.GetPosition(); }

    platform::win32::RecordingClock m_clock;
    std::unique_ptr<platform::afx::MessageBoxRecorder> m_boxes;
    std::shared_ptr<sim::UsbDevice> m_device;
    sim::Amplifier* m_amplifier = nullptr;
    std::unique_ptr<CQuorvexDlg> m_dlg;
    RecordingChart* m_chart = nullptr;  // owned by the window's m_chart
    int m_packetsQueued = 0;
};

// The Quorvex window after start-up against the amplifier model, the start-up cleared from the log.
class StartedPanelTest : public PanelTest {
protected:
    void SetUp() override;
};
