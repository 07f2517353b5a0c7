#include "tests/usbdriver/test_device.h"

#include "platform/bus/bus.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

using namespace platform;
using test::TestDevice;

namespace {

struct Seen {
    std::string location;
    bool attached;
    bool operator==(const Seen&) const = default;
};

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_id = bus::subscribe([this](const std::shared_ptr<bus::Device>& d, bool attached) {
            m_seen.push_back({d->location(), attached});
        });
    }
    void TearDown() override
    {
        bus::unsubscribe(m_id);
        for (auto& d : bus::devices()) bus::detach(d);
    }
    bus::ListenerId m_id = 0;
    std::vector<Seen> m_seen;
};

TEST_F(Registry, DevicesAreOrderedHardwareThenAmpsimThenLocal)
{
    auto local = std::make_shared<TestDevice>("l", "local");
    auto remote = std::make_shared<TestDevice>("a", "ampsim");
    auto hardware = std::make_shared<TestDevice>("h", "libusb");
    auto local2 = std::make_shared<TestDevice>("l2", "local");
    bus::local::plug(local);
    bus::attach(remote);
    bus::local::plug(local2);
    bus::attach(hardware);
    std::vector<std::string> order;
    for (auto& d : bus::devices()) order.push_back(d->location());
    EXPECT_EQ(order, (std::vector<std::string>{"h", "a", "l", "l2"}));
}

TEST_F(Registry, ListenersHearEachChangeOnceAndLateOnesHearWhatIsAttached)
{
    auto device = std::make_shared<TestDevice>("once");
    bus::local::plug(device);
    bus::attach(device);
    std::vector<Seen> late;
    bus::ListenerId lateId = bus::subscribe([&](const std::shared_ptr<bus::Device>& d, bool attached) {
        late.push_back({d->location(), attached});
    });
    EXPECT_EQ(late, (std::vector<Seen>{{"once", true}}));

    device->request_detach();
    bus::detach(device);
    EXPECT_EQ(m_seen, (std::vector<Seen>{{"once", true}, {"once", false}}));
    bus::unsubscribe(lateId);
    bus::local::plug(device);
    EXPECT_EQ(late.size(), 2u);
    EXPECT_TRUE(bus::devices().size() == 1);
}

TEST(RuntimeDir, OwnFolderWinsAndIsCreatedPrivate)
{
    std::string base = std::filesystem::temp_directory_path() / ("ampbench-rt-" + std::to_string(::getpid()));
    std::string own = base + "/own/nested";
    ::setenv("AMP_RUNTIME_DIR", own.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
    EXPECT_EQ(bus::runtime_dir(), own);
    struct stat st {};
    ASSERT_EQ(::stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ::unsetenv("AMP_RUNTIME_DIR");
    EXPECT_EQ(bus::runtime_dir(), base + "/ampbench");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(bus::runtime_dir(), "/tmp/ampbench-" + std::to_string(::getuid()));
    std::filesystem::remove_all(base);
}

}  // namespace
