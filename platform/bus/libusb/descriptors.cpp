#include "platform/bus/libusb/descriptors.h"

#include <libusb.h>

namespace platform::bus::libusb {

namespace {

void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t(v >> 8));
}

void put_extra(std::vector<uint8_t>& out, const unsigned char* extra, int length)
{
    if (extra && length > 0) out.insert(out.end(), extra, extra + length);
}

}  // namespace

std::vector<uint8_t> device_descriptor_bytes(const libusb_device_descriptor& d)
{
    std::vector<uint8_t> out;
    out.reserve(LIBUSB_DT_DEVICE_SIZE);
    out.push_back(LIBUSB_DT_DEVICE_SIZE);
    out.push_back(LIBUSB_DT_DEVICE);
    put16(out, d.bcdUSB);
    out.push_back(d.bDeviceClass);
    out.push_back(d.bDeviceSubClass);
    out.push_back(d.bDeviceProtocol);
    out.push_back(d.bMaxPacketSize0);
    put16(out, d.idVendor);
    put16(out, d.idProduct);
    put16(out, d.bcdDevice);
    out.push_back(d.iManufacturer);
    out.push_back(d.iProduct);
    out.push_back(d.iSerialNumber);
    out.push_back(d.bNumConfigurations);
    return out;
}

std::vector<uint8_t> config_descriptor_bytes(const libusb_config_descriptor& c)
{
    std::vector<uint8_t> out;
    out.push_back(LIBUSB_DT_CONFIG_SIZE);
    out.push_back(LIBUSB_DT_CONFIG);
    put16(out, 0);  // wTotalLength, known at the end
    out.push_back(c.bNumInterfaces);
    out.push_back(c.bConfigurationValue);
    out.push_back(c.iConfiguration);
    out.push_back(c.bmAttributes);
    out.push_back(c.MaxPower);
    put_extra(out, c.extra, c.extra_length);

    for (int i = 0; i < c.bNumInterfaces; ++i) {
        const auto& iface = c.interface[i];
        for (int a = 0; a < iface.num_altsetting; ++a) {
            const auto& s = iface.altsetting[a];
            out.push_back(LIBUSB_DT_INTERFACE_SIZE);
            out.push_back(LIBUSB_DT_INTERFACE);
            out.push_back(s.bInterfaceNumber);
            out.push_back(s.bAlternateSetting);
            out.push_back(s.bNumEndpoints);
            out.push_back(s.bInterfaceClass);
            out.push_back(s.bInterfaceSubClass);
            out.push_back(s.bInterfaceProtocol);
            out.push_back(s.iInterface);
            put_extra(out, s.extra, s.extra_length);
            for (int e = 0; e < s.bNumEndpoints; ++e) {
                const auto& ep = s.endpoint[e];
                // Audio endpoints carry two more bytes; keep the length the device gave.
                const bool audio = ep.bLength >= LIBUSB_DT_ENDPOINT_AUDIO_SIZE;
                out.push_back(audio ? LIBUSB_DT_ENDPOINT_AUDIO_SIZE : LIBUSB_DT_ENDPOINT_SIZE);
                out.push_back(LIBUSB_DT_ENDPOINT);
                out.push_back(ep.bEndpointAddress);
                out.push_back(ep.bmAttributes);
                put16(out, ep.wMaxPacketSize);
                out.push_back(ep.bInterval);
                if (audio) {
                    out.push_back(ep.bRefresh);
                    out.push_back(ep.bSynchAddress);
                }
                put_extra(out, ep.extra, ep.extra_length);
            }
        }
    }
    const auto total = uint16_t(out.size());
    out[2] = uint8_t(total & 0xFF);
    out[3] = uint8_t(total >> 8);
    return out;
}

}  // namespace platform::bus::libusb
