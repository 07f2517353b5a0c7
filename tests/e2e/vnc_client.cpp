// A small VNC viewer for the end-to-end tests: connects to 127.0.0.1:PORT, then runs its commands
// in order and exits 0, or prints one line and exits 1.
//   shot FILE     the whole screen as a binary PPM
//   click X Y     button 1 pressed and released at X, Y
//   wait MS       a pause
// It asks for 32-bit pixels with red in the high byte and raw rectangles only, and offers no
// cursor encoding, like the simplest viewers. With --server-format (before PORT) it keeps the
// server's own pixel format instead, as a viewer may.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

class Viewer {
public:
    Viewer(int port, bool serverFormat) : m_serverFormat(serverFormat)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(uint16_t(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
        int yes = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        Handshake();
    }
    ~Viewer() { ::close(m_fd); }

    // A whole new picture: a non-incremental request, then the update that answers it.
    void Shot(const std::string& file)
    {
        Send({3, 0, 0, 0, 0, 0, uint8_t(m_width >> 8), uint8_t(m_width), uint8_t(m_height >> 8), uint8_t(m_height)});
        ReadUpdate();
        std::FILE* f = std::fopen(file.c_str(), "wb");
        if (!f) throw std::runtime_error("cannot write " + file);
        std::fprintf(f, "P6\n%d %d\n255\n", m_width, m_height);
        for (uint32_t pixel : m_screen) {
            const uint8_t rgb[3] = {uint8_t(pixel >> 16), uint8_t(pixel >> 8), uint8_t(pixel)};
            std::fwrite(rgb, 1, 3, f);
        }
        std::fclose(f);
    }

    void Click(int x, int y)
    {
        Pointer(x, y, 0);
        Pointer(x, y, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        Pointer(x, y, 0);
    }

private:
    void Handshake()
    {
        std::string version = Text(12);
        if (version.rfind("RFB 003.", 0) != 0) throw std::runtime_error("not a VNC server: " + version);
        const bool v33 = version < "RFB 003.007";
        Send(v33 ? "RFB 003.003\n" : "RFB 003.008\n");
        if (v33) {
            if (U32() != 1) throw std::runtime_error("the server asks for authentication");
        } else {
            std::vector<uint8_t> types = Bytes(Bytes(1)[0]);
            bool none = false;
            for (uint8_t t : types) none |= t == 1;
            if (!none) throw std::runtime_error("the server asks for authentication");
            Send({1});
            if (U32() != 0) throw std::runtime_error("the server refused the connection");
        }
        Send({1});  // shared
        std::vector<uint8_t> init = Bytes(20);
        m_width = init[0] << 8 | init[1];
        m_height = init[2] << 8 | init[3];
        Bytes(U32());  // the desktop's name
        m_screen.assign(size_t(m_width) * size_t(m_height), 0);
        if (m_serverFormat) {
            m_format = Format{init[4] / 8,
                              init[6] != 0,
                              uint16_t(init[8] << 8 | init[9]),
                              uint16_t(init[10] << 8 | init[11]),
                              uint16_t(init[12] << 8 | init[13]),
                              init[14],
                              init[15],
                              init[16]};
        } else {
            // 32 bits a pixel, depth 24, little endian, true colour, 255 each, red 16, green 8, blue 0.
            Send({0, 0, 0, 0, 32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0});
        }
        Send({2, 0, 0, 1, 0, 0, 0, 0});  // raw only
    }

    void ReadUpdate()
    {
        for (;;) {
            const uint8_t type = Bytes(1)[0];
            if (type == 0) break;
            if (type == 1) {  // colour map entries
                std::vector<uint8_t> head = Bytes(5);
                Bytes(size_t(head[3] << 8 | head[4]) * 6);
            } else if (type == 2) {  // bell
            } else if (type == 3) {  // cut text
                Bytes(3);
                Bytes(U32());
            } else {
                throw std::runtime_error("unknown server message " + std::to_string(type));
            }
        }
        Bytes(1);
        std::vector<uint8_t> count = Bytes(2);
        for (int n = count[0] << 8 | count[1]; n > 0; --n) {
            std::vector<uint8_t> r = Bytes(12);
            const int x = r[0] << 8 | r[1], y = r[2] << 8 | r[3], w = r[4] << 8 | r[5], h = r[6] << 8 | r[7];
            const int32_t encoding =
                int32_t(uint32_t(r[8]) << 24 | uint32_t(r[9]) << 16 | uint32_t(r[10]) << 8 | r[11]);
            if (encoding != 0) throw std::runtime_error("the server sent encoding " + std::to_string(encoding));
            if (x + w > m_width || y + h > m_height) throw std::runtime_error("a rectangle outside the screen");
            const size_t size = size_t(m_format.bytes);
            std::vector<uint8_t> pixels = Bytes(size_t(w) * size_t(h) * size);
            for (int row = 0; row < h; ++row)
                for (int col = 0; col < w; ++col)
                    m_screen[size_t(y + row) * size_t(m_width) + size_t(x + col)] =
                        m_format.rgb(&pixels[(size_t(row) * size_t(w) + size_t(col)) * size]);
        }
    }

    void Pointer(int x, int y, uint8_t buttons)
    {
        Send({5, buttons, uint8_t(x >> 8), uint8_t(x), uint8_t(y >> 8), uint8_t(y)});
    }

    void Send(std::initializer_list<uint8_t> bytes) { Send(std::string(bytes.begin(), bytes.end())); }
    void Send(const std::string& bytes)
    {
        if (::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != ssize_t(bytes.size()))
            throw std::runtime_error("the server closed the connection");
    }

    std::vector<uint8_t> Bytes(size_t n)
    {
        std::vector<uint8_t> out(n);
        for (size_t got = 0; got < n;) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1) throw std::runtime_error("no answer from the server in 10 s");
            const ssize_t r = ::recv(m_fd, out.data() + got, n - got, 0);
            if (r <= 0) throw std::runtime_error("the server closed the connection");
            got += size_t(r);
        }
        return out;
    }
    std::string Text(size_t n)
    {
        std::vector<uint8_t> b = Bytes(n);
        return std::string(b.begin(), b.end());
    }
    uint32_t U32()
    {
        std::vector<uint8_t> b = Bytes(4);
        return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    }

    // A true-colour pixel format, as ServerInit and SetPixelFormat carry it.
    struct Format {
        int bytes;
        bool bigEndian;
        uint16_t redMax, greenMax, blueMax;
        uint8_t redShift, greenShift, blueShift;

        // 0xRRGGBB
        uint32_t rgb(const uint8_t* p) const
        {
            uint32_t v = 0;
            for (int i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * (bigEndian ? bytes - 1 - i : i));
            auto scaled = [v](uint8_t shift, uint16_t max) { return (v >> shift & max) * 255 / max; };
            return scaled(redShift, redMax) << 16 | scaled(greenShift, greenMax) << 8 | scaled(blueShift, blueMax);
        }
    };

    bool m_serverFormat;
    Format m_format{4, false, 255, 255, 255, 16, 8, 0};
    int m_fd = -1;
    int m_width = 0, m_height = 0;
    std::vector<uint32_t> m_screen;
};

}  // namespace

int main(int argc, char** argv)
{
    const bool serverFormat = argc > 1 && std::strcmp(argv[1], "--server-format") == 0;
    const int first = serverFormat ? 2 : 1;
    if (argc <= first) {
        std::fprintf(stderr, "usage: vnc_client [--server-format] PORT [shot FILE | click X Y | wait MS]...\n");
        return 2;
    }
    try {
        Viewer viewer(std::atoi(argv[first]), serverFormat);
        for (int i = first + 1; i < argc; ++i) {
            const std::string command = argv[i];
            if (command == "shot" && i + 1 < argc) {
                viewer.Shot(argv[++i]);
            } else if (command == "click" && i + 2 < argc) {
                viewer.Click(std::atoi(argv[i + 1]), std::atoi(argv[i + 2]));
                i += 2;
            } else if (command == "wait" && i + 1 < argc) {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[++i])));
            } else {
                throw std::runtime_error("unknown command " + command);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vnc_client: %s\n", e.what());
        return 1;
    }
    return 0;
}
