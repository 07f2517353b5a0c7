#include "tools/panelgallery/gallery.h"

#include "platform/afx/entry.h"

#include <cmath>
#include <cstdio>

namespace {

const double kOffsets[8] = {197602.0, 164835.0, 132068.0, 99301.0, 0.0, 66534.0, 33767.0, 1000.0};

// Something chart-like per trace: a sine at its own rate with a little ripple.
double Trace(double x, int c)
{
    return 32767.0 + 14000.0 * std::sin(x * (0.02 + 0.006 * c)) + 3000.0 * std::sin(x * 0.31 + c);
}

class CGalleryApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        AfxRegisterDialogTemplate(IDD_GALLERY, &GalleryTemplate());
        CGalleryDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        return FALSE;
    }
};

CGalleryApp theApp;

}  // namespace

const platform::afx::ProgramInfo theProgramInfo = {
    "One of each instrument control on a panel, with a chart fed by made-up traces.", &GalleryTemplate};

BEGIN_MESSAGE_MAP(CGalleryDlg, CDialog)
ON_MESSAGE(WM_GALLERY_FEED, &CGalleryDlg::OnFeed)
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CGalleryDlg, CDialog)
ON_EVENT(CGalleryDlg, IDC_GALLERY_SCROLL, 5, CGalleryDlg::OnScrollClick, VTS_NONE)
ON_EVENT(CGalleryDlg, IDC_GALLERY_POWER, 5, CGalleryDlg::OnPowerClick, VTS_NONE)
ON_EVENT(CGalleryDlg, IDC_GALLERY_RANGE, 12, CGalleryDlg::OnRangeChange, VTS_NONE)
END_EVENTSINK_MAP()

CGalleryDlg::~CGalleryDlg()
{
    StopFeed();
    if (m_chart) m_chart->Release();
}

void CGalleryDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_GALLERY_SCROLL, m_scrollSwitch);
    DDX_Control(pDX, IDC_GALLERY_POWER, m_powerSwitch);
    DDX_Control(pDX, IDC_GALLERY_RANGE, m_rangeSwitch);
    DDX_Control(pDX, IDC_GALLERY_FREQUENCY, m_frequencyDisplay);
    DDX_Control(pDX, IDC_GALLERY_AMPLITUDE, m_amplitudeLabel);
    for (int i = 0; i < 5; ++i) DDX_Control(pDX, IDC_GALLERY_BAR0 + i, m_bars[i]);
}

BOOL CGalleryDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CWnd* chartWnd = GetDlgItem(IDC_GALLERY_CHART);
    if (chartWnd && chartWnd->GetControlUnknown())
        chartWnd->GetControlUnknown()->QueryInterface(IID_IStripChart, reinterpret_cast<void**>(&m_chart));
    m_powerSwitch.SetLedState(TRUE);
    m_scrollSwitch.SetLedState(FALSE);
    StartFeed();
    return TRUE;
}

// Paces the chart like a stream does: a posted message a packet, none while one is being drawn.
void CGalleryDlg::StartFeed()
{
    if (m_feedThread.joinable()) return;
    m_feeding = true;
    m_feedBusy = false;
    m_feedThread = std::thread([this] {
        while (m_feeding.load()) {
            if (!m_feedBusy.exchange(true)) PostMessage(WM_GALLERY_FEED);
            Sleep(16);
        }
    });
}

void CGalleryDlg::StopFeed()
{
    m_feeding = false;
    if (m_feedThread.joinable()) m_feedThread.join();
}

LRESULT CGalleryDlg::OnFeed(WPARAM, LPARAM)
{
    if (m_chart && m_feeding.load()) {
        LONG column = 0;
        m_chart->AddColumn(m_x, &column);
        m_chart->BeginUpdate();
        for (int f = 0; f < 4; ++f) {
            if (f > 0) {
                m_x += 1.0;
                m_chart->AddColumn(m_x, &column);
            }
            for (int c : {0, 1, 2, 3, 5, 6, 7}) m_chart->SetChannelValue(c, column, Trace(m_x, c) + kOffsets[c]);
        }
        m_x += 1.0;
        m_chart->EndUpdate();
        if (++m_packets % 8 == 0)
            for (int k = 0; k < 5; ++k) m_bars[k].SetLevel(15.0 + 14.0 * std::sin(m_x * 0.01 + k * 1.1));
    }
    m_feedBusy = false;
    return 1;
}

void CGalleryDlg::OnScrollClick()
{
    // As on the panels: the LED is dark while the stream runs, and the caption says what a click does.
    const bool running = m_feeding.load();
    if (running) StopFeed();
    else StartFeed();
    m_scrollSwitch.SetCaption(running ? "SCROLL" : " STOP");
    m_scrollSwitch.SetLedState(running);
}

void CGalleryDlg::OnPowerClick()
{
    m_bPowerOn = !m_bPowerOn;
    m_powerSwitch.SetLedState(m_bPowerOn);
}

void CGalleryDlg::OnRangeChange()
{
    static const char* const amplitudes[] = {"50", "100", "500"};
    const long position = m_rangeSwitch.GetPosition();
    if (position >= 0 && position < 3) m_amplitudeLabel.SetCaption(amplitudes[position]);
    m_frequencyDisplay.SetValue(10.0 * double(position + 1));
}

void CGalleryDlg::OnOK()
{
    StopFeed();
    CDialog::OnOK();
}

void CGalleryDlg::OnCancel()
{
    StopFeed();
    CDialog::OnCancel();
}
