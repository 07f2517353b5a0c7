#include "tests/usb/fake_driver.h"
#include "usb/configuration.h"
#include "usb/usb_device.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

using namespace usbtest;

namespace {

class DescriptorTest : public ::testing::Test {
protected:
    void SetUp() override { PresentAmplifier(file()); }
    FakeDriverFile& file() { return m_driver.file(); }
    bool Open() { return m_device.Open(0); }

    FakeDriver m_driver;
    CUsbDevice m_device{nullptr, kTestInterface, false};
};

std::u16string Units(const WCHAR* text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

}  // namespace

TEST_F(DescriptorTest, EveryDescriptorRequestCarriesAWholeGetDescriptorRecord)
{
    ASSERT_TRUE(Open());
    using Step = std::tuple<uint16_t, uint16_t, uint16_t>;  // wValue, wIndex, wLength
    std::vector<Step> steps;
    for (const Request& r : file().requests(IOCTL_CONTROL_TRANSFER)) {
        uint16_t wLength = Word(r.in, 6);
        ASSERT_EQ(r.in.size(), 38u + wLength);
        EXPECT_TRUE(r.sameBuffer);
        EXPECT_EQ(r.outSize, r.in.size());
        EXPECT_EQ(r.in[0], 0x80);
        EXPECT_EQ(r.in[1], 6);
        EXPECT_EQ(Dword(r.in, 8), 5u);  // timeoutSeconds
        EXPECT_EQ(r.in[12], 0);
        EXPECT_EQ(r.in[13], 0);  // endpoint 0
        EXPECT_EQ(Dword(r.in, 14), 0u);
        EXPECT_EQ(Dword(r.in, 18), 0u);
        EXPECT_EQ(Dword(r.in, 22), 0u);
        EXPECT_EQ(Dword(r.in, 26), 0u);
        EXPECT_EQ(Dword(r.in, 30), 38u);
        EXPECT_EQ(Dword(r.in, 34), wLength);
        for (size_t i = 38; i < r.in.size(); ++i) EXPECT_EQ(r.in[i], 0) << "data byte " << i;
        steps.emplace_back(Word(r.in, 2), Word(r.in, 4), wLength);
    }
    uint16_t config = uint16_t(file().descriptors[0x0200].size());
    std::vector<Step> expected{{0x0100, 0, 18},      {0x0300, 0, 2},      {0x0300, 0, 4},       {0x0301, 0x0409, 2},
                               {0x0301, 0x0409, 32}, {0x0302, 0x0409, 2}, {0x0302, 0x0409, 42}, {0x0303, 0x0409, 2},
                               {0x0303, 0x0409, 10}, {0x0200, 0, 9},      {0x0200, 0, config}};
    EXPECT_EQ(steps, expected);
}

TEST_F(DescriptorTest, QueriesFollowTheStringsAndPrecedeTheConfigurations)
{
    ASSERT_TRUE(Open());
    std::vector<DWORD> codes;
    for (const Request& r : file().requests())
        if (r.code != IOCTL_CONTROL_TRANSFER) codes.push_back(r.code);
    std::vector<DWORD> expected{IOCTL_INFO_BYTE_4,  IOCTL_INFO_BLOCK_15, IOCTL_INFO_BLOCK_16, IOCTL_DRIVER_VERSION,
                                IOCTL_INFO_DWORD_1, IOCTL_INFO_DWORD_19, IOCTL_ALT_SETTING};
    EXPECT_EQ(codes, expected);
    std::vector<size_t> sizes;
    for (const Request& r : file().requests())
        if (r.code != IOCTL_CONTROL_TRANSFER) sizes.push_back(r.in.size());
    EXPECT_EQ(sizes, (std::vector<size_t>{1, 256, 256, 4, 4, 4, 1}));
    EXPECT_EQ(file().requests(IOCTL_ALT_SETTING).at(0).in, Bytes{0});
    EXPECT_EQ(file().requests(IOCTL_INFO_DWORD_19).at(0).in, (Bytes{0, 0, 0, 0}));
    EXPECT_TRUE(m_device.infoFlag19);
    EXPECT_EQ(m_device.driverVersion, 0x01050700u);

    // The whole conversation in order: descriptor requests by wValue, driver queries by code.
    std::vector<std::pair<DWORD, uint16_t>> order;
    for (const Request& r : file().requests()) order.emplace_back(r.code, r.code == 0x00220020 ? Word(r.in, 2) : 0);
    const std::vector<std::pair<DWORD, uint16_t>> whole{
        {0x00220020, 0x0100}, {0x00220020, 0x0300}, {0x00220020, 0x0300}, {0x00220020, 0x0301}, {0x00220020, 0x0301},
        {0x00220020, 0x0302}, {0x00220020, 0x0302}, {0x00220020, 0x0303}, {0x00220020, 0x0303}, {0x00220010, 0},
        {0x0022003C, 0},      {0x00220040, 0},      {0x00220000, 0},      {0x00220004, 0},      {0x0022004C, 0},
        {0x00220020, 0x0200}, {0x00220020, 0x0200}, {0x00220008, 0},
    };
    EXPECT_EQ(order, whole);
}

TEST_F(DescriptorTest, AmplifierSetGivesTwoBulkEndPointsAndNothingElse)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_device.vendorId, 0x1209);
    EXPECT_EQ(m_device.productId, 0xA404);
    EXPECT_EQ(m_device.usbVersion, 0x0200);
    EXPECT_EQ(m_device.deviceRelease, 0x1234);
    EXPECT_EQ(m_device.configCount, 1);
    EXPECT_EQ(m_device.languageId, 0x0409);
    EXPECT_EQ(Units(m_device.productString), u"QRVX-4 EEG Amplifier");
    ASSERT_NE(m_device.bulkInEndPoint, nullptr);
    ASSERT_NE(m_device.bulkOutEndPoint, nullptr);
    EXPECT_EQ(m_device.bulkInEndPoint->address, 0x81);
    EXPECT_EQ(m_device.bulkOutEndPoint->address, 0x01);
    EXPECT_TRUE(m_device.bulkInEndPoint->isIn);
    EXPECT_EQ(m_device.bulkInEndPoint->maxPacketSize, 512);
    EXPECT_EQ(m_device.isocInEndPoint, nullptr);
    EXPECT_EQ(m_device.isocOutEndPoint, nullptr);
    EXPECT_EQ(m_device.interruptInEndPoint, nullptr);
    EXPECT_EQ(m_device.interruptOutEndPoint, nullptr);
    EXPECT_EQ(m_device.EndPointCount(), 3);
    EXPECT_EQ(m_device.currentInterface->endPoints[0], m_device.controlEndPoint);
    EXPECT_EQ(m_device.controlEndPoint->maxPacketSize, 64);
    EXPECT_EQ(m_device.controlEndPoint->descriptorLength, 7);
    EXPECT_EQ(m_device.controlEndPoint->descriptorType, 5);
    EXPECT_EQ(m_device.controlEndPoint->directMode, 0u);
    EXPECT_EQ(m_device.interfaceClass, 0xFF);
    EXPECT_EQ(m_device.interfaceCount, 1);
    EXPECT_EQ(m_device.configValue, 1);
    EXPECT_EQ(m_device.maxPower, 250);
}

TEST_F(DescriptorTest, OldDriversGetBufferedTransfers)
{
    for (auto [version, mode] : {std::pair{0x01050400u, 0u}, {0x01050500u, 1u}, {0u, 0u}}) {
        file().driverVersion = version;
        ASSERT_TRUE(Open());
        EXPECT_EQ(m_device.bulkInEndPoint->directMode, mode) << std::hex << version;
        EXPECT_EQ(m_device.bulkOutEndPoint->directMode, mode) << std::hex << version;
    }
}

TEST_F(DescriptorTest, LanguageTablePrefersUsEnglish)
{
    struct Case {
        Bytes table;
        WORD expected;
    };
    for (const Case& c : {Case{{6, 3, 0x07, 0x04, 0x09, 0x04}, 0x0409}, Case{{4, 3, 0x07, 0x04}, 0x0407},
                          Case{{2, 3}, 0}, Case{{8, 3, 0x07, 0x04, 0x0C, 0x04, 0x09, 0x04}, 0x0409}}) {
        file().descriptors[0x0300] = c.table;
        CUsbDevice device(nullptr, kTestInterface, false);
        EXPECT_TRUE(device.Open(0));
        EXPECT_EQ(device.languageId, c.expected) << int(c.table[0]);
    }
}

TEST_F(DescriptorTest, TableWithoutALanguageClearsTheLanguageOfTheLastOpening)
{
    // bLength 2: an empty table; under 2: shorter than its own header.
    for (Bytes table : {Bytes{2, 3}, Bytes{1, 3}, Bytes{0, 3}, Bytes{3, 3, 0x09}}) {
        file().descriptors[0x0300] = {4, 3, 0x09, 0x04};
        ASSERT_TRUE(Open());
        ASSERT_EQ(m_device.languageId, 0x0409);
        file().descriptors[0x0300] = table;
        file().clear();
        ASSERT_TRUE(Open());
        EXPECT_EQ(m_device.languageId, 0) << int(table[0]);
        // The strings are then asked for with language 0.
        for (const Request& r : file().requests(IOCTL_CONTROL_TRANSFER)) {
            if (Word(r.in, 2) > 0x0300 && Word(r.in, 2) <= 0x0303) {
                EXPECT_EQ(Word(r.in, 4), 0) << std::hex << Word(r.in, 2);
            }
        }
    }
}

TEST_F(DescriptorTest, FailedLanguageRequestKeepsTheLanguage)
{
    ASSERT_TRUE(Open());
    ASSERT_EQ(m_device.languageId, 0x0409);
    file().descriptors.erase(0x0300);
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_device.languageId, 0x0409);
}

TEST_F(DescriptorTest, StringUnitsAreCopiedRawAndZeroFilled)
{
    file().descriptors[0x0302] = {6, 3, 0x41, 0x00, 0x42, 0x00};
    std::fill(std::begin(m_device.productString), std::end(m_device.productString), WCHAR(0x7777));
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_device.productString[0], 0x0041);
    EXPECT_EQ(m_device.productString[1], 0x0042);
    for (int i = 2; i < USB_STRING_UNITS; ++i) ASSERT_EQ(m_device.productString[i], 0) << i;
}

TEST_F(DescriptorTest, SerialIndexZeroReadsTheLanguageTable)
{
    file().descriptors[0x0100] = DeviceDescriptor(1, 64, 1, 2, 0);
    file().descriptors[0x0300] = {6, 3, 0x07, 0x04, 0x09, 0x04};
    ASSERT_TRUE(Open());
    EXPECT_EQ(Units(m_device.serialNumberString), (std::u16string{0x0407, 0x0409}));
}

TEST_F(DescriptorTest, UnusableStringDescriptorsKeepTheEarlierText)
{
    // bLength 0 and 1 are shorter than the header itself: no second request may follow.
    for (Bytes bad : {Bytes{2, 3}, Bytes{6, 4, 0x41, 0, 0x42, 0}, Bytes{1, 3}, Bytes{0, 3}}) {
        file().descriptors[0x0302] = StringDescriptor(u"QRVX-4 EEG Amplifier");
        ASSERT_TRUE(Open());
        file().descriptors[0x0302] = bad;
        file().clear();
        ASSERT_TRUE(Open());
        EXPECT_EQ(Units(m_device.productString), u"QRVX-4 EEG Amplifier") << int(bad[0]);
        int productRequests = 0;
        for (const Request& r : file().requests(IOCTL_CONTROL_TRANSFER)) productRequests += Word(r.in, 2) == 0x0302;
        EXPECT_EQ(productRequests, bad[0] < 2 ? 1 : 2) << int(bad[0]);
    }
}

TEST_F(DescriptorTest, FirstEndPointOfAKindWins)
{
    file().descriptors[0x0200] = Configuration(Join({Interface(0, 0, 5), EndPoint(0x82, 2), EndPoint(0x81, 2),
                                                     EndPoint(0x01, 2), EndPoint(0x83, 3), EndPoint(0x84, 1)}));
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_device.bulkInEndPoint->address, 0x82);
    EXPECT_EQ(m_device.interruptInEndPoint->address, 0x83);
    EXPECT_EQ(m_device.isocInEndPoint->address, 0x84);
    EXPECT_EQ(m_device.EndPointCount(), 6);
}

TEST_F(DescriptorTest, DriverReportedAlternateSettingBecomesCurrent)
{
    file().descriptors[0x0200] = Configuration(
        Join({Interface(0, 0, 1), EndPoint(0x81, 2), Interface(0, 1, 2), EndPoint(0x82, 2), EndPoint(0x02, 2)}));
    file().altSetting = 1;
    ASSERT_TRUE(Open());
    CUsbConfiguration* configuration = m_device.configurations[0];
    ASSERT_EQ(configuration->settingCount, 2);
    EXPECT_EQ(configuration->settings[0]->altSettingCount, 2);
    EXPECT_EQ(configuration->settings[1]->altSettingCount, 2);
    EXPECT_EQ(m_device.settingIndex, 1);
    EXPECT_EQ(m_device.currentInterface, configuration->settings[1]);
    EXPECT_EQ(m_device.bulkInEndPoint->address, 0x82);
    EXPECT_EQ(configuration->settings[0]->endPoints[0], nullptr);
}

TEST_F(DescriptorTest, FailedAltSettingQuerySelectsNothing)
{
    file().altSetting = -1;
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_device.currentInterface, nullptr);
    EXPECT_EQ(m_device.bulkInEndPoint, nullptr);
    EXPECT_EQ(m_device.bulkOutEndPoint, nullptr);
}

TEST(ConfigurationWalk, UnknownAttributesLeaveTheSlotEmpty)
{
    Bytes block = Configuration(Join({Interface(0, 0, 2), EndPoint(0x81, 0x05), EndPoint(0x02, 2)}));
    CUsbConfiguration configuration(INVALID_HANDLE_VALUE, block.data(), DWORD(block.size()));
    ASSERT_EQ(configuration.settingCount, 1);
    EXPECT_EQ(configuration.settings[0]->endPoints[1], nullptr);
    ASSERT_NE(configuration.settings[0]->endPoints[2], nullptr);
    EXPECT_EQ(configuration.settings[0]->endPoints[2]->address, 0x02);
}

TEST(ConfigurationWalk, ClassSpecificDescriptorsAreCountedAndPassedOver)
{
    Bytes classSpecific{5, 0x24, 1, 2, 3};
    Bytes block = Configuration(Join({Interface(0, 0, 1), classSpecific, Bytes{4, 0x21, 0, 0}, EndPoint(0x81, 2),
                                      Interface(1, 0, 1), EndPoint(0x02, 2)}),
                                2);
    CUsbConfiguration configuration(INVALID_HANDLE_VALUE, block.data(), DWORD(block.size()));
    ASSERT_EQ(configuration.settingCount, 2);
    EXPECT_EQ(configuration.settings[0]->blockLength, 9 + 5 + 4 + 7);
    EXPECT_EQ(configuration.settings[0]->endPoints[1]->address, 0x81);
    EXPECT_EQ(configuration.settings[1]->interfaceNumber, 1);
    EXPECT_EQ(configuration.settings[1]->endPoints[1]->address, 0x02);
}

TEST(ConfigurationWalk, BlocksShorterThanTheirHeaderAreNotRead)
{
    // A whole header in memory, but fewer bytes said to have arrived: none of them may be taken.
    const Bytes block = Configuration(Join({Interface(3, 1, 1), EndPoint(0x81, 2)}));
    for (DWORD received = 0; received < 9; ++received) {
        SCOPED_TRACE(received);
        auto exact = std::make_unique<BYTE[]>(received + 1);
        std::copy(block.begin(), block.begin() + received, exact.get());
        CUsbConfiguration configuration(INVALID_HANDLE_VALUE, received ? exact.get() : nullptr, received);
        EXPECT_EQ(configuration.settingCount, 0);
        EXPECT_EQ(configuration.descriptorType, 0);
        EXPECT_EQ(configuration.totalLength, 0);
        EXPECT_EQ(configuration.maxPower, 0);
        CUsbConfiguration withHeader(INVALID_HANDLE_VALUE, block.data(), received);
        EXPECT_EQ(withHeader.descriptorLength, 0);
        EXPECT_EQ(withHeader.totalLength, 0);
        EXPECT_EQ(withHeader.numInterfaces, 0);
        EXPECT_EQ(withHeader.settingCount, 0);

        CUsbInterfaceSetting setting(INVALID_HANDLE_VALUE, block.data() + 9, received);
        EXPECT_TRUE(setting.truncated);
        EXPECT_EQ(setting.descriptorLength, 0);
        EXPECT_EQ(setting.interfaceNumber, 0);
        EXPECT_EQ(setting.numEndPoints, 0);
        EXPECT_EQ(setting.blockLength, 0);
        EXPECT_EQ(setting.endPoints[1], nullptr);
        CUsbInterfaceSetting cut(INVALID_HANDLE_VALUE, received ? exact.get() : nullptr, received);
        EXPECT_TRUE(cut.truncated);
    }
    CUsbConfiguration whole(INVALID_HANDLE_VALUE, block.data(), DWORD(block.size()));
    EXPECT_EQ(whole.settingCount, 1);
    EXPECT_EQ(whole.settings[0]->interfaceNumber, 3);
}

TEST(ConfigurationWalk, MoreThanEightInterfacesKeepsTheFirstEight)
{
    Bytes body;
    for (uint8_t i = 0; i < 10; ++i) body = Join({body, Interface(i, 0, 0)});
    Bytes block = Configuration(body, 10);
    CUsbConfiguration configuration(INVALID_HANDLE_VALUE, block.data(), DWORD(block.size()));
    EXPECT_EQ(configuration.settingCount, 8);
    EXPECT_EQ(configuration.settings[7]->interfaceNumber, 7);
}

TEST(ConfigurationWalk, MalformedBlocksEndTheWalk)
{
    struct Case {
        const char* name;
        Bytes block;
        BYTE settings;
        int endPoints;  // of the first setting
    };
    const Case cases[] = {
        {"zero length descriptor", Configuration(Join({Bytes{0, 0x24}, Interface(0, 0, 0)})), 0, 0},
        {"zero length endpoint", Configuration(Join({Interface(0, 0, 2), Bytes{0, 5, 0x81, 2, 0, 2, 0}})), 1, 0},
        {"endpoints past the end", Configuration(Join({Interface(0, 0, 3), EndPoint(0x81, 2)})), 1, 1},
        {"cut endpoint", Configuration(Join({Interface(0, 0, 1), Bytes{7, 5, 0x81}})), 1, 0},
        {"total length short of the endpoints",
         Configuration(Join({Interface(0, 0, 2), EndPoint(0x81, 2), EndPoint(0x02, 2)}), 1, 9 + 9 + 7), 1, 1},
        {"zero length interface", Configuration(Join({Bytes{0, 4, 0, 0, 1, 0, 0, 0, 0}, EndPoint(0x81, 2)})), 0, 0},
        {"config length zero", Join({Bytes{0, 2, 25, 0, 1, 1, 0, 0x80, 0}, Interface(0, 0, 0)}), 0, 0},
    };
    for (const Case& c : cases) {
        CUsbConfiguration configuration(INVALID_HANDLE_VALUE, c.block.data(), DWORD(c.block.size()));
        EXPECT_EQ(configuration.settingCount, c.settings) << c.name;
        if (configuration.settingCount == 0) continue;
        int endPoints = 0;
        for (int slot = 1; slot < MAX_SETTING_END_POINTS; ++slot)
            endPoints += configuration.settings[0]->endPoints[slot] != nullptr;
        EXPECT_EQ(endPoints, c.endPoints) << c.name;
    }
}

TEST_F(DescriptorTest, ConfigurationShorterThanItsHeaderIsAFailedRead)
{
    file().descriptors[0x0200] = {9, 2, 4, 0, 1, 1, 0, 0x80, 0};
    EXPECT_FALSE(Open());
    EXPECT_EQ(m_device.configDescriptors[0], nullptr);
    EXPECT_EQ(m_device.configurations[0], nullptr);
    EXPECT_EQ(file().requests(IOCTL_CONTROL_TRANSFER).back().in.size(), 38u + 9);
}

TEST_F(DescriptorTest, WalkIsBoundedByTheBytesReceivedNotTheSecondReply)
{
    // The header says 25 bytes; the whole block then claims 4000 and three endpoints.
    Bytes whole = Configuration(Join({Interface(0, 0, 3), EndPoint(0x81, 2)}), 1, 4000);
    Bytes header(whole.begin(), whole.begin() + 9);
    header[2] = 25;
    header[3] = 0;
    file().replies[{0x0200, 9}] = header;
    file().replies[{0x0200, 25}] = whole;
    ASSERT_TRUE(Open());
    ASSERT_EQ(m_device.configDescriptorLength[0], 25);
    CUsbConfiguration* configuration = m_device.configurations[0];
    EXPECT_EQ(configuration->totalLength, 4000);
    ASSERT_EQ(configuration->settingCount, 1);
    EXPECT_EQ(configuration->settings[0]->endPoints[1]->address, 0x81);
    EXPECT_EQ(configuration->settings[0]->endPoints[2], nullptr);
}

TEST_F(DescriptorTest, ByteCountsOtherThanTheRecordFailEveryRequest)
{
    for (DWORD reported : {DWORD(0), DWORD(37), DWORD(100000)}) {
        file().reportedBytes[IOCTL_CONTROL_TRANSFER] = reported;
        file().reportedBytes[IOCTL_DRIVER_VERSION] = reported;
        CUsbDevice device(nullptr, kTestInterface, false);
        EXPECT_FALSE(device.Open(0));
        EXPECT_EQ(device.vendorId, 0);
        EXPECT_EQ(device.configCount, 0);
        EXPECT_EQ(device.driverVersion, 0u);
        EXPECT_EQ(device.productString[0], 0);
    }
}

TEST(ConfigurationFuzz, RandomBlocksNeverReadPastTheirEnd)
{
    std::mt19937 rng(12345);
    const Bytes seed = Configuration(Join({Interface(0, 0, 2), Bytes{5, 0x24, 1, 2, 3}, EndPoint(0x81, 2),
                                           EndPoint(0x02, 3), Interface(0, 1, 1), EndPoint(0x83, 1)}));
    for (int round = 0; round < 20000; ++round) {
        Bytes block;
        if (round % 2 == 0) {
            block.resize(9 + rng() % 120);
            for (BYTE& b : block) b = BYTE(rng() % 4 == 0 ? rng() % 10 : rng());
            block[1] = 2;
        } else {
            block = seed;
            for (int flips = 1 + rng() % 4; flips > 0; --flips) block[rng() % block.size()] = BYTE(rng() % 12);
            block.resize(9 + rng() % (block.size() - 8));
        }
        // Exactly sized heap copy: AddressSanitizer reports any byte read beyond it.
        auto exact = std::make_unique<BYTE[]>(block.size());
        std::copy(block.begin(), block.end(), exact.get());
        CUsbConfiguration configuration(INVALID_HANDLE_VALUE, exact.get(), DWORD(block.size()));
        ASSERT_LE(configuration.settingCount, MAX_INTERFACE_SETTINGS);
        for (int s = 0; s < configuration.settingCount; ++s) ASSERT_NE(configuration.settings[s], nullptr);
    }
}

TEST(DescriptorFuzz, HostileRepliesThroughOpenStayInsideEveryBuffer)
{
    FakeDriver driver;
    std::mt19937 rng(777);
    auto randomBytes = [&](size_t max) {
        Bytes bytes(rng() % max);
        for (BYTE& b : bytes) b = BYTE(rng());
        return bytes;
    };
    for (int round = 0; round < 400; ++round) {
        FakeDriverFile& file = driver.file();
        PresentAmplifier(file);
        file.replies.clear();
        switch (round % 4) {
        case 0: file.descriptors[0x0300] = randomBytes(300); break;
        case 1: file.descriptors[0x0302] = randomBytes(300); break;
        case 2: file.descriptors[0x0100] = randomBytes(40); break;
        case 3:
            file.replies[{0x0200, 9}] = randomBytes(12);
            file.descriptors[0x0200] = randomBytes(600);
            break;
        }
        CUsbDevice device(nullptr, kTestInterface, false);
        device.Open(0);
        ASSERT_EQ(device.productString[USB_STRING_UNITS - 1], 0);
        ASSERT_EQ(device.serialNumberString[USB_STRING_UNITS - 1], 0);
        if (device.currentInterface) {
            ASSERT_EQ(device.currentInterface->endPoints[0], device.controlEndPoint);
        }
    }
}
