// The main window both amplifier models share: the link to the amplifier (open, identify,
// reconnect, shut down), SCROLL and the streaming worker, the chart and impedance feed, and the
// switches that behave alike. What differs between the models is data in PanelModel or code in
// the model's own dialog class beside this one (ui/quorvex_dlg.*).
#pragma once

#include "acquisition/sample_ring.h"
#include "amp/switch_codes.h"
#include "controls/instrument_controls.h"
#include "platform/afx/afxwin.h"
#include "platform/com/stripchart.h"

// What tells the two panels apart where the shared code needs to know.
struct PanelModel {
    const char* name;          // "Quorvex": in the operator's messages
    WCHAR identity;            // product string unit 5
    const int* chartChannels;  // the traces drawn, in the order the chart gets them
    int chartChannelCount;
    int impedanceBarCount;     // bars 1009 upwards
    LONG ringClearValue;       // what a stream start fills the ring with
    bool countDevicesFirst;    // DeviceCount before Open
    bool shutdownWhenMissing;  // no amplifier ends the program
    DWORD streamStopWaitMs;    // Shutdown's wait after clearing g_streaming
    DWORD powerOffWaitMs;      // Shutdown's wait after CMD_POWER_OFF
};

inline constexpr int MAX_IMPEDANCE_BARS = 5;
inline constexpr int PANEL_LABELS = 17;
inline constexpr BYTE MODE_CODE_ZTEST = 5;

class CPanelDlg : public CDialog {
public:
    CPanelDlg(UINT nIDTemplate, const PanelModel& model);
    // Stops a worker still running (the dialog may have ended with Esc, past Shutdown): it
    // still sends its stop command to the amplifier.
    ~CPanelDlg() override;

    // Amplifier link
    int OpenAmplifier();
    bool EnsureOpen();
    void Shutdown();
    bool QueryVersion();

    // The amplifier went away (unplugged, its simulator ended): told by the device notice, by the
    // worker that found it gone, or found at the next click. Closed and unpowered, as it is; the
    // next POWER, SCROLL, Mode, Range or Configure opens it again.
    afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
    afx_msg LRESULT OnAmplifierGone(WPARAM wParam, LPARAM lParam);
    void CloseLostAmplifier();
    // The session ends (a signal, the display gone): as EXIT.
    afx_msg void OnEndSession(BOOL bEnding);

    // Stream and display
    afx_msg void OnScrollClick();
    afx_msg LRESULT OnSamplesReady(WPARAM wParam, LPARAM lParam);
    void UpdateImpedanceBars();
    void SetImpedanceBarLevels(double level);

    // Switches shared by both panels
    afx_msg void OnRangeChange();
    afx_msg void OnAuxToggle();
    afx_msg HCURSOR OnQueryDragIcon();

    const CRingReader& RingReader() const { return m_ringReader; }

    CWnd* m_pChartWnd = nullptr;
    IUnknown* m_pChartUnknown = nullptr;
    platform::com::ComPtr<IStripChart> m_chart;
    int m_bDeviceOpen = 0;
    int m_bPowerOn = 0;
    int m_versionBytes[4] = {};
    BYTE m_modeCode = 4;  // the Mode rotary starts at "CAL", whose code is 4
    double m_channelOffsets[SAMPLE_CHANNEL_COUNT] = {};
    CRotarySwitchCtrl m_rangeSwitch;
    CRotarySwitchCtrl m_modeSwitch;
    CLedSwitchCtrl m_scrollSwitch;
    CLedSwitchCtrl m_powerSwitch;
    CLabelCtrl m_labels[PANEL_LABELS];
    CLedBarCtrl m_impedanceBars[MAX_IMPEDANCE_BARS];
    CToggleSwitchCtrl m_auxToggle;
    HICON m_hIcon = nullptr;

protected:
    // The chart's custom interface from dialog item 1000; the query's result is not checked.
    void AttachChart();
    // Minimised: the icon centred on the erased background. False when not minimised.
    bool PaintIcon();
    // The POWER handler's common head: refused while streaming, reconnect with its POWER
    // failure path, and a worker that is still leaving has sent its stop command. False: leave.
    bool BeginPowerClick();
    void SendToggle(CToggleSwitchCtrl& toggle, const ToggleCodes& codes);
    // What else a model forgets with the power of an amplifier that went away.
    virtual void PowerLost() {}

    const PanelModel& m_model;
    bool m_bShutDown = false;  // Shutdown has run; a second run only ends the dialog
    CRingReader m_ringReader;
    SampleSlot m_drawnSlot = {};  // the slot the last update drew, for the impedance bars
};
