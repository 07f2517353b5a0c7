#include "ui/pellion_dlg.h"

#include "acquisition/stream_worker.h"
#include "amp/link.h"
#include "amp/models.h"
#include "amp/power.h"
#include "ui/about_dlg.h"
#include "ui/resource.h"

#include <thread>

namespace {
const int kPellionTraces[] = {0, 5, 1, 6};  // the order the chart is given them
}

const PanelModel CPellionDlg::MODEL = {
    PELLION_MODEL.name,
    PELLION_MODEL.identity,
    kPellionTraces,
    4,
    PELLION_IMPEDANCE_BARS,
    9,
    PELLION_MODEL.countDevicesFirst,
    false,
    1000,
    PELLION_MODEL.powerOffWaitMs,
};

CPellionDlg::CPellionDlg() : CPanelDlg(IDD_MAIN, MODEL) {}

void CPellionDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_RANGE, m_rangeSwitch);
    DDX_Control(pDX, IDC_MODE, m_modeSwitch);
    DDX_Control(pDX, IDC_NOTCH_SWITCH, m_notchSwitch);
    DDX_Control(pDX, IDC_SCROLL, m_scrollSwitch);
    DDX_Control(pDX, IDC_POWER, m_powerSwitch);
    DDX_Control(pDX, IDC_AUX, m_auxToggle);
    DDX_Control(pDX, IDC_SCALE_2K, m_labels[0]);
    DDX_Control(pDX, IDC_SCALE_10K, m_labels[1]);
    DDX_Control(pDX, IDC_SCALE_15K, m_labels[2]);
    DDX_Control(pDX, IDC_SCALE_20K, m_labels[3]);
    DDX_Control(pDX, IDC_MODEL_LABEL, m_modelLabel);
    for (int i = 0; i < PELLION_IMPEDANCE_BARS; ++i) DDX_Control(pDX, IDC_IMPEDANCE_1 + i, m_impedanceBars[i]);
}

// clang-format off
BEGIN_MESSAGE_MAP(CPellionDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_MESSAGE(WM_SAMPLES_READY, &CPellionDlg::OnSamplesReady)
    ON_WM_DEVICECHANGE()
    ON_MESSAGE(WM_AMPLIFIER_GONE, &CPellionDlg::OnAmplifierGone)
    ON_WM_ENDSESSION()
    ON_BN_CLICKED(IDC_ABOUT, &CPellionDlg::OnAbout)
    ON_BN_CLICKED(IDOK, &CPellionDlg::Shutdown)
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CPellionDlg, CDialog)
    ON_EVENT(CPellionDlg, IDC_SCROLL, 5, CPellionDlg::OnScrollClick, VTS_NONE)
    ON_EVENT(CPellionDlg, IDC_POWER, 5, CPellionDlg::OnPowerClick, VTS_NONE)
    ON_EVENT(CPellionDlg, IDC_MODE, 12, CPellionDlg::OnModeChange, VTS_NONE)
    ON_EVENT(CPellionDlg, IDC_RANGE, 12, CPellionDlg::OnRangeChange, VTS_NONE)
    ON_EVENT(CPellionDlg, IDC_AUX, 1, CPellionDlg::OnAuxToggle, VTS_NONE)
    ON_EVENT(CPellionDlg, IDC_NOTCH_SWITCH, 1, CPellionDlg::OnNotchChange, VTS_NONE)
END_EVENTSINK_MAP()
// clang-format on

BOOL CPellionDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_bDeviceOpen = 0;
    m_bPowerOn = 0;
    m_ringReader.Reset();
    // What the About box shows until a version reply arrives.
    m_versionBytes[0] = 1;
    m_versionBytes[1] = 1;
    m_versionBytes[2] = 0;
    m_versionBytes[3] = 0;

    AttachChart();

    // Four traces stacked 65535 units apart, trace 0 on top.
    m_channelOffsets[0] = 195605.0;
    m_channelOffsets[1] = 130070.0;
    m_channelOffsets[5] = 64535.0;
    m_channelOffsets[6] = 1000.0;

    // Nothing is sent at start: the amplifier stays off until the operator clicks POWER.
    OpenAmplifier();
    return TRUE;
}

void CPellionDlg::RepaintStep()
{
    // Only this thread clears g_chartBusy, so it is normally 0 here; should it be found set
    // (a paint nested inside a chart update), the test is bounded rather than waited out.
    if (g_streaming.load() == 1) {
        for (int i = 0; i < CHART_IDLE_TESTS && g_chartBusy.load() != 0; ++i) std::this_thread::yield();
    }
    CDialog::OnPaint();
}

void CPellionDlg::OnPaint()
{
    if (PaintIcon()) return;
    RepaintStep();
}

void CPellionDlg::OnPowerClick()
{
    if (!BeginPowerClick()) return;
    if (m_bPowerOn != 0) {
        Sleep(100);
        m_bPowerOn = 0;
        SendCommand(CMD_POWER_OFF);
        for (int& b : m_versionBytes) b = 0;
        return;
    }
    m_bPowerOn = 1;
    m_modeCode = CMD_MODE_CAL;
    PellionPowerOn(m_versionBytes);
    m_modeSwitch.SetPointerPosition(0);
    m_rangeSwitch.SetPointerPosition(1);
}

void CPellionDlg::OnModeChange()
{
    if (!EnsureOpen()) return;
    BYTE code = CodeAtPosition(MODE_CODES, m_modeSwitch.GetPosition());
    if (code != 0) {
        m_modeCode = code;
        SendCommand(code);
    }
    // Unlike the Quorvex, the bars empty on every turn, into "Ztest" as well.
    SetImpedanceBarLevels(0.0);
    RepaintStep();
}

void CPellionDlg::OnRangeChange()
{
    if (!EnsureOpen()) return;
    CPanelDlg::OnRangeChange();
    RepaintStep();
}

// No reconnect here: with no amplifier open the command goes nowhere.
void CPellionDlg::OnNotchChange()
{
    BYTE code = CodeAtPosition(NOTCH_CODES, m_notchSwitch.GetPosition());
    if (code != 0) SendCommand(code);
    RepaintStep();
}

void CPellionDlg::OnAuxToggle()
{
    CPanelDlg::OnAuxToggle();
    RepaintStep();
}

// As at power-off: no version values are kept for an amplifier that is off.
void CPellionDlg::PowerLost()
{
    for (int& b : m_versionBytes) b = 0;
}

// The box shows what the last power-on stored; the amplifier is not asked again.
void CPellionDlg::OnAbout()
{
    CAbout dlg;
    if (m_bPowerOn == 0) {
        AfxMessageBox("Please turn the POWER on first.");
        return;
    }
    dlg.SetVersion(m_versionBytes);
    dlg.DoModal();
}
