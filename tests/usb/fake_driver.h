// A stand-in for the amplifier's driver, published through the device namespace: it records
// every request byte by byte and answers descriptor requests, queries and transfers from a
// script that each test sets up, including answers no honest driver would give.
#pragma once

#include "platform/win32/device_namespace.h"
#include "usb/driver_codes.h"
#include "usb/transfer_record.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace usbtest {

using Bytes = std::vector<uint8_t>;

inline constexpr GUID kTestInterface = {0x5A1E0001, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

struct Request {
    DWORD code = 0;
    Bytes in;  // the input bytes as they arrived
    size_t outSize = 0;
    bool sameBuffer = false;  // input and output are one buffer
};

// Little-endian field readers for asserting on recorded records.
inline uint16_t Word(const Bytes& b, size_t at)
{
    return uint16_t(b.at(at) | b.at(at + 1) << 8);
}
inline uint32_t Dword(const Bytes& b, size_t at)
{
    return uint32_t(b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | uint32_t(b.at(at + 3)) << 24);
}

class FakeDriverFile : public platform::win32::DeviceFile {
public:
    // Descriptors by wValue (type << 8 | index).
    std::map<uint16_t, Bytes> descriptors;
    // Answers for one (wValue, wLength) pair, ahead of `descriptors`: a driver that contradicts itself.
    std::map<std::pair<uint16_t, uint16_t>, Bytes> replies;
    uint32_t driverVersion = 0x01050700;
    int altSetting = 0;  // -1: the query fails
    // Answers a bulk/interrupt/isochronous transfer; default: completes at once with all bytes.
    std::function<void(DWORD code, std::span<uint8_t> in, std::span<uint8_t> out,
                       std::shared_ptr<platform::win32::IoRequest> request)>
        transfer;
    // Replaces the byte count of every answer to `code` (hostile drivers).
    std::map<DWORD, DWORD> reportedBytes;

    void ioctl(DWORD code, std::span<uint8_t> in, std::span<uint8_t> out,
               std::shared_ptr<platform::win32::IoRequest> request) override;
    void close() override;
    int closes() const { return m_closes; }

    std::vector<Request> requests() const;
    std::vector<Request> requests(DWORD code) const;
    void clear();
    // Completes every held transfer request with `error`.
    void complete_held(DWORD error, DWORD bytes = 0);
    void hold(std::shared_ptr<platform::win32::IoRequest> request);
    size_t held() const;

private:
    DWORD report(DWORD code, DWORD bytes) const;
    void answer_control(std::span<uint8_t> record, std::shared_ptr<platform::win32::IoRequest> request);

    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
    std::vector<std::shared_ptr<platform::win32::IoRequest>> m_held;
    std::atomic<int> m_closes{0};
};

// Publishes one FakeDriverFile (every open returns the same one) and withdraws it at the end.
class FakeDriver {
public:
    explicit FakeDriver(std::string path = "\\\\?\\usb#vid_1209&pid_a404#fake-1#{test}", int rank = 0,
                        GUID guid = kTestInterface);
    ~FakeDriver();
    FakeDriver(const FakeDriver&) = delete;
    FakeDriver& operator=(const FakeDriver&) = delete;

    FakeDriverFile& file() { return *m_file; }
    const std::string& path() const { return m_path; }
    int opens() const { return m_opens; }

private:
    std::shared_ptr<FakeDriverFile> m_file;
    std::string m_path;
    platform::win32::InterfaceId m_id;
    int m_opens = 0;
};

// Descriptor builders for tests that write blocks by hand.
Bytes DeviceDescriptor(uint8_t configCount = 1, uint8_t maxPacket0 = 64, uint8_t iManufacturer = 1,
                       uint8_t iProduct = 2, uint8_t iSerial = 3);
Bytes StringDescriptor(const std::u16string& text);
Bytes Interface(uint8_t number, uint8_t alt, uint8_t endpoints, uint8_t cls = 0xFF);
Bytes EndPoint(uint8_t address, uint8_t attributes, uint16_t maxPacket = 512, uint8_t interval = 0);
// A configuration descriptor followed by `body`; wTotalLength counted unless given.
Bytes Configuration(const Bytes& body, uint8_t numInterfaces = 1, int totalLength = -1, uint8_t value = 1);
Bytes Join(std::initializer_list<Bytes> parts);

// The amplifier's set: one configuration, interface 0 alt 0, bulk OUT 0x01 and IN 0x81.
void PresentAmplifier(FakeDriverFile& file, const std::u16string& product = u"QRVX-4 EEG Amplifier");

}  // namespace usbtest
