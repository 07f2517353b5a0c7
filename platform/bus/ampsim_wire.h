// The frames between a program and an ampsim process: one SOCK_SEQPACKET message each, a fixed
// header and the data bytes. Both ends run on one machine, so fields travel in host order.
#pragma once

#include "platform/bus/device.h"

#include <sys/socket.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace platform::bus::ampsim {

enum class Frame : uint8_t {
    info = 1,     // server -> client on connect: value = driver version
    control = 2,  // setup + OUT data; answered by control | kDone with status, bytes, IN data
    submit = 3,   // endpoint, length = room (IN) or the OUT data; answered by submit | kDone
    cancel = 4,   // endpoint; answered by cancel | kDone after every cancelled submit's answer
    open = 5,     // answered by open | kDone with status
    close = 6,    // no answer
};
inline constexpr uint8_t kDone = 0x80;

struct Header {
    uint8_t type = 0;
    uint8_t endpoint = 0;
    uint8_t status = 0;
    uint8_t reserved = 0;
    uint32_t id = 0;
    uint32_t length = 0;
    uint32_t value = 0;
    Setup setup;
};
static_assert(sizeof(Header) == 24);

// Largest data part of one frame; a transfer beyond it fails with Status::error.
inline constexpr size_t kMaxData = 65536;
inline constexpr size_t kMaxFrame = sizeof(Header) + kMaxData;

// Sends one frame; false when the peer is gone.
inline bool send_frame(int fd, const Header& header, std::span<const uint8_t> data = {})
{
    iovec parts[2] = {{const_cast<Header*>(&header), sizeof header}, {const_cast<uint8_t*>(data.data()), data.size()}};
    msghdr msg{};
    msg.msg_iov = parts;
    msg.msg_iovlen = data.empty() ? 1 : 2;
    ssize_t n;
    do {
        n = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof header + data.size());
}

// One frame as it arrived.
struct Received {
    Header header;
    std::span<const uint8_t> data;  // inside the receiving buffer, valid until its next use
};

// Receives one frame into `buffer` (kMaxFrame bytes); nothing when the peer is gone.
inline std::optional<Received> receive_frame(int fd, std::span<uint8_t> buffer)
{
    ssize_t n;
    do {
        n = ::recv(fd, buffer.data(), buffer.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n < static_cast<ssize_t>(sizeof(Header))) return std::nullopt;
    Received frame;
    std::memcpy(&frame.header, buffer.data(), sizeof frame.header);
    frame.data = buffer.subspan(sizeof frame.header, static_cast<size_t>(n) - sizeof frame.header);
    return frame;
}

}  // namespace platform::bus::ampsim
