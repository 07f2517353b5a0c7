// Every wait for the streaming worker ends: with an amplifier that froze, with a worker that could
// not be started, and for the About box right after SCROLL stop.
#include "panel_fixture.h"

#include "acquisition/stream_worker.h"
#include "amp/commands.h"
#include "amp/link.h"
#include "platform/bus/bus.h"

#include <chrono>

namespace {

using Bytes = std::vector<uint8_t>;
using platform::bus::Status;

// An amplifier that stops altogether, as an ampsim stopped with SIGSTOP: it takes nothing and
// answers nothing, and keeps what it was handed until the host cancels it.
class FreezingAmplifier : public sim::Amplifier {
public:
    void Freeze()
    {
        set_fault(sim::Fault::no_answer, true);
        std::lock_guard lock(m_heldMutex);
        m_frozen = true;
    }
    // First bytes of the packets handed to the frozen amplifier, in order.
    Bytes HeldCommands() const
    {
        std::lock_guard lock(m_heldMutex);
        return m_heldCommands;
    }

    void submit(uint8_t endpoint, std::span<uint8_t> data, Completion done) override
    {
        {
            std::lock_guard lock(m_heldMutex);
            if (m_frozen) {
                if (!(endpoint & 0x80) && !data.empty()) m_heldCommands.push_back(data[0]);
                m_held.push_back({endpoint, std::move(done)});
                return;
            }
        }
        sim::Amplifier::submit(endpoint, data, std::move(done));
    }
    void cancel(uint8_t endpoint) override
    {
        std::vector<Completion> ended;
        {
            std::lock_guard lock(m_heldMutex);
            for (auto it = m_held.begin(); it != m_held.end();) {
                if (it->first == endpoint) {
                    ended.push_back(std::move(it->second));
                    it = m_held.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& done : ended) done({Status::cancelled, 0});
        sim::Amplifier::cancel(endpoint);
    }

private:
    mutable std::mutex m_heldMutex;
    bool m_frozen = false;
    std::vector<std::pair<uint8_t, Completion>> m_held;
    Bytes m_heldCommands;
};

class FrozenAmplifier : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        m_freezing = std::make_shared<FreezingAmplifier>();
        m_device = m_freezing;
        m_amplifier = m_freezing.get();
        platform::bus::local::plug(m_device);
        OpenPanel();
        ClearLog();
    }
    std::shared_ptr<FreezingAmplifier> m_freezing;
};

TEST_F(FrozenAmplifier, ExitWaitsOutOneTimeLimitAtMostAndStillSendsTheStopBeforePowerOff)
{
    const auto limit = std::chrono::milliseconds(1500);
    g_device.load()->bulkInEndPoint->timeoutMs = DWORD(limit.count());
    g_device.load()->bulkOutEndPoint->timeoutMs = DWORD(limit.count());
    Click(IDC_SCROLL);
    PumpUntil([&] { return m_chart->PacketsDrawn() >= 2; });
    m_freezing->Freeze();

    auto start = std::chrono::steady_clock::now();
    ClickButton(IDOK);
    auto took = std::chrono::steady_clock::now() - start;
    // The stop command waits out the limit; power-off, once the amplifier is known not to
    // answer, waits only a moment. Waiting out two limits takes 3000 ms.
    EXPECT_GE(took, limit);
    EXPECT_LT(took, 2 * limit - std::chrono::milliseconds(100));
    EXPECT_EQ(m_freezing->HeldCommands(), (Bytes{0x0b, 0x02}));
    EXPECT_FALSE(StreamWorkerAlive());
    EXPECT_EQ(m_dlg->m_nModalResult, IDOK);
    EXPECT_EQ(g_device.load()->driverHandle, INVALID_HANDLE_VALUE);
}

class WorkerStart : public StartedPanelTest {
protected:
    void TearDown() override
    {
        platform::afx::testing::RefuseThreadStarts(false);
        StartedPanelTest::TearDown();
    }
};

TEST_F(WorkerStart, ScrollWhenNoThreadCanStartTellsTheAmplifierToStopAndShowsItStopped)
{
    platform::afx::testing::RefuseThreadStarts(true);
    Click(IDC_SCROLL);
    platform::afx::testing::RefuseThreadStarts(false);
    EXPECT_EQ(Sequence(), "10; 11");
    EXPECT_EQ(Caption(m_dlg->m_scrollSwitch), "SCROLL");
    EXPECT_TRUE(LedState(m_dlg->m_scrollSwitch));
    EXPECT_EQ(g_streaming.load(), 0);
    ASSERT_FALSE(StreamWorkerAlive()) << "every stop path would wait for it for ever";
    ClickButton(IDOK);
    EXPECT_EQ(Sequence(), "10; 11; 2; wait 500");
}

// An amplifier that streams only the packets a test queues and answers every version query.
class AnsweringAmplifier : public sim::UsbDevice {
public:
    AnsweringAmplifier()
        : sim::UsbDevice(sim::amplifier_descriptors(0xA404, "QRVX-4 EEG Amplifier", "QX01234"), "answering-quorvex")
    {
    }

protected:
    void on_out(uint8_t endpoint, std::span<const uint8_t> packet) override
    {
        if (packet.size() != 1 || packet[0] != CMD_GET_VERSION) return;
        Bytes reply(AMP_PACKET_LENGTH, 0);
        reply[0] = 'c';
        reply[1] = 7;
        reply[2] = 42;
        reply[3] = 0xD2;
        reply[4] = 0x04;
        queue_in(reply);
    }
};

class AboutAfterStop : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        m_device = std::make_shared<AnsweringAmplifier>();
        platform::bus::local::plug(m_device);
        OpenPanel();
        ClearLog();
    }
};

TEST_F(AboutAfterStop, TheReplyGoesToTheAboutBoxNotToTheStoppingWorker)
{
    // Were the reply taken by the worker, the box's own read would wait this long for nothing.
    g_device.load()->bulkInEndPoint->timeoutMs = 1000;
    StartStream();
    FeedPackets(0, 1);
    Click(IDC_SCROLL);  // stop: the worker is still inside its next read
    AboutShown shown = OpenAboutBox();
    EXPECT_EQ(shown, (AboutShown{"07", "42", "1234"}));
    EXPECT_EQ(Sequence(), "10; 10; 11; 21");
    Pump();
    EXPECT_EQ(m_chart->PacketsDrawn(), 1u) << "a version reply was drawn as samples";
}

}  // namespace
