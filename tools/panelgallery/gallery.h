// The instrument gallery: one of each instrument kind on a panel-like dialog, with a live chart.
#pragma once

#include "controls/instrument_controls.h"
#include "platform/afx/afxwin.h"
#include "platform/com/stripchart.h"

#include <atomic>
#include <thread>

#define IDD_GALLERY 200
#define IDC_GALLERY_CHART 1000
#define IDC_GALLERY_POWER 1001
#define IDC_GALLERY_SCROLL 1003
#define IDC_GALLERY_BAR0 1009
#define IDC_GALLERY_RANGE 1028
#define IDC_GALLERY_MODE 1035
#define IDC_GALLERY_FREQUENCY 1097
#define IDC_GALLERY_AMPLITUDE 1040
#define IDC_GALLERY_TOGGLE0 1045
#define WM_GALLERY_FEED (WM_USER + 10)

const platform::afx::DialogTemplate& GalleryTemplate();

class CGalleryDlg : public CDialog {
public:
    CGalleryDlg() : CDialog(IDD_GALLERY) {}
    ~CGalleryDlg() override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCancel() override;

    afx_msg LRESULT OnFeed(WPARAM, LPARAM);
    void OnScrollClick();
    void OnPowerClick();
    void OnRangeChange();

    void StartFeed();
    void StopFeed();

    IStripChart* m_chart = nullptr;
    CLedSwitchCtrl m_scrollSwitch;
    CLedSwitchCtrl m_powerSwitch;
    CRotarySwitchCtrl m_rangeSwitch;
    CSevenSegmentCtrl m_frequencyDisplay;
    CLabelCtrl m_amplitudeLabel;
    CLedBarCtrl m_bars[5];
    BOOL m_bPowerOn = TRUE;
    std::atomic<bool> m_feeding{false};
    std::atomic<bool> m_feedBusy{false};
    std::thread m_feedThread;
    double m_x = 0.0;
    int m_packets = 0;

    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()
};
