// The whole road of a sample packet in one process, offscreen: a simulated amplifier, the driver,
// TransferData, the streaming worker, the ring, the posted message, OnSamplesReady and the real
// strip chart.
//  1. As fast as the amplifier can be read (a virtual clock paces it): packets drawn per second,
//     and how far the display is behind the worker when the stream stops.
//  2. At the amplifier's own 64 packets per second: the process's CPU share, and the time from a
//     packet's arrival on the wire to the end of the chart update that draws it.
#include "acquisition/sample_ring.h"
#include "acquisition/stream_worker.h"
#include "amp/link.h"
#include "platform/afx/testing.h"
#include "platform/bus/bus.h"
#include "platform/instruments/register.h"
#include "platform/usbdriver/driver.h"
#include "platform/win32/clock.h"
#include "quorvex/resources.h"
#include "sim/amplifier.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono;
using platform::afx::testing::PumpMessages;

CWinApp g_app("bench_pipeline");

// Passes every call to the real chart and notes when each update ends.
class TimedChart : public platform::com::ComObject<IStripChart> {
public:
    explicit TimedChart(platform::com::ComPtr<IStripChart> chart) : m_chart(std::move(chart)) {}
    std::vector<nanoseconds> updateEnds;

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return m_chart->QueryInterface(riid, ppv); }
    HRESULT BeginUpdate() override { return m_chart->BeginUpdate(); }
    HRESULT EndUpdate() override
    {
        HRESULT hr = m_chart->EndUpdate();
        updateEnds.push_back(platform::win32::clock().now());
        return hr;
    }
    HRESULT AddColumn(double x, LONG* index) override { return m_chart->AddColumn(x, index); }
    HRESULT SetChannelValue(LONG channel, LONG column, double value) override
    {
        return m_chart->SetChannelValue(channel, column, value);
    }

private:
    platform::com::ComPtr<IStripChart> m_chart;
};

struct Panel {
    std::shared_ptr<sim::Amplifier> amplifier;
    std::unique_ptr<CQuorvexDlg> dlg;
    TimedChart* chart = nullptr;

    Panel()
    {
        amplifier = std::make_shared<sim::Amplifier>();
        platform::bus::local::plug(amplifier);
        dlg = std::make_unique<CQuorvexDlg>();
        dlg->Create(IDD_MAIN);
        chart = new TimedChart(dlg->m_chart);
        dlg->m_chart = platform::com::ComPtr<IStripChart>(chart);
    }
    ~Panel()
    {
        dlg->DestroyWindow();
        dlg.reset();
        PumpMessages();
        platform::bus::detach(amplifier);
    }
    void Scroll() { platform::afx::testing::RaiseControlEvent(dlg.get(), IDC_SCROLL, 5); }
    // The event loop as the program's modal loop runs it: it sleeps until something arrives.
    void Run(milliseconds duration)
    {
        QEventLoop loop;
        QTimer::singleShot(int(duration.count()), &loop, &QEventLoop::quit);
        loop.exec();
    }
};

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

void AsFastAsItCan()
{
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock installed(clock);
    Panel panel;
    const auto length = seconds(3);
    panel.Scroll();
    panel.Run(length);
    uint64_t stored = g_packetsStored.load();
    uint64_t drawn = panel.dlg->RingReader().drawn() - panel.dlg->RingReader().skipped();
    panel.Scroll();
    std::printf("as fast as the amplifier is read (%lld s):\n", (long long)length.count());
    std::printf("  %.0f packets per second stored, %.0f drawn (%.0f chart columns per second)\n", double(stored) / 3.0,
                double(drawn) / 3.0, 4.0 * double(drawn) / 3.0);
    std::printf("  %llu packets given up on; display %llu packets behind the worker at the stop\n",
                (unsigned long long)panel.dlg->RingReader().skipped(),
                (unsigned long long)(stored - panel.dlg->RingReader().drawn()));
}

void AtTheAmplifiersRate()
{
    Panel panel;  // real clock: start-up takes its 1.45 s of waits
    panel.amplifier->log().clear();
    double idle0 = CpuSeconds();
    panel.Run(seconds(2));
    double idle = (CpuSeconds() - idle0) / 2.0;
    const auto length = seconds(5);
    double cpu0 = CpuSeconds();
    auto wall0 = steady_clock::now();
    panel.Scroll();
    panel.Run(length);
    double cpu = CpuSeconds() - cpu0;
    double wall = duration_cast<duration<double>>(steady_clock::now() - wall0).count();
    panel.Scroll();

    std::vector<double> arrivals;
    for (const sim::WireEntry& e : panel.amplifier->log().entries())
        if (e.kind == sim::WireEntry::Kind::in && e.endpoint == 0x81 && e.bytes.size() == 68)
            arrivals.push_back(e.t_ms);
    std::vector<double> latencies;
    for (size_t i = 0; i < arrivals.size() && i < panel.chart->updateEnds.size(); ++i)
        latencies.push_back(duration<double, std::milli>(panel.chart->updateEnds[i]).count() - arrivals[i]);
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return latencies.empty() ? 0.0 : latencies[size_t(q * double(latencies.size() - 1))]; };
    std::printf("at 64 packets per second (%.1f s, %zu packets drawn):\n", wall, panel.chart->updateEnds.size());
    std::printf("  CPU share of the process: %.1f %% of one core (%.1f %% with the stream stopped)\n",
                100.0 * cpu / wall, 100.0 * idle);
    std::printf("  arrival to chart update: median %.3f ms, 99th percentile %.3f ms, worst %.3f ms\n", at(0.5),
                at(0.99), latencies.empty() ? 0.0 : latencies.back());
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::instruments::RegisterControls();
    platform::usbdriver::install();
    RegisterQuorvexResources();
    AsFastAsItCan();
    AtTheAmplifiersRate();
    platform::afx::testing::JoinWorkerThreads();
    return 0;
}
