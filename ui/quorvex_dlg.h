// The Quorvex front panel: seven traces, five impedance bars, four toggles, the calibration
// signal's read-outs and Configure. Everything both models do alike lives in CPanelDlg.
#pragma once

#include "ui/panel_dlg.h"

class CQuorvexDlg : public CPanelDlg {
public:
    CQuorvexDlg();

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    void ApplyCalibration();
    void ClearImpedanceBars();

    afx_msg void OnPaint();
    afx_msg void OnPowerClick();
    afx_msg void OnModeChange();
    afx_msg void OnChannelsToggle();
    afx_msg void OnNotchToggle();
    afx_msg void OnReferenceToggle();
    afx_msg void OnConfigure();
    afx_msg void OnAbout();

    double m_calFrequency = 10.0;
    BYTE m_calAmplitudeIndex = 6;
    CLabelCtrl m_calFrequencyLabel;
    CLabelCtrl m_calAmplitudeLabel;
    CToggleSwitchCtrl m_channelsToggle;
    CToggleSwitchCtrl m_notchToggle;
    CToggleSwitchCtrl m_referenceToggle;

    static const PanelModel MODEL;

private:
    // True while this paint covers nothing but the Range and Mode rotaries.
    bool PaintsOnlyTheRotaries() const;

protected:
    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()
};
