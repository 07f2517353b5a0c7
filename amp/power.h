// The amplifier's power-on sequences, each model's own, with the waits the amplifier needs, and
// the two exchanges they are made of: the version query and the calibration packet. Waits go
// through Sleep (the platform clock); writes are not checked, as everywhere on this link.
#pragma once

#include "platform/win32/windows.h"

// Command 21 and one 68-byte read. Only exactly 68 bytes starting with 'c' count as a reply; then
// versionBytes gets reply bytes 1 to 4 (USB driver version, firmware, serial low, serial high)
// and the result is true. Whatever arrives is consumed either way.
bool QueryAmplifierVersion(int versionBytes[4]);

// The Quorvex at start-up, once it is open: power on, 750 ms, the version query (when it fails:
// 500 ms, two queries of which the second decides, and when that fails 500 ms and a last one),
// 200 ms (none of it after a first query that finds the amplifier gone). The calibration packet
// comes next; the caller sends it. True when a reply was valid.
bool QuorvexPowerOn(int versionBytes[4]);

// The Pellion's POWER switch turned on: power on, 250 ms (the amplifier needs a moment before it
// takes a mode), mode CAL, the version query and, only when that fails, 500 ms and one more.
// True when a reply was valid.
bool PellionPowerOn(int versionBytes[4]);

// The calibration packet for `frequency` (Hz) and amplitude step `amplitudeIndex` (0 to 8).
void SendCalibration(double frequency, unsigned amplitudeIndex);
