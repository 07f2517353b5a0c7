#include "ui/cal_config_dlg.h"

#include "ui/resource.h"

namespace {
constexpr double kLowest = 0.01;
constexpr double kHighest = 999.99;
}  // namespace

IMPLEMENT_DYNAMIC(CCalConfig, CDialog)

CCalConfig::CCalConfig(double& calFrequency, BYTE& calAmplitudeIndex)
    : CDialog(IDD_CALCONFIG), m_calFrequency(calFrequency), m_calAmplitudeIndex(calAmplitudeIndex)
{
}

void CCalConfig::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FREQUENCY_DISPLAY, m_frequencyDisplay);
    DDX_Control(pDX, IDC_AMPLITUDE_SWITCH, m_amplitudeSwitch);
}

// clang-format off
BEGIN_EVENTSINK_MAP(CCalConfig, CDialog)
    ON_EVENT(CCalConfig, 1098, 5, CCalConfig::OnHundredsUp, VTS_NONE)
    ON_EVENT(CCalConfig, 1102, 5, CCalConfig::OnHundredsDown, VTS_NONE)
    ON_EVENT(CCalConfig, 1103, 5, CCalConfig::OnTensUp, VTS_NONE)
    ON_EVENT(CCalConfig, 1104, 5, CCalConfig::OnTensDown, VTS_NONE)
    ON_EVENT(CCalConfig, 1099, 5, CCalConfig::OnUnitsUp, VTS_NONE)
    ON_EVENT(CCalConfig, 1105, 5, CCalConfig::OnUnitsDown, VTS_NONE)
    ON_EVENT(CCalConfig, 1100, 5, CCalConfig::OnTenthsUp, VTS_NONE)
    ON_EVENT(CCalConfig, 1106, 5, CCalConfig::OnTenthsDown, VTS_NONE)
    ON_EVENT(CCalConfig, 1101, 5, CCalConfig::OnHundredthsUp, VTS_NONE)
    ON_EVENT(CCalConfig, 1107, 5, CCalConfig::OnHundredthsDown, VTS_NONE)
    ON_EVENT(CCalConfig, 1108, 5, CCalConfig::OnPreset2, VTS_NONE)
    ON_EVENT(CCalConfig, 1109, 5, CCalConfig::OnPreset4, VTS_NONE)
    ON_EVENT(CCalConfig, 1110, 5, CCalConfig::OnPreset6, VTS_NONE)
    ON_EVENT(CCalConfig, 1111, 5, CCalConfig::OnPreset8, VTS_NONE)
    ON_EVENT(CCalConfig, 1116, 5, CCalConfig::OnPreset10, VTS_NONE)
    ON_EVENT(CCalConfig, 1117, 5, CCalConfig::OnPreset12, VTS_NONE)
    ON_EVENT(CCalConfig, 1118, 5, CCalConfig::OnPreset14, VTS_NONE)
    ON_EVENT(CCalConfig, 1119, 5, CCalConfig::OnPreset20, VTS_NONE)
END_EVENTSINK_MAP()
// clang-format on

BOOL CCalConfig::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_frequency = m_calFrequency;
    m_frequencyDisplay.SetValue(m_frequency);
    m_amplitudeSwitch.SetPointerPosition(m_calAmplitudeIndex);
    return TRUE;
}

void CCalConfig::StepFrequency(double delta)
{
    m_frequency += delta;
    if (m_frequency < kLowest) m_frequency = kLowest;
    if (m_frequency > kHighest) m_frequency = kHighest;
    m_frequencyDisplay.SetValue(m_frequency);
}

void CCalConfig::SetFrequency(double preset)
{
    m_frequency = preset;
    m_frequencyDisplay.SetValue(m_frequency);
}

void CCalConfig::OnOK()
{
    // The framework's data exchange and validation are not run.
    m_calFrequency = m_frequency;
    m_calAmplitudeIndex = BYTE(m_amplitudeSwitch.GetPosition());
    EndDialog(IDOK);
}
