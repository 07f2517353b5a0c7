// Which USB devices are amplifiers: the table installed with the programs plus AMP_USB_IDS for a
// unit that is not listed. The libusb backend never opens, claims or detaches a kernel driver
// from a device outside it. A malformed entry is reported once on stderr and skipped.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::bus::libusb {

struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string model;  // "quorvex", "pellion", or empty for an AMP_USB_IDS entry
};

class DeviceTable {
public:
    // One `VID:PID model` a line (hex ids, model optional), `#` starts a comment. `source` names
    // the input in the stderr lines about malformed entries ("amp-usb-ids:7: ...").
    void add_lines(std::istream& in, std::string_view source, std::ostream& err);
    // `1234:5678[,VID:PID...]`, as AMP_USB_IDS holds it.
    void add_list(std::string_view list, std::string_view source, std::ostream& err);
    void add(UsbId id);

    const UsbId* find(uint16_t vendor, uint16_t product) const;
    bool contains(uint16_t vendor, uint16_t product) const { return find(vendor, product) != nullptr; }
    const std::vector<UsbId>& ids() const { return m_ids; }

private:
    std::vector<UsbId> m_ids;
};

// "1234:5678" -> ids; nothing for anything else (no 0x, exactly four hex digits each side).
std::optional<UsbId> parse_usb_id(std::string_view text);

// Where the installed table lives: $AMP_USB_IDS_FILE, else share/ampbench/amp-usb-ids beside the
// program's bin/ folder, else the source tree's data/amp-usb-ids.
std::string device_table_path();
// The installed table plus $AMP_USB_IDS, problems reported on `err`.
DeviceTable load_device_table(std::ostream& err);

}  // namespace platform::bus::libusb
