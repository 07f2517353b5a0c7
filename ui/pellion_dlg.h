// The Pellion front panel: four traces, four impedance bars, the Notch Filter rotary and one
// toggle; no calibration signal. It powers the amplifier only when asked, and without an
// amplifier the window stays open and the next click tries again. Everything both models do
// alike lives in CPanelDlg.
#pragma once

#include "ui/panel_dlg.h"

inline constexpr int PELLION_IMPEDANCE_BARS = 4;

class CPellionDlg : public CPanelDlg {
public:
    CPellionDlg();

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    afx_msg void OnPaint();
    afx_msg void OnPowerClick();
    afx_msg void OnModeChange();
    afx_msg void OnRangeChange();
    afx_msg void OnNotchChange();
    afx_msg void OnAuxToggle();
    afx_msg void OnAbout();

    CRotarySwitchCtrl m_notchSwitch;
    CLabelCtrl m_modelLabel;

    static const PanelModel MODEL;

    // How often the repaint step tests g_chartBusy before it paints anyway.
    static constexpr int CHART_IDLE_TESTS = 1000;

protected:
    // Waits for the chart to be idle while streaming, then paints the dialog.
    void RepaintStep();
    void PowerLost() override;

    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()
};
