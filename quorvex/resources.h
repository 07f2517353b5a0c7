// The Quorvex program's resources: its dialog templates and its icon, registered with the
// framework under their ids before the first window is built.
#pragma once

#include "platform/afx/afxwin.h"

const platform::afx::DialogTemplate& QuorvexMainTemplate();
const platform::afx::DialogTemplate& QuorvexAboutTemplate();
const platform::afx::DialogTemplate& QuorvexCalConfigTemplate();
// 32 x 32 ARGB pixels of the program icon.
const uint32_t* QuorvexIconPixels();
inline constexpr int QUORVEX_ICON_SIZE = 32;

// Registers templates 102 (IDD_MAIN), 130 (IDD_ABOUT), 132 (IDD_CALCONFIG) and icon group 128
// (IDR_MAINFRAME); idempotent.
void RegisterQuorvexResources();
