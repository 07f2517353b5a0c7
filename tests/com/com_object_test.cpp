// The little COM: interfaces by IID with reference counts, classes by CLSID and ProgID, and the
// errors a caller gets for what does not exist.
#include "platform/com/com.h"

#include <gtest/gtest.h>

using namespace platform::com;

namespace {

constexpr CLSID kThing = MakeGuid("{11111111-2222-3333-4444-555555555555}");
constexpr CLSID kOther = MakeGuid("{11111111-2222-3333-4444-666666666666}");
constexpr CLSID kNobody = MakeGuid("{99999999-2222-3333-4444-555555555555}");
constexpr IID kUnknownIid = MakeGuid("{ABCDEF00-0000-0000-0000-000000000001}");

int g_alive = 0;
int g_made = 0;

class Thing final : public ComObject<IDispatch> {
public:
    Thing() { ++g_alive; }
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT Invoke(DISPID, WORD, std::span<const Variant>, Variant*) override { return S_OK; }

private:
    ~Thing() override { --g_alive; }
};

class ComObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterClass(kThing, "Test.Thing.1", [] {
            ++g_made;
            return static_cast<IUnknown*>(new Thing);
        });
    }
};

TEST(Guid, ParsesTheRegistryForm)
{
    constexpr GUID g = MakeGuid("{D1120C7C-28C7-11D3-85BF-00105AC8B715}");
    EXPECT_EQ(g.Data1, 0xD1120C7Cu);
    EXPECT_EQ(g.Data2, 0x28C7);
    EXPECT_EQ(g.Data3, 0x11D3);
    const uint8_t tail[8] = {0x85, 0xBF, 0x00, 0x10, 0x5A, 0xC8, 0xB7, 0x15};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(g.Data4[i], tail[i]);
}

TEST(Variant, TypeOfEachValue)
{
    EXPECT_EQ(TypeOf(Variant{}), VT_EMPTY);
    EXPECT_EQ(TypeOf(Variant{true}), VT_BOOL);
    EXPECT_EQ(TypeOf(Variant{int32_t(1)}), VT_I4);
    EXPECT_EQ(TypeOf(Variant{1.5}), VT_R8);
    EXPECT_EQ(TypeOf(Variant{std::string("x")}), VT_BSTR);
}

TEST_F(ComObjectTest, QueryInterfaceAddsAReferenceAndReleaseEndsTheObject)
{
    int before = g_alive;
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(
        CoCreateInstance(kThing, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&dispatch)),
        S_OK);
    EXPECT_EQ(g_alive, before + 1);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(dispatch->QueryInterface(kUnknownIid, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(dispatch->AddRef(), 2u);
    EXPECT_EQ(dispatch->Release(), 1u);
    EXPECT_EQ(dispatch->Release(), 0u);
    EXPECT_EQ(g_alive, before);
}

TEST_F(ComObjectTest, CreationFailuresGiveTheCallersErrors)
{
    int before = g_alive;
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kNobody, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(CoCreateInstance(kThing, nullptr, CLSCTX_ALL, kUnknownIid, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(g_alive, before);  // the object made for a missing interface is gone again
    EXPECT_EQ(CoCreateInstance(kThing, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ComObjectTest, ProgIdFindsTheClassWhateverTheCase)
{
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID("test.THING.1", &clsid), S_OK);
    EXPECT_EQ(clsid, kThing);
    ASSERT_EQ(CLSIDFromProgID("{11111111-2222-3333-4444-666666666666}", &clsid), S_OK);
    EXPECT_EQ(clsid, kOther);
    EXPECT_EQ(CLSIDFromProgID("Test.Thing.2", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("{11111111-2222}", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
}

TEST_F(ComObjectTest, LaterRegistrationReplacesTheFactory)
{
    int made = g_made;
    int replaced = 0;
    RegisterClass(kThing, "Test.Thing.1", [&] {
        ++replaced;
        return static_cast<IUnknown*>(new Thing);
    });
    ComPtr<IUnknown> p;
    ASSERT_EQ(CoCreateInstance(kThing, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(p.put())), S_OK);
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(g_made, made);
}

TEST(CoInitialize, FirstCallOnAThreadIsOkThenFalse)
{
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
}

}  // namespace
