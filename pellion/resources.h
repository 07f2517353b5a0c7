// The Pellion program's resources: its dialog templates and its icon, registered with the
// framework under their ids before the first window is built.
#pragma once

#include "platform/afx/afxwin.h"

const platform::afx::DialogTemplate& PellionMainTemplate();
const platform::afx::DialogTemplate& PellionAboutTemplate();
// 32 x 32 ARGB pixels of the program icon.
const uint32_t* PellionIconPixels();
inline constexpr int PELLION_ICON_SIZE = 32;

// Registers templates 102 (IDD_MAIN), 130 (IDD_ABOUT) and icon group 128 (IDR_MAINFRAME);
// idempotent. The Pellion has no calibration settings dialog.
void RegisterPellionResources();
