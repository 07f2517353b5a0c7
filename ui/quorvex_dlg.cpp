#include "ui/quorvex_dlg.h"

#include "acquisition/chart_feed.h"
#include "acquisition/stream_worker.h"
#include "amp/link.h"
#include "amp/models.h"
#include "amp/power.h"
#include "ui/about_dlg.h"
#include "ui/cal_config_dlg.h"
#include "ui/resource.h"

#include <algorithm>
#include <cstdio>

namespace {
const int kQuorvexTraces[] = {0, 1, 2, 3, 5, 6, 7};  // trace 4 is never drawn
}

const PanelModel CQuorvexDlg::MODEL = {
    QUORVEX_MODEL.name,
    QUORVEX_MODEL.identity,
    kQuorvexTraces,
    7,
    5,
    0,
    QUORVEX_MODEL.countDevicesFirst,
    true,
    500,
    QUORVEX_MODEL.powerOffWaitMs,
};

CQuorvexDlg::CQuorvexDlg() : CPanelDlg(IDD_MAIN, MODEL) {}

void CQuorvexDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_RANGE, m_rangeSwitch);
    DDX_Control(pDX, IDC_MODE, m_modeSwitch);
    DDX_Control(pDX, IDC_SCROLL, m_scrollSwitch);
    DDX_Control(pDX, IDC_POWER, m_powerSwitch);
    DDX_Control(pDX, IDC_AUX, m_auxToggle);
    DDX_Control(pDX, IDC_CHANNELS, m_channelsToggle);
    DDX_Control(pDX, IDC_NOTCH, m_notchToggle);
    DDX_Control(pDX, IDC_REFERENCE, m_referenceToggle);
    DDX_Control(pDX, IDC_CAL_FREQUENCY, m_calFrequencyLabel);
    DDX_Control(pDX, IDC_CAL_AMPLITUDE, m_calAmplitudeLabel);
    DDX_Control(pDX, IDC_SCALE_2K, m_labels[0]);
    DDX_Control(pDX, IDC_SCALE_10K, m_labels[1]);
    DDX_Control(pDX, IDC_SCALE_15K, m_labels[2]);
    DDX_Control(pDX, IDC_SCALE_20K, m_labels[3]);
    for (int i = 0; i < 6; ++i) DDX_Control(pDX, IDC_SCALE_30K + i, m_labels[5 + i]);
    DDX_Control(pDX, IDC_HZ_CAPTION, m_labels[11]);
    DDX_Control(pDX, IDC_UV_CAPTION, m_labels[12]);
    for (int i = 0; i < MAX_IMPEDANCE_BARS; ++i) DDX_Control(pDX, IDC_IMPEDANCE_1 + i, m_impedanceBars[i]);
}

// clang-format off
BEGIN_MESSAGE_MAP(CQuorvexDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_MESSAGE(WM_SAMPLES_READY, &CQuorvexDlg::OnSamplesReady)
    ON_WM_DEVICECHANGE()
    ON_MESSAGE(WM_AMPLIFIER_GONE, &CQuorvexDlg::OnAmplifierGone)
    ON_WM_ENDSESSION()
    ON_BN_CLICKED(IDC_ABOUT, &CQuorvexDlg::OnAbout)
    ON_BN_CLICKED(IDC_CONFIGURE, &CQuorvexDlg::OnConfigure)
    ON_BN_CLICKED(IDOK, &CQuorvexDlg::Shutdown)
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CQuorvexDlg, CDialog)
    ON_EVENT(CQuorvexDlg, IDC_SCROLL, 5, CQuorvexDlg::OnScrollClick, VTS_NONE)
    ON_EVENT(CQuorvexDlg, IDC_POWER, 5, CQuorvexDlg::OnPowerClick, VTS_NONE)
    ON_EVENT(CQuorvexDlg, IDC_MODE, 12, CQuorvexDlg::OnModeChange, VTS_NONE)
    ON_EVENT(CQuorvexDlg, IDC_RANGE, 12, CQuorvexDlg::OnRangeChange, VTS_NONE)
    ON_EVENT(CQuorvexDlg, IDC_CHANNELS, 1, CQuorvexDlg::OnChannelsToggle, VTS_NONE)
    ON_EVENT(CQuorvexDlg, IDC_AUX, 1, CQuorvexDlg::OnAuxToggle, VTS_NONE)
    ON_EVENT(CQuorvexDlg, IDC_NOTCH, 1, CQuorvexDlg::OnNotchToggle, VTS_NONE)
    ON_EVENT(CQuorvexDlg, IDC_REFERENCE, 1, CQuorvexDlg::OnReferenceToggle, VTS_NONE)
END_EVENTSINK_MAP()
// clang-format on

BOOL CQuorvexDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_calFrequency = 10.0;
    m_bDeviceOpen = 0;
    m_bPowerOn = 0;
    m_calAmplitudeIndex = 6;
    m_ringReader.Reset();
    for (int& b : m_versionBytes) b = 0;

    AttachChart();

    // 1000 + 32767 r for r = 6 down to 0: seven traces stacked with trace 0 on top; 4 is not drawn.
    m_channelOffsets[0] = 197602.0;
    m_channelOffsets[1] = 164835.0;
    m_channelOffsets[2] = 132068.0;
    m_channelOffsets[3] = 99301.0;
    m_channelOffsets[5] = 66534.0;
    m_channelOffsets[6] = 33767.0;
    m_channelOffsets[7] = 1000.0;

    OpenAmplifier();
    if (m_bDeviceOpen != 1) return TRUE;

    m_bPowerOn = 1;
    m_powerSwitch.SetLedState(TRUE);
    QuorvexPowerOn(m_versionBytes);
    // An amplifier unplugged meanwhile is not waited for: its notice closes it once the window runs.
    if (AmplifierGone()) return TRUE;
    ApplyCalibration();
    return TRUE;
}

void CQuorvexDlg::OnPaint()
{
    if (PaintIcon()) return;
    // A rotary's Redraw repaints the panel beneath it, which brings this handler back for just
    // that area: such a paint leaves the rotaries to draw themselves, or it would never end.
    // Any other paint (a restore, an expose) redraws them, whatever came before it.
    bool rotariesOnly = PaintsOnlyTheRotaries();
    CDialog::OnPaint();
    if (rotariesOnly) return;
    m_rangeSwitch.Redraw();
    m_modeSwitch.Redraw();
}

bool CQuorvexDlg::PaintsOnlyTheRotaries() const
{
    RECT update;
    if (!GetUpdateRect(&update)) return false;
    RECT range, mode;
    m_rangeSwitch.GetWindowRect(&range);
    ScreenToClient(&range);
    m_modeSwitch.GetWindowRect(&mode);
    ScreenToClient(&mode);
    auto within = [&update](const RECT& r) {
        return update.left >= r.left && update.top >= r.top && update.right <= r.right && update.bottom <= r.bottom;
    };
    RECT both{std::min(range.left, mode.left), std::min(range.top, mode.top), std::max(range.right, mode.right),
              std::max(range.bottom, mode.bottom)};
    return within(both);
}

void CQuorvexDlg::ApplyCalibration()
{
    char text[10];
    std::snprintf(text, sizeof text, "%s", AmplitudeStepAt(m_calAmplitudeIndex).text);
    m_calAmplitudeLabel.SetCaption(text);
    std::snprintf(text, sizeof text, "%.2f", m_calFrequency);
    m_calFrequencyLabel.SetCaption(text);

    SendCalibration(m_calFrequency, m_calAmplitudeIndex);
}

void CQuorvexDlg::OnPowerClick()
{
    if (!BeginPowerClick()) return;
    if (m_bPowerOn != 0) {
        m_bPowerOn = 0;
        SendCommand(CMD_POWER_OFF);
        return;
    }
    m_bPowerOn = 1;
    SendCommand(CMD_POWER_ON);
    m_modeSwitch.SetPointerPosition(0);
    m_modeCode = CMD_MODE_CAL;
    m_rangeSwitch.SetPointerPosition(1);
    ApplyCalibration();
}

void CQuorvexDlg::ClearImpedanceBars()
{
    if (m_modeCode == MODE_CODE_ZTEST) SetImpedanceBarLevels(0.0);
}

void CQuorvexDlg::OnModeChange()
{
    if (!EnsureOpen()) return;
    BYTE code = CodeAtPosition(MODE_CODES, m_modeSwitch.GetPosition());
    if (code == 0) return;
    // Only leaving "Ztest" empties the bars.
    if (code != CMD_MODE_ZTEST) ClearImpedanceBars();
    m_modeCode = code;
    SendCommand(code);
}

// The caption above a toggle names its active state.
void CQuorvexDlg::OnChannelsToggle()
{
    SendToggle(m_channelsToggle, CHANNELS_TOGGLE);
}

void CQuorvexDlg::OnNotchToggle()
{
    SendToggle(m_notchToggle, NOTCH_TOGGLE);
}

void CQuorvexDlg::OnReferenceToggle()
{
    SendToggle(m_referenceToggle, REFERENCE_TOGGLE);
}

void CQuorvexDlg::OnConfigure()
{
    CCalConfig dlg(m_calFrequency, m_calAmplitudeIndex);
    if (dlg.DoModal() != IDOK) return;
    // The settings are stored already; a failed reconnect leaves them unsent.
    if (!EnsureOpen()) return;
    ApplyCalibration();
}

void CQuorvexDlg::OnAbout()
{
    CAbout dlg;
    if (m_bPowerOn == 0) {
        AfxMessageBox("Please turn the POWER on first.");
        return;
    }
    // While the stream runs the worker owns the IN endpoint: the box shows the stored values
    // rather than taking a sample packet for a reply. A worker stopped a moment ago may still be
    // inside its last read, which must not take the reply.
    if (g_streaming.load() == 0) {
        WaitForStreamWorker();
        if (!QueryVersion()) {
            Sleep(750);
            QueryVersion();
        }
    }
    dlg.SetVersion(m_versionBytes);
    dlg.DoModal();
}
