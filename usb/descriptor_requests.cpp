#include "usb/driver_codes.h"
#include "usb/transfer_record.h"
#include "usb/usb_device.h"

#include <cstring>
#include <vector>

namespace {

const BYTE GET_DESCRIPTOR_TYPE = 0x80;  // device-to-host, standard, device
const BYTE GET_DESCRIPTOR = 6;
const DWORD DESCRIPTOR_TIMEOUT_SECONDS = 5;
const WORD DEVICE_DESCRIPTOR = 0x0100;
const WORD CONFIG_DESCRIPTOR = 0x0200;
const WORD STRING_DESCRIPTOR = 0x0300;
const BYTE STRING_TYPE = 3;
const WORD CONFIG_HEADER_SIZE = 9;
const WORD LANGUAGE_US_ENGLISH = 0x0409;

WORD Word(const BYTE* p)
{
    return WORD(p[0] | p[1] << 8);
}

}  // namespace

bool CUsbDevice::RequestDescriptor(WORD value, WORD index, WORD length, BYTE* data)
{
    DWORD recordSize = TRANSFER_RECORD_SIZE + length;
    std::vector<BYTE> bytes(recordSize, 0);
    TransferRecord record;
    std::memset(&record, 0, sizeof(record));
    record.setupPacket.bmRequestType = GET_DESCRIPTOR_TYPE;
    record.setupPacket.bRequest = GET_DESCRIPTOR;
    record.setupPacket.wValue = value;
    record.setupPacket.wIndex = index;
    record.setupPacket.wLength = length;
    record.timeoutSeconds = DESCRIPTOR_TIMEOUT_SECONDS;
    record.endPointAddress = 0;
    record.dataOffset = TRANSFER_RECORD_SIZE;
    record.dataLength = length;
    std::memcpy(bytes.data(), &record, sizeof(record));

    bool done = IoControl(IOCTL_CONTROL_TRANSFER, bytes.data(), recordSize);
    std::memcpy(&record, bytes.data(), sizeof(record));
    lastStatus2 = record.status2;
    lastStatus1 = record.status1;
    if (done && length > 0) std::memcpy(data, bytes.data() + TRANSFER_RECORD_SIZE, length);
    return done;
}

void CUsbDevice::ReadDeviceDescriptor()
{
    std::memset(deviceDescriptor, 0, sizeof(deviceDescriptor));
    BYTE d[DEVICE_DESCRIPTOR_SIZE];
    if (!RequestDescriptor(DEVICE_DESCRIPTOR, 0, DEVICE_DESCRIPTOR_SIZE, d)) return;
    std::memcpy(deviceDescriptor, d, sizeof(deviceDescriptor));
    usbVersion = Word(d + 2);
    deviceClass = d[4];
    deviceSubClass = d[5];
    deviceProtocol = d[6];
    maxPacketSize0 = d[7];
    vendorId = Word(d + 8);
    productId = Word(d + 10);
    deviceRelease = Word(d + 12);
    configCount = d[17];
}

void CUsbDevice::ReadLanguageId()
{
    BYTE header[2];
    if (!RequestDescriptor(STRING_DESCRIPTOR, 0, 2, header)) return;
    BYTE tableLength = header[0];
    if (tableLength < 2) {
        // Shorter than its own header: a table without a language.
        languageId = 0;
        return;
    }
    std::vector<BYTE> table(tableLength);
    if (!RequestDescriptor(STRING_DESCRIPTOR, 0, tableLength, table.data())) return;

    int count = (tableLength - 2) / 2;
    languageId = count > 0 ? Word(&table[2]) : 0;
    for (int i = 0; i < count; ++i)
        if (Word(&table[2 + 2 * i]) == LANGUAGE_US_ENGLISH) languageId = LANGUAGE_US_ENGLISH;
}

void CUsbDevice::ReadStringDescriptor(WCHAR* target, BYTE index)
{
    WORD value = WORD(STRING_DESCRIPTOR | index);
    BYTE header[2];
    if (!RequestDescriptor(value, languageId, 2, header)) return;
    BYTE stringLength = header[0];
    if (stringLength < 2) return;  // shorter than its own header
    std::vector<BYTE> text(stringLength);
    if (!RequestDescriptor(value, languageId, stringLength, text.data())) return;
    if (stringLength > 2 && text[1] == STRING_TYPE) {
        // At most 253 bytes after the header: the 256 units always end in zeros.
        std::memset(target, 0, USB_STRING_UNITS * sizeof(WCHAR));
        std::memcpy(target, text.data() + 2, stringLength - 2);
    }
}

void CUsbDevice::ReadConfigDescriptor(BYTE index)
{
    if (index >= MAX_CONFIGURATIONS) return;
    BYTE header[CONFIG_HEADER_SIZE];
    if (!RequestDescriptor(WORD(CONFIG_DESCRIPTOR | index), 0, CONFIG_HEADER_SIZE, header)) return;
    WORD totalLength = Word(header + 2);
    if (totalLength < CONFIG_HEADER_SIZE) return;  // shorter than its own header
    std::vector<BYTE> block(totalLength);
    if (!RequestDescriptor(WORD(CONFIG_DESCRIPTOR | index), 0, totalLength, block.data())) return;

    delete[] configDescriptors[index];
    configDescriptors[index] = new BYTE[totalLength];
    std::memcpy(configDescriptors[index], block.data(), totalLength);
    configDescriptorLength[index] = totalLength;
}

bool CUsbDevice::QueryDword(DWORD code, DWORD& value)
{
    DWORD answer = 0;
    bool ok = IoControl(code, &answer, sizeof(answer));
    value = ok ? answer : 0;
    return ok;
}

void CUsbDevice::QueryDriverVersion()
{
    QueryDword(IOCTL_DRIVER_VERSION, driverVersion);
}

void CUsbDevice::QueryInfoDword1()
{
    QueryDword(IOCTL_INFO_DWORD_1, infoDword1);
}

void CUsbDevice::QueryInfoByte4()
{
    BYTE answer = 0;
    infoByte4 = IoControl(IOCTL_INFO_BYTE_4, &answer, 1) ? answer : 0;
}

void CUsbDevice::QueryInfoBlock15()
{
    std::memset(infoBlock15, 0, sizeof(infoBlock15));
    IoControl(IOCTL_INFO_BLOCK_15, infoBlock15, sizeof(infoBlock15));
}

void CUsbDevice::QueryInfoBlock16()
{
    std::memset(infoBlock16, 0, sizeof(infoBlock16));
    IoControl(IOCTL_INFO_BLOCK_16, infoBlock16, sizeof(infoBlock16));
}

void CUsbDevice::QueryInfoFlag19()
{
    DWORD value = 0;
    IoControl(IOCTL_INFO_DWORD_19, &value, sizeof(value));
    infoFlag19 = value == 2;
}

BYTE CUsbDevice::QueryAltSetting()
{
    BYTE setting = 0;
    return IoControl(IOCTL_ALT_SETTING, &setting, 1) ? setting : 0xFF;
}
