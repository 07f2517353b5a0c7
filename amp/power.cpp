#include "amp/power.h"

#include "amp/link.h"

bool QueryAmplifierVersion(int versionBytes[4])
{
    BYTE reply[512] = {};
    SendCommand(CMD_GET_VERSION);
    LONG length = ReadPacket(reply);
    return VersionReply::Decode(reply, length, versionBytes);
}

bool QuorvexPowerOn(int versionBytes[4])
{
    SendCommand(CMD_POWER_ON);
    Sleep(750);
    // Up to four queries; whichever succeeds last leaves its values. An amplifier unplugged
    // meanwhile is not waited for.
    bool valid = QueryAmplifierVersion(versionBytes);
    if (!valid && AmplifierGone()) return false;
    if (!valid) {
        Sleep(500);
        bool second = QueryAmplifierVersion(versionBytes);
        valid = QueryAmplifierVersion(versionBytes);
        if (!valid) {
            Sleep(500);
            valid = QueryAmplifierVersion(versionBytes) || second;
        }
    }
    Sleep(200);
    return valid;
}

bool PellionPowerOn(int versionBytes[4])
{
    SendCommand(CMD_POWER_ON);
    Sleep(250);
    SendCommand(CMD_MODE_CAL);
    if (QueryAmplifierVersion(versionBytes)) return true;
    Sleep(500);
    return QueryAmplifierVersion(versionBytes);
}

void SendCalibration(double frequency, unsigned amplitudeIndex)
{
    BYTE packet[512] = {};
    CalibrationPacket calibration = CalibrationPacket::Build(frequency, amplitudeIndex);
    for (int i = 0; i < CALIBRATION_PACKET_LENGTH; ++i) packet[i] = calibration.bytes[i];
    SendPacket(packet, CALIBRATION_PACKET_LENGTH);
}
