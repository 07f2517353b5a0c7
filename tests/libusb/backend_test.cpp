// The libusb backend against simulated devices on a umockdev testbed: what reaches the
// registry, and what each bus::Device call turns into on the wire.
#include "platform/bus/bus.h"
#include "platform/bus/libusb/libusb_backend.h"
#include "sim/descriptors.h"
#include "sim/usb_device.h"
#include "tests/libusb/usb_testbed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace {

using platform::bus::Device;
using platform::bus::Result;
using UsbSetup = platform::bus::Setup;
using platform::bus::Status;
namespace bus = platform::bus;
namespace lb = platform::bus::libusb;

constexpr uint16_t kQuorvexId = 0xA404;

std::shared_ptr<sim::UsbDevice> make_model(uint16_t productId = kQuorvexId,
                                           std::string product = "QRVX-4 EEG Amplifier")
{
    return std::make_shared<sim::UsbDevice>(sim::amplifier_descriptors(productId, product, "1234"), "model");
}

std::shared_ptr<Device> libusb_device()
{
    for (auto& d : bus::devices())
        if (d->backend() == "libusb") return d;
    return nullptr;
}

// A completion a test can wait for; counts how often it ran.
struct Waiter {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Result> results;

    Device::Completion callback()
    {
        return [this](Result r) {
            std::lock_guard lock(mutex);
            results.push_back(r);
            cv.notify_all();
        };
    }
    std::optional<Result> wait()
    {
        std::unique_lock lock(mutex);
        if (!cv.wait_for(lock, std::chrono::seconds(5), [this] { return !results.empty(); })) return std::nullopt;
        return results.front();
    }
    size_t count()
    {
        std::lock_guard lock(mutex);
        return results.size();
    }
};

lb::DeviceTable quorvex_table()
{
    lb::DeviceTable table;
    table.add({0x1209, kQuorvexId, "quorvex"});
    return table;
}

class LibusbBackend : public ::testing::Test {
protected:
    void plug_and_start(lb::DeviceTable table = quorvex_table())
    {
        m_path = m_testbed.plug(m_model, 2, 4);
        ASSERT_TRUE(lb::start(std::move(table)));
        m_device = libusb_device();
        ASSERT_NE(m_device, nullptr);
    }
    void TearDown() override
    {
        m_device.reset();
        lb::stop();
    }

    libusb_test::UsbTestbed m_testbed;
    std::shared_ptr<sim::UsbDevice> m_model = make_model();
    std::string m_path;
    std::shared_ptr<Device> m_device;
};

TEST_F(LibusbBackend, TableDeviceIsAttachedWithItsBusLocation)
{
    plug_and_start();
    EXPECT_EQ(m_device->backend(), "libusb");
    EXPECT_EQ(m_device->location(), "1-4");
    EXPECT_EQ(bus::devices().size(), 1u);
}

TEST_F(LibusbBackend, DeviceOutsideTheTableIsNeverOpened)
{
    auto stranger = make_model(0x0001, "Some Other Device");
    const auto strangerPath = m_testbed.plug(stranger, 3, 5);
    plug_and_start();
    EXPECT_EQ(bus::devices().size(), 1u);
    m_device->open();
    m_device->close();
    EXPECT_TRUE(m_testbed.requests(strangerPath).empty());
}

TEST_F(LibusbBackend, EnvironmentIdsAddAnUnlistedUnit)
{
    lb::DeviceTable table;
    std::ostringstream err;
    table.add_list("1209:a404", "AMP_USB_IDS", err);
    plug_and_start(std::move(table));
    EXPECT_TRUE(err.str().empty());
}

TEST_F(LibusbBackend, OpenClaimsInterfaceZeroAndCloseReleasesIt)
{
    plug_and_start();
    EXPECT_TRUE(m_testbed.requests(m_path).empty()) << "nothing touches the device before it is opened";
    ASSERT_EQ(m_device->open(), Status::ok);
    ASSERT_EQ(m_device->open(), Status::ok);
    m_device->close();
    EXPECT_EQ(m_testbed.requests(m_path), std::vector<std::string>{"CLAIMINTERFACE"});
    m_device->close();
    EXPECT_EQ(m_testbed.requests(m_path), (std::vector<std::string>{"CLAIMINTERFACE", "RELEASEINTERFACE"}));
}

TEST_F(LibusbBackend, BusyDeviceIsReportedOnceAndLeftClosed)
{
    plug_and_start();
    m_testbed.set_claim_error(m_path, EBUSY);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(m_device->open(), Status::error);
    EXPECT_EQ(m_device->open(), Status::error);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "libusb: cannot open 1209:a404 at 1-4: device busy (another program has claimed it)\n");

    m_testbed.set_claim_error(m_path, 0);
    EXPECT_EQ(m_device->open(), Status::ok) << "a later open tries again";
    m_device->close();
}

class LibusbDescriptors : public LibusbBackend {};

TEST_F(LibusbDescriptors, DeviceAndConfigurationComeFromTheCacheAsTheDeviceSentThem)
{
    plug_and_start();
    const auto set = m_model->descriptors();
    std::vector<uint8_t> device(18);
    EXPECT_EQ(m_device->control(UsbSetup{0x80, 6, 0x0100, 0, 18}, device).bytes, 18u);
    EXPECT_EQ(device, set.device);

    const auto& config = set.configurations.at(0);
    std::vector<uint8_t> head(9), block(config.size());
    EXPECT_EQ(m_device->control(UsbSetup{0x80, 6, 0x0200, 0, 9}, head).bytes, 9u);
    EXPECT_EQ(m_device->control(UsbSetup{0x80, 6, 0x0200, 0, uint16_t(block.size())}, block).bytes, config.size());
    EXPECT_EQ(block, config);
    EXPECT_TRUE(m_testbed.requests(m_path).empty()) << "no bus traffic for cached descriptors";

    std::vector<uint8_t> none(9);
    EXPECT_EQ(m_device->control(UsbSetup{0x80, 6, 0x0201, 0, 9}, none).status, Status::stall);
}

// libusb keeps descriptors parsed; the block handed back must be the one the device sent.
TEST_F(LibusbDescriptors, RebuiltConfigurationBlocksMatchTheDevice)
{
    const std::vector<std::pair<const char*, sim::Bytes>> blocks = {
        {"class descriptors before the endpoints", sim::ConfigBuilder()
                                                       .interface(0, 0)
                                                       .raw({5, 0x24, 0, 0x10, 1})
                                                       .raw({4, 0x24, 1, 0})
                                                       .endpoint(0x01, 2)
                                                       .endpoint(0x81, 2)
                                                       .build()},
        {"a descriptor after the configuration and after an endpoint", sim::ConfigBuilder()
                                                                           .raw({8, 0x0B, 0, 1, 0xFF, 0, 0, 0})
                                                                           .interface(0, 0)
                                                                           .endpoint(0x01, 2)
                                                                           .raw({6, 0x30, 0, 0, 0, 0})
                                                                           .endpoint(0x81, 3, 64, 4)
                                                                           .build()},
        {"two alternate settings", sim::ConfigBuilder()
                                       .interface(0, 0)
                                       .endpoint(0x01, 2)
                                       .endpoint(0x81, 2)
                                       .interface(0, 1)
                                       .endpoint(0x02, 2)
                                       .build()},
        {"a 9-byte audio endpoint", sim::ConfigBuilder()
                                        .interface(0, 0)
                                        .raw({9, 5, 0x83, 1, 0xC0, 0, 1, 0, 0})
                                        .endpoint(0x81, 2)
                                        .num_endpoints(2)
                                        .build()},
    };
    for (const auto& [name, block] : blocks) {
        SCOPED_TRACE(name);
        libusb_test::UsbTestbed testbed;
        auto model = make_model();
        auto set = model->descriptors();
        set.configurations = {block};
        model->set_descriptors(set);
        testbed.plug(model, 2, 4);
        ASSERT_TRUE(lb::start(quorvex_table()));
        auto device = libusb_device();
        ASSERT_NE(device, nullptr);
        std::vector<uint8_t> got(block.size() + 8);
        const Result r = device->control(UsbSetup{0x80, 6, 0x0200, 0, uint16_t(got.size())}, got);
        got.resize(r.bytes);
        EXPECT_EQ(got, block);
        device.reset();
        lb::stop();
    }
}

TEST_F(LibusbDescriptors, StringsTravelAsControlTransfers)
{
    plug_and_start();
    std::vector<uint8_t> product(255);
    const Result r = m_device->control(UsbSetup{0x80, 6, 0x0302, 0x0409, 255}, product);
    ASSERT_EQ(r.status, Status::ok);
    product.resize(r.bytes);
    EXPECT_EQ(product, m_model->descriptors().strings.at(2));
    EXPECT_EQ(m_testbed.requests(m_path), (std::vector<std::string>{"CLAIMINTERFACE", "SUBMITURB control"}));
}

TEST_F(LibusbDescriptors, RefusedRequestIsAStall)
{
    plug_and_start();
    std::vector<uint8_t> missing(255);
    EXPECT_EQ(m_device->control(UsbSetup{0x80, 6, 0x0309, 0x0409, 255}, missing).status, Status::stall);
}

TEST_F(LibusbDescriptors, SetInterfaceReachesTheDeviceAndGetInterfaceReportsIt)
{
    plug_and_start();
    std::span<uint8_t> none;
    EXPECT_EQ(m_device->control(UsbSetup{0x01, 11, 0, 0, 0}, none).status, Status::ok);
    uint8_t alt = 0xFF;
    EXPECT_EQ(m_device->control(UsbSetup{0x81, 10, 0, 0, 1}, std::span(&alt, 1)).bytes, 1u);
    EXPECT_EQ(alt, 0);
    const auto requests = m_testbed.requests(m_path);
    EXPECT_NE(std::find(requests.begin(), requests.end(), "SETINTERFACE"), requests.end());
}

class LibusbTransfers : public LibusbBackend {};

TEST_F(LibusbTransfers, CommandOnBulkOutReachesTheModel)
{
    plug_and_start();
    std::vector<uint8_t> command{21};
    Waiter w;
    m_device->submit(0x01, command, w.callback());
    const auto r = w.wait();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, Status::ok);
    EXPECT_EQ(r->bytes, 1u);
    EXPECT_EQ(m_model->log().commands(), std::vector<std::vector<uint8_t>>{{21}});
}

TEST_F(LibusbTransfers, PacketFromBulkInArrivesWhole)
{
    plug_and_start();
    std::vector<uint8_t> packet(68);
    for (size_t i = 0; i < packet.size(); ++i) packet[i] = uint8_t(i * 3);
    std::vector<uint8_t> room(68, 0xEE);
    Waiter w;
    m_device->submit(0x81, room, w.callback());
    m_model->queue_in(packet);
    const auto r = w.wait();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, Status::ok);
    EXPECT_EQ(r->bytes, 68u);
    EXPECT_EQ(room, packet);
}

TEST_F(LibusbTransfers, CancelCompletesThePendingReadOnceAsCancelled)
{
    plug_and_start();
    std::vector<uint8_t> room(68);
    Waiter w;
    m_device->submit(0x81, room, w.callback());
    m_device->cancel(0x81);
    ASSERT_EQ(w.count(), 1u) << "complete before cancel() returns";
    EXPECT_EQ(w.results[0].status, Status::cancelled);

    // The next read is a fresh one: a queued packet reaches it, not the cancelled one.
    std::vector<uint8_t> next(68);
    Waiter w2;
    m_device->submit(0x81, next, w2.callback());
    m_model->queue_in(std::vector<uint8_t>(68, 7));
    ASSERT_TRUE(w2.wait());
    EXPECT_EQ(w2.results[0].bytes, 68u);
    EXPECT_EQ(w.count(), 1u);
    const auto requests = m_testbed.requests(m_path);
    EXPECT_NE(std::find(requests.begin(), requests.end(), "DISCARDURB"), requests.end());
}

TEST_F(LibusbTransfers, IsochronousEndpointIsRefusedWithAnError)
{
    auto set = m_model->descriptors();
    set.configurations[0] =
        sim::ConfigBuilder().interface(0, 0).endpoint(0x01, 2).endpoint(0x81, 2).endpoint(0x82, 1).build();
    m_model->set_descriptors(set);
    plug_and_start();
    std::vector<uint8_t> room(64);
    Waiter w;
    m_device->submit(0x82, room, w.callback());
    ASSERT_EQ(w.count(), 1u);
    EXPECT_EQ(w.results[0].status, Status::error);
}

class LibusbHotplug : public LibusbBackend {};

TEST_F(LibusbHotplug, UnplugDuringAPendingReadEndsItAndDetaches)
{
    plug_and_start();
    std::vector<uint8_t> room(68);
    Waiter w;
    m_device->submit(0x81, room, w.callback());
    m_testbed.unplug(m_path);
    const auto r = w.wait();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, Status::no_device);
    for (int i = 0; i < 500 && libusb_device(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(libusb_device(), nullptr);
    EXPECT_EQ(w.count(), 1u);

    std::vector<uint8_t> command{1};
    Waiter after;
    m_device->submit(0x01, command, after.callback());
    ASSERT_EQ(after.count(), 1u);
    EXPECT_EQ(after.results[0].status, Status::no_device);
}

TEST_F(LibusbHotplug, DeviceArrivingLaterIsAttached)
{
    ASSERT_TRUE(lb::start(quorvex_table()));
    EXPECT_EQ(libusb_device(), nullptr);
    m_testbed.plug(m_model, 2, 4);
    for (int i = 0; i < 500 && !libusb_device(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(libusb_device(), nullptr);
    EXPECT_EQ(libusb_device()->location(), "1-4");
}

}  // namespace
