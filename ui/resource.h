// Resource ids of the front panels. Both models use the same numbers for the controls they share.
#pragma once

#define IDD_MAIN 102
#define IDR_MAINFRAME 128
#define IDD_ABOUT 130
#define IDD_CALCONFIG 132

#define IDC_CHART 1000
#define IDC_POWER 1001
#define IDC_SCROLL 1003
#define IDC_IMPEDANCE_1 1009  // 1009 to 1013: inputs "1" to "4" and "R"
#define IDC_SCALE_2K 1015
#define IDC_SCALE_10K 1016
#define IDC_SCALE_15K 1017
#define IDC_SCALE_20K 1018
#define IDC_SCALE_30K 1020
#define IDC_BAR_NAME_1 1021  // 1021 to 1025
#define IDC_RANGE 1028
#define IDC_HZ_CAPTION 1033
#define IDC_CONFIGURE 1034
#define IDC_MODE 1035
#define IDC_NOTCH_SWITCH 1036
#define IDC_UV_CAPTION 1038
#define IDC_CAL_FREQUENCY 1039
#define IDC_CAL_AMPLITUDE 1040
#define IDC_ABOUT 1041
#define IDC_CHANNELS 1045
#define IDC_AUX 1046
#define IDC_REFERENCE 1047
#define IDC_NOTCH 1048
#define IDC_MODEL_LABEL 1053

// About box (template 130)
#define IDC_ABOUT_TITLE 1015
#define IDC_FIRMWARE_CAPTION 1017
#define IDC_USB_DRIVER_CAPTION 1018
#define IDC_SERIAL_CAPTION 1019
#define IDC_FIRMWARE_VERSION 1054
#define IDC_USB_DRIVER_VERSION 1055
#define IDC_SERIAL_NUMBER 1056

// Calibration Settings (template 132); the step and preset keys 1098 to 1111 and 1116 to 1119
#define IDC_FREQUENCY_DISPLAY 1097
#define IDC_AMPLITUDE_SWITCH 1124
