// Calibration Settings (Quorvex only): a frequency from 0.01 to 999.99 Hz dialled on a five-digit
// display with a "+" and "-" key under each digit and eight presets, and one of nine amplitudes
// on a rotary switch. The window's two settings are read when the dialog opens and written only
// at OK.
#pragma once

#include "controls/instrument_controls.h"
#include "platform/afx/afxwin.h"

class CCalConfig : public CDialog {
    DECLARE_DYNAMIC(CCalConfig)

public:
    CCalConfig(double& calFrequency, BYTE& calAmplitudeIndex);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;

    void StepFrequency(double delta);
    void SetFrequency(double preset);

    afx_msg void OnHundredsUp() { StepFrequency(100.0); }
    afx_msg void OnHundredsDown() { StepFrequency(-100.0); }
    afx_msg void OnTensUp() { StepFrequency(10.0); }
    afx_msg void OnTensDown() { StepFrequency(-10.0); }
    afx_msg void OnUnitsUp() { StepFrequency(1.0); }
    afx_msg void OnUnitsDown() { StepFrequency(-1.0); }
    afx_msg void OnTenthsUp() { StepFrequency(0.1); }
    afx_msg void OnTenthsDown() { StepFrequency(-0.1); }
    afx_msg void OnHundredthsUp() { StepFrequency(0.01); }
    afx_msg void OnHundredthsDown() { StepFrequency(-0.01); }
    afx_msg void OnPreset2() { SetFrequency(2.0); }
    afx_msg void OnPreset4() { SetFrequency(4.0); }
    afx_msg void OnPreset6() { SetFrequency(6.0); }
    afx_msg void OnPreset8() { SetFrequency(8.0); }
    afx_msg void OnPreset10() { SetFrequency(10.0); }
    afx_msg void OnPreset12() { SetFrequency(12.0); }
    afx_msg void OnPreset14() { SetFrequency(14.0); }
    afx_msg void OnPreset20() { SetFrequency(20.0); }

    double m_frequency = 10.0;
    CSevenSegmentCtrl m_frequencyDisplay;
    CRotarySwitchCtrl m_amplitudeSwitch;

private:
    double& m_calFrequency;
    BYTE& m_calAmplitudeIndex;

protected:
    DECLARE_EVENTSINK_MAP()
};
