#include "platform/bus/libusb/device_table.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <unistd.h>

#ifndef AMP_SOURCE_DATA_DIR
#define AMP_SOURCE_DATA_DIR ""
#endif

namespace platform::bus::libusb {

namespace {

std::string_view trim(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

std::optional<uint16_t> parse_hex4(std::string_view s)
{
    if (s.size() != 4) return std::nullopt;
    uint16_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<UsbId> parse_usb_id(std::string_view text)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const auto vendor = parse_hex4(text.substr(0, colon));
    const auto product = parse_hex4(text.substr(colon + 1));
    if (!vendor || !product) return std::nullopt;
    return UsbId{*vendor, *product, {}};
}

void DeviceTable::add(UsbId id)
{
    if (!contains(id.vendor, id.product)) m_ids.push_back(std::move(id));
}

const UsbId* DeviceTable::find(uint16_t vendor, uint16_t product) const
{
    for (const auto& id : m_ids)
        if (id.vendor == vendor && id.product == product) return &id;
    return nullptr;
}

void DeviceTable::add_lines(std::istream& in, std::string_view source, std::ostream& err)
{
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::string_view text = line;
        if (const auto hash = text.find('#'); hash != std::string_view::npos) text = text.substr(0, hash);
        text = trim(text);
        if (text.empty()) continue;

        std::istringstream fields{std::string(text)};
        std::string ids, model, extra;
        fields >> ids >> model >> extra;
        auto id = parse_usb_id(ids);
        if (!id || !extra.empty()) {
            err << source << ":" << number << ": not a `VID:PID model` line, skipped: " << text << "\n";
            continue;
        }
        id->model = model;
        add(std::move(*id));
    }
}

void DeviceTable::add_list(std::string_view list, std::string_view source, std::ostream& err)
{
    int number = 1;
    while (!list.empty()) {
        const auto comma = list.find(',');
        const auto item = trim(list.substr(0, comma));
        if (!item.empty()) {
            if (auto id = parse_usb_id(item)) add(std::move(*id));
            else err << source << ": entry " << number << " is not VID:PID, skipped: " << item << "\n";
        }
        ++number;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
}

std::string device_table_path()
{
    namespace fs = std::filesystem;
    if (const char* file = std::getenv("AMP_USB_IDS_FILE"); file && *file) return file;

    std::error_code ec;
    const auto exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto installed = exe.parent_path().parent_path() / "share" / "ampbench" / "amp-usb-ids";
        if (fs::exists(installed, ec)) return installed.string();
    }
    return std::string(AMP_SOURCE_DATA_DIR) + "/amp-usb-ids";
}

DeviceTable load_device_table(std::ostream& err)
{
    DeviceTable table;
    const auto path = device_table_path();
    if (std::ifstream file(path); file) table.add_lines(file, path, err);
    else err << path << ": cannot read the device table; only AMP_USB_IDS devices are used\n";
    if (const char* extra = std::getenv("AMP_USB_IDS"); extra && *extra) table.add_list(extra, "AMP_USB_IDS", err);
    return table;
}

}  // namespace platform::bus::libusb
