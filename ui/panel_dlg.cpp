#include "ui/panel_dlg.h"

#include "acquisition/chart_feed.h"
#include "acquisition/stream_worker.h"
#include "amp/link.h"
#include "amp/power.h"
#include "ui/resource.h"

#include <string>

CPanelDlg::CPanelDlg(UINT nIDTemplate, const PanelModel& model) : CDialog(nIDTemplate), m_model(model)
{
    m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr;
}

CPanelDlg::~CPanelDlg()
{
    BeginWayOut();
    g_streaming.store(0);
    WaitForStreamWorker();
}

int CPanelDlg::OpenAmplifier()
{
    // The object of an earlier attempt is never in use here: no stream runs without an open device.
    WaitForStreamWorker();
    // The window hears of the amplifier's removal through the device's notices.
    CUsbDevice* device = OpenAmplifierDevice(m_hWnd, m_model.countDevicesFirst);

    if (device->driverHandle == INVALID_HANDLE_VALUE) {
        m_bDeviceOpen = 0;
        std::string text =
            std::string("USB Driver failed to open.\n\nPlease verify ") + m_model.name + " is connected.";
        AfxMessageBox(text.c_str());
        if (m_model.shutdownWhenMissing) Shutdown();
        return 0;
    }
    // A device without both bulk pipes cannot carry a single command: refused like a stranger.
    if (!HasBulkPipes(device) || !IsAmplifierModel(device, m_model.identity)) {
        m_bDeviceOpen = 0;
        std::string text = std::string("Connected device is not an ") + m_model.name + " Amplifier";
        AfxMessageBox(text.c_str());
        Shutdown();
        return 0;
    }
    m_bDeviceOpen = 1;
    return 1;
}

bool CPanelDlg::EnsureOpen()
{
    // Gone before its notice was handled: closed first, then opened again below.
    if (m_bDeviceOpen == 1 && AmplifierGone()) CloseLostAmplifier();
    if (m_bDeviceOpen == 1) return true;
    if (OpenAmplifier()) {
        m_bDeviceOpen = 1;
        return true;
    }
    m_bDeviceOpen = 0;
    return false;
}

void CPanelDlg::Shutdown()
{
    if (m_bShutDown) {
        CDialog::OnOK();
        return;
    }
    m_bShutDown = true;
    BeginWayOut();
    if (g_streaming.load() == 1) {
        g_streaming.store(0);
        Sleep(m_model.streamStopWaitMs);
    }
    // The worker's stop command goes out before power-off, and no read is left on a closed device.
    WaitForStreamWorker();
    if (m_bPowerOn != 0) {
        SendCommand(CMD_POWER_OFF);
        if (m_model.powerOffWaitMs != 0) Sleep(m_model.powerOffWaitMs);
    }
    CUsbDevice* device = g_device.load();
    if (m_bDeviceOpen != 0 && device != nullptr) device->Close();
    CDialog::OnOK();
}

void CPanelDlg::OnEndSession(BOOL bEnding)
{
    if (bEnding) Shutdown();
}

BOOL CPanelDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData)
{
    if (NoteDeviceChange(nEventType, LPARAM(dwData))) CloseLostAmplifier();
    return TRUE;
}

LRESULT CPanelDlg::OnAmplifierGone(WPARAM, LPARAM)
{
    if (AmplifierGone()) CloseLostAmplifier();
    return 0;
}

void CPanelDlg::CloseLostAmplifier()
{
    CUsbDevice* device = g_device.load();
    bool deviceOpen = device != nullptr && device->driverHandle != INVALID_HANDLE_VALUE;
    if (!deviceOpen && m_bDeviceOpen == 0) return;
    bool wasStreaming = g_streaming.exchange(0) != 0;
    // The worker's transfers fail at once on a device that is gone.
    WaitForStreamWorker();
    if (deviceOpen) device->Close();
    m_bDeviceOpen = 0;
    // An unplugged amplifier has lost its power.
    m_bPowerOn = 0;
    m_powerSwitch.SetLedState(FALSE);
    if (wasStreaming) {
        m_scrollSwitch.SetCaption("SCROLL");
        m_scrollSwitch.SetLedState(TRUE);
    }
    PowerLost();
}

bool CPanelDlg::QueryVersion()
{
    return QueryAmplifierVersion(m_versionBytes);
}

void CPanelDlg::OnScrollClick()
{
    if (!EnsureOpen()) return;
    if (m_bPowerOn == 0) {
        AfxMessageBox("Turn POWER ON before starting SCROLL.");
        return;
    }
    if (g_streaming.load() != 0) {
        g_streaming.store(0);
        m_scrollSwitch.SetCaption("SCROLL");
        m_scrollSwitch.SetLedState(TRUE);
        return;
    }
    // A worker stopped a moment ago may still be in its last read; it leaves first.
    WaitForStreamWorker();
    g_streaming.store(1);
    m_ringReader.Reset();
    m_scrollSwitch.SetCaption(" STOP");
    m_scrollSwitch.SetLedState(FALSE);
    ResetSampleRing(m_model.ringClearValue);
    SendCommand(CMD_STREAM_START);
    if (StartStreamWorker(m_hWnd)) return;
    // No thread, no stream: the amplifier stops what it was just told to start, as the worker
    // would have told it, and the switch shows the stream stopped.
    g_streaming.store(0);
    SendCommand(CMD_STREAM_STOP);
    m_scrollSwitch.SetCaption("SCROLL");
    m_scrollSwitch.SetLedState(TRUE);
}

LRESULT CPanelDlg::OnSamplesReady(WPARAM, LPARAM)
{
    m_ringReader.MessageArrived();
    g_chartBusy.store(1);
    if (m_ringReader.TakeSlot(m_drawnSlot)) {
        bool drawn =
            DrawSlot(m_chart.get(), m_drawnSlot, m_channelOffsets, {m_model.chartChannels, m_model.chartChannelCount});
        // A slot whose drawing failed is not drawn again: its first columns are already there.
        m_ringReader.SlotDrawn();
        if (drawn && m_modeCode == MODE_CODE_ZTEST) UpdateImpedanceBars();
    }
    g_chartBusy.store(0);
    m_ringReader.CatchUp(m_hWnd);
    return 1;
}

void CPanelDlg::UpdateImpedanceBars()
{
    if (!ImpedanceRefreshDue()) return;
    for (int k = 0; k < m_model.impedanceBarCount; ++k) m_impedanceBars[k].SetLevel(double(m_drawnSlot.v[k]));
}

void CPanelDlg::SetImpedanceBarLevels(double level)
{
    for (int k = 0; k < m_model.impedanceBarCount; ++k) m_impedanceBars[k].SetLevel(level);
}

void CPanelDlg::OnRangeChange()
{
    if (!EnsureOpen()) return;
    BYTE code = CodeAtPosition(RANGE_CODES, m_rangeSwitch.GetPosition());
    if (code != 0) SendCommand(code);
}

void CPanelDlg::OnAuxToggle()
{
    SendToggle(m_auxToggle, AUX_TOGGLE);
}

void CPanelDlg::SendToggle(CToggleSwitchCtrl& toggle, const ToggleCodes& codes)
{
    SendCommand(toggle.GetActive() ? codes.active : codes.inactive);
}

HCURSOR CPanelDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CPanelDlg::AttachChart()
{
    m_pChartWnd = GetDlgItem(IDC_CHART);
    m_pChartUnknown = m_pChartWnd ? m_pChartWnd->GetControlUnknown() : nullptr;
    if (m_pChartUnknown) m_pChartUnknown->QueryInterface(IID_IStripChart, reinterpret_cast<void**>(m_chart.put()));
}

bool CPanelDlg::PaintIcon()
{
    if (!IsIconic()) return false;
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cxIcon = GetSystemMetrics(SM_CXICON);
    int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
    return true;
}

bool CPanelDlg::BeginPowerClick()
{
    if (g_streaming.load() != 0) {
        AfxMessageBox("Stop SCROLL before turning power off.");
        // The latching switch turned its LED over on the press; the power did not change.
        m_powerSwitch.SetLedState(m_bPowerOn ? TRUE : FALSE);
        return false;
    }
    if (!EnsureOpen()) {
        m_bPowerOn = 0;
        m_powerSwitch.SetLedState(FALSE);
        return false;
    }
    WaitForStreamWorker();
    return true;
}
