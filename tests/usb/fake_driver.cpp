#include "tests/usb/fake_driver.h"

#include <algorithm>
#include <cstring>

namespace usbtest {

using platform::win32::IoRequest;

void FakeDriverFile::ioctl(DWORD code, std::span<uint8_t> in, std::span<uint8_t> out,
                           std::shared_ptr<IoRequest> request)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back({code, Bytes(in.begin(), in.end()), out.size(), !in.empty() && in.data() == out.data()});
    }
    auto answerValue = [&](uint32_t value, size_t size) {
        std::memcpy(out.data(), &value, std::min(size, out.size()));
        request->complete(ERROR_SUCCESS, report(code, DWORD(std::min(size, out.size()))));
    };
    if (code == IOCTL_CONTROL_TRANSFER) return answer_control(in, request);
    if (code == IOCTL_DRIVER_VERSION) return answerValue(driverVersion, 4);
    if (code == IOCTL_ALT_SETTING) {
        if (altSetting < 0) return request->complete(ERROR_GEN_FAILURE, 0);
        return answerValue(uint32_t(altSetting), 1);
    }
    if (code == IOCTL_INFO_DWORD_19) return answerValue(2, 4);
    if (code == IOCTL_INFO_DWORD_1 || code == IOCTL_INFO_BYTE_4) return answerValue(0x11, out.size());
    if (code == IOCTL_INFO_BLOCK_15 || code == IOCTL_INFO_BLOCK_16)
        return request->complete(ERROR_SUCCESS, report(code, DWORD(out.size())));
    if (code == IOCTL_ABORT_ENDPOINT) {
        complete_held(ERROR_OPERATION_ABORTED);
        return request->complete(ERROR_SUCCESS, 0);
    }
    if (transfer) return transfer(code, in, out, request);
    request->complete(ERROR_SUCCESS, report(code, DWORD(out.size())));
}

void FakeDriverFile::answer_control(std::span<uint8_t> record, std::shared_ptr<IoRequest> request)
{
    if (record.size() < TRANSFER_RECORD_SIZE) return request->complete(ERROR_INVALID_PARAMETER, 0);
    uint16_t value = uint16_t(record[2] | record[3] << 8);
    uint16_t length = uint16_t(record[6] | record[7] << 8);
    const Bytes* answer = nullptr;
    if (auto reply = replies.find({value, length}); reply != replies.end()) answer = &reply->second;
    else if (auto it = descriptors.find(value); it != descriptors.end()) answer = &it->second;
    if (record[0] != 0x80 || record[1] != 6)  // any other control transfer goes through
        return request->complete(ERROR_SUCCESS, report(IOCTL_CONTROL_TRANSFER, DWORD(record.size())));
    if (!answer) {
        uint32_t stall = 0xC0000004;
        std::memcpy(record.data() + 14, &stall, 4);
        return request->complete(ERROR_GEN_FAILURE, 0);
    }
    size_t room = std::min<size_t>(length, record.size() - TRANSFER_RECORD_SIZE);
    if (size_t n = std::min(room, answer->size())) std::memcpy(record.data() + TRANSFER_RECORD_SIZE, answer->data(), n);
    request->complete(ERROR_SUCCESS, report(IOCTL_CONTROL_TRANSFER, DWORD(record.size())));
}

DWORD FakeDriverFile::report(DWORD code, DWORD bytes) const
{
    auto it = reportedBytes.find(code);
    return it == reportedBytes.end() ? bytes : it->second;
}

void FakeDriverFile::close()
{
    ++m_closes;
    complete_held(ERROR_OPERATION_ABORTED);
}

std::vector<Request> FakeDriverFile::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<Request> FakeDriverFile::requests(DWORD code) const
{
    std::vector<Request> matching;
    for (const Request& r : requests())
        if (r.code == code) matching.push_back(r);
    return matching;
}

void FakeDriverFile::clear()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

void FakeDriverFile::hold(std::shared_ptr<IoRequest> request)
{
    std::lock_guard lock(m_mutex);
    m_held.push_back(std::move(request));
}

size_t FakeDriverFile::held() const
{
    std::lock_guard lock(m_mutex);
    return m_held.size();
}

void FakeDriverFile::complete_held(DWORD error, DWORD bytes)
{
    std::vector<std::shared_ptr<IoRequest>> held;
    {
        std::lock_guard lock(m_mutex);
        held.swap(m_held);
    }
    for (auto& request : held) request->complete(error, bytes);
}

FakeDriver::FakeDriver(std::string path, int rank, GUID guid)
    : m_file(std::make_shared<FakeDriverFile>()), m_path(std::move(path))
{
    m_id = platform::win32::publish_interface(
        guid, m_path,
        [this]() -> std::shared_ptr<platform::win32::DeviceFile> {
            ++m_opens;
            return m_file;
        },
        rank);
}

FakeDriver::~FakeDriver()
{
    platform::win32::withdraw_interface(m_id);
}

Bytes DeviceDescriptor(uint8_t configCount, uint8_t maxPacket0, uint8_t iManufacturer, uint8_t iProduct,
                       uint8_t iSerial)
{
    return {18,   1,    0x00, 0x02, 0xEF, 0x02,          0x01,     maxPacket0, 0x09,
            0x12, 0x04, 0xA4, 0x34, 0x12, iManufacturer, iProduct, iSerial,    configCount};
}

Bytes StringDescriptor(const std::u16string& text)
{
    Bytes bytes{uint8_t(2 + 2 * text.size()), 3};
    for (char16_t unit : text) {
        bytes.push_back(uint8_t(unit & 0xFF));
        bytes.push_back(uint8_t(unit >> 8));
    }
    return bytes;
}

Bytes Interface(uint8_t number, uint8_t alt, uint8_t endpoints, uint8_t cls)
{
    return {9, 4, number, alt, endpoints, cls, 0x01, 0x02, 0};
}

Bytes EndPoint(uint8_t address, uint8_t attributes, uint16_t maxPacket, uint8_t interval)
{
    return {7, 5, address, attributes, uint8_t(maxPacket & 0xFF), uint8_t(maxPacket >> 8), interval};
}

Bytes Configuration(const Bytes& body, uint8_t numInterfaces, int totalLength, uint8_t value)
{
    uint16_t total = totalLength < 0 ? uint16_t(9 + body.size()) : uint16_t(totalLength);
    Bytes bytes{9, 2, uint8_t(total & 0xFF), uint8_t(total >> 8), numInterfaces, value, 0, 0x80, 250};
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes bytes;
    for (const Bytes& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

void PresentAmplifier(FakeDriverFile& file, const std::u16string& product)
{
    file.descriptors[0x0100] = DeviceDescriptor();
    file.descriptors[0x0300] = {4, 3, 0x09, 0x04};
    file.descriptors[0x0301] = StringDescriptor(u"Amplifier Works");
    file.descriptors[0x0302] = StringDescriptor(product);
    file.descriptors[0x0303] = StringDescriptor(u"1234");
    file.descriptors[0x0200] =
        Configuration(Join({Interface(0, 0, 2), EndPoint(0x01, 2, 512), EndPoint(0x81, 2, 512)}));
}

}  // namespace usbtest
