#include "panel_fixture.h"

#include "acquisition/stream_worker.h"
#include "amp/link.h"
#include "platform/bus/bus.h"
#include "platform/instruments/register.h"
#include "platform/usbdriver/driver.h"
#include "quorvex/resources.h"
#include "ui/about_dlg.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <chrono>
#include <thread>

using platform::afx::testing::PumpMessages;

HRESULT RecordingChart::QueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IUnknown || riid == IID_IStripChart) {
        *ppv = static_cast<IStripChart*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT RecordingChart::BeginUpdate()
{
    calls.push_back({'B', -1, -1, 0.0});
    if (Fails()) return E_FAIL;
    if (onBeginUpdate) onBeginUpdate();
    return S_OK;
}

HRESULT RecordingChart::EndUpdate()
{
    calls.push_back({'E', -1, -1, 0.0});
    if (Fails()) return E_FAIL;
    ++updates;
    return S_OK;
}

HRESULT RecordingChart::AddColumn(double x, LONG* columnIndex)
{
    calls.push_back({'A', -1, LONG(columns.size()), x});
    if (Fails()) return E_FAIL;
    *columnIndex = LONG(columns.size());
    columns.push_back({x, {}});
    return S_OK;
}

HRESULT RecordingChart::SetChannelValue(LONG channel, LONG columnIndex, double value)
{
    calls.push_back({'S', channel, columnIndex, value});
    if (Fails()) return E_FAIL;
    if (channel < 0 || channel > 7 || columnIndex < 0 || size_t(columnIndex) >= columns.size()) return E_INVALIDARG;
    columns[size_t(columnIndex)].values[channel] = value;
    return S_OK;
}

std::vector<uint8_t> SamplePacketBytes(const std::vector<uint16_t>& values)
{
    std::vector<uint8_t> packet(AMP_PACKET_LENGTH, 0);
    packet[0] = 'S';
    for (size_t i = 0; i < values.size() && i < SAMPLE_VALUE_COUNT; ++i) {
        packet[4 + 2 * i] = uint8_t(values[i] & 0xFF);
        packet[5 + 2 * i] = uint8_t(values[i] >> 8);
    }
    return packet;
}

std::vector<uint8_t> SamplePacketBytes(uint16_t base)
{
    std::vector<uint16_t> values(SAMPLE_VALUE_COUNT);
    for (int i = 0; i < SAMPLE_VALUE_COUNT; ++i) values[size_t(i)] = uint16_t(base + i);
    return SamplePacketBytes(values);
}

void PanelTest::SetUp()
{
    static bool once = [] {
        platform::instruments::RegisterControls();
        platform::usbdriver::install();
        RegisterQuorvexResources();
        return true;
    }();
    (void)once;
    // What the program starts with.
    g_chartX = 0.0;
    g_impedanceSkip = 0;
    g_streaming.store(0);
    g_chartBusy.store(0);
    m_clock.on_sleep = [this](uint32_t ms) {
        if (m_device) m_device->log().wait(ms);
    };
    platform::win32::install_clock(&m_clock);
    m_boxes = std::make_unique<platform::afx::MessageBoxRecorder>();
}

void PanelTest::TearDown()
{
    if (m_dlg) {
        if (m_dlg->GetSafeHwnd()) m_dlg->DestroyWindow();
        m_dlg.reset();
    }
    PumpMessages();
    platform::afx::testing::JoinWorkerThreads();
    if (m_device) platform::bus::detach(m_device);
    platform::win32::install_clock(nullptr);
    m_boxes.reset();
}

sim::Amplifier& PanelTest::PlugAmplifier(sim::AmplifierOptions options)
{
    auto amplifier = std::make_shared<sim::Amplifier>(std::move(options));
    m_amplifier = amplifier.get();
    m_device = amplifier;
    platform::bus::local::plug(m_device);
    return *amplifier;
}

sim::UsbDevice& PanelTest::PlugScripted(sim::DescriptorSet descriptors)
{
    if (descriptors.device.empty()) descriptors = sim::amplifier_descriptors(0xA404, "QRVX-4 EEG Amplifier", "QX01234");
    m_device = std::make_shared<sim::UsbDevice>(std::move(descriptors), "scripted-quorvex");
    std::vector<uint8_t> reply(AMP_PACKET_LENGTH, 0);
    reply[0] = 'c';
    reply[1] = 11;
    reply[2] = 23;
    m_device->queue_in(reply);
    platform::bus::local::plug(m_device);
    return *m_device;
}

CQuorvexDlg& PanelTest::OpenPanelWithRealChart()
{
    m_dlg = std::make_unique<CQuorvexDlg>();
    m_dlg->Create(IDD_MAIN);
    return *m_dlg;
}

CQuorvexDlg& PanelTest::OpenPanel()
{
    OpenPanelWithRealChart();
    m_chart = new RecordingChart;
    m_dlg->m_chart = platform::com::ComPtr<IStripChart>(m_chart);
    return *m_dlg;
}

void PanelTest::RaiseEvent(UINT id, DISPID event)
{
    ASSERT_TRUE(platform::afx::testing::RaiseControlEvent(Window(), id, event)) << "control " << id;
}

void PanelTest::ClickWithMouse(UINT id)
{
    CWnd* control = Window()->GetDlgItem(int(id));
    ASSERT_NE(control, nullptr);
    QWidget* widget = platform::afx::testing::WidgetOf(control->m_hWnd);
    ASSERT_NE(widget, nullptr);
    const QPointF at = QRectF(widget->rect()).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void PanelTest::TurnRotary(UINT id, int position)
{
    CWnd* control = Window()->GetDlgItem(int(id));
    ASSERT_NE(control, nullptr);
    control->SetProperty(10, VT_I4, position);
    RaiseEvent(id, 12);
}

void PanelTest::FlipToggle(UINT id, bool active)
{
    CWnd* control = Window()->GetDlgItem(int(id));
    ASSERT_NE(control, nullptr);
    control->SetProperty(1, VT_BOOL, active);
    RaiseEvent(id, 1);
}

void PanelTest::ClickButton(UINT id)
{
    ASSERT_TRUE(platform::afx::testing::ClickButton(Window(), id));
}

bool PanelTest::PumpUntil(const std::function<bool()>& done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the window did not get there";
            return false;
        }
        PumpMessages();
        std::this_thread::yield();
    }
    return true;
}

void PanelTest::FeedPackets(int first, int count)
{
    size_t target = m_chart->PacketsDrawn() + size_t(count);
    for (int n = first; n < first + count; ++n) m_device->queue_in(SamplePacketBytes(uint16_t(n * 32)));
    m_packetsQueued += count;
    PumpUntil([&] { return m_chart->PacketsDrawn() >= target; });
}

void PanelTest::FeedOneRing(bool refreshOnTheLast)
{
    for (int batch = 0; batch < 15; ++batch) FeedPackets(batch * 16, 16);
    FeedPackets(240, 15);
    if (refreshOnTheLast) g_impedanceSkip = 20;
    FeedPackets(255, 1);
}

void PanelTest::DrawPacket(const std::vector<uint8_t>& packet)
{
    size_t target = m_chart->PacketsDrawn() + 1;
    m_device->queue_in(packet);
    ++m_packetsQueued;
    PumpUntil([&] { return m_chart->PacketsDrawn() == target; });
}

std::vector<uint32_t> PanelTest::Waits() const
{
    std::vector<uint32_t> waits;
    for (const sim::WireEntry& e : m_device->log().entries())
        if (e.kind == sim::WireEntry::Kind::wait) waits.push_back(e.wait_ms);
    return waits;
}

std::string PanelTest::Caption(CWnd& control)
{
    std::string text;
    control.GetProperty(DISPID_CAPTION, VT_BSTR, &text);
    return text;
}

bool PanelTest::LedState(CWnd& control)
{
    BOOL on = FALSE;
    control.GetProperty(15, VT_BOOL, &on);
    return on != FALSE;
}

double PanelTest::Level(CWnd& control)
{
    double level = -1.0;
    control.GetProperty(19, VT_R8, &level);
    return level;
}

void PanelTest::StartStream()
{
    Click(IDC_SCROLL);
    PumpUntil([&] { return Commands().size() >= 2; });
}

void PanelTest::StopStream()
{
    Click(IDC_SCROLL);
    m_device->queue_in(SamplePacketBytes(uint16_t(0)));
    PumpUntil([&] { return !StreamWorkerAlive(); });
    Pump();
}

PanelTest::AboutShown PanelTest::OpenAboutBox()
{
    AboutShown shown;
    platform::afx::testing::RunInNextModalLoop([&] {
        auto* about = dynamic_cast<CAbout*>(platform::afx::testing::ActiveModalDialog());
        ASSERT_NE(about, nullptr);
        shown = {Caption(about->m_usbDriverLabel), Caption(about->m_firmwareLabel), Caption(about->m_serialLabel)};
        platform::afx::testing::ClickButton(about, IDOK);
    });
    ClickButton(IDC_ABOUT);
    return shown;
}

void StartedPanelTest::SetUp()
{
    PanelTest::SetUp();
    PlugAmplifier();
    OpenPanel();
    ClearLog();
}
