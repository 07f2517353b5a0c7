// The skinning component: its four calls with and without a skin file, the file format, the
// mapping of the Windows skin path, and the errors for calls it does not take.
#include "platform/com/skin.h"

#include <QApplication>
#include <QPalette>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace platform::com;

namespace {

class SkinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterSkin();
        m_dir = std::filesystem::temp_directory_path() / ("afx_skin_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir / "skins");
        ::setenv("AMP_DATA_DIR", m_dir.c_str(), 1);
        qApp->setStyleSheet(QString());
        qApp->setPalette(QPalette());
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(kPanelSkinProgId, &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(m_skin.put())),
                  S_OK);
    }
    void TearDown() override
    {
        ::unsetenv("AMP_DATA_DIR");
        std::filesystem::remove_all(m_dir);
    }
    void WriteSkin(const std::string& name, const std::string& text) { std::ofstream(m_dir / "skins" / name) << text; }
    HRESULT Call(DISPID id, std::vector<Variant> args = {}, WORD flags = DISPATCH_METHOD)
    {
        return m_skin->Invoke(id, flags, args, nullptr);
    }
    // The program's start-up sequence.
    void RunStartUpCalls(const std::string& path)
    {
        EXPECT_EQ(Call(17, {int32_t(0)}), S_OK);
        EXPECT_EQ(Call(1, {int32_t(1)}), S_OK);
        EXPECT_TRUE(SUCCEEDED(Call(2, {path})));
        EXPECT_EQ(Call(18), S_OK);
    }
    std::string Source()
    {
        Variant v;
        EXPECT_EQ(m_skin->Invoke(kSkinDispidSource, DISPATCH_PROPERTYGET, {}, &v), S_OK);
        return std::get<std::string>(v);
    }

    std::filesystem::path m_dir;
    ComPtr<IDispatch> m_skin;
};

TEST_F(SkinTest, WindowsSkinPathFindsTheFileInTheDataFolderWhateverTheCase)
{
    WriteSkin("TAVORIN.skf", "panel = #102030\ntext=#c0c0c0\n# a comment\n\nbutton = #405060\n");
    RunStartUpCalls("c:\\Tavorin\\Tavorin.skf");
    EXPECT_EQ(std::filesystem::path(Source()).filename(), "TAVORIN.skf");
    EXPECT_EQ(qApp->palette().color(QPalette::Window), QColor("#102030"));
    EXPECT_EQ(qApp->palette().color(QPalette::WindowText), QColor("#c0c0c0"));
    EXPECT_TRUE(qApp->styleSheet().contains("#405060"));
}

TEST_F(SkinTest, MissingSkinFileFallsBackToTheBuiltInLook)
{
    RunStartUpCalls("C:\\Nowhere\\Missing.skf");
    EXPECT_EQ(Source(), "built-in");
    EXPECT_EQ(qApp->palette().color(QPalette::Window), QColor(QString::fromStdString(BuiltInSkin().at("panel"))));
    EXPECT_TRUE(qApp->styleSheet().contains("QGroupBox"));
}

TEST_F(SkinTest, ApplyWithoutALoadUsesTheBuiltInLook)
{
    EXPECT_EQ(Call(18), S_OK);
    EXPECT_EQ(qApp->palette().color(QPalette::Window), QColor(QString::fromStdString(BuiltInSkin().at("panel"))));
}

TEST_F(SkinTest, DisabledSkinLeavesTheLookAlone)
{
    EXPECT_EQ(Call(1, {int32_t(0)}), S_OK);
    EXPECT_EQ(Call(18), S_OK);
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
}

TEST_F(SkinTest, CallsItDoesNotTakeFailWithTheDispatchErrors)
{
    struct Case {
        DISPID id;
        std::vector<Variant> args;
        WORD flags;
        HRESULT expected;
    } cases[] = {
        {3, {}, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND},
        {17, {}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT},
        {1, {int32_t(1), int32_t(2)}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT},
        {1, {std::string("1")}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH},
        {2, {int32_t(5)}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH},
        {18, {int32_t(0)}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT},
        {18, {}, DISPATCH_PROPERTYPUT, DISP_E_MEMBERNOTFOUND},
    };
    for (const Case& c : cases) EXPECT_EQ(Call(c.id, c.args, c.flags), c.expected) << c.id;
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
}

TEST_F(SkinTest, SkinFileParsesKeysAndValuesAndSkipsComments)
{
    WriteSkin("a.skf", "# heading\n  Panel =  #111111  \nnot a pair\n=#222222\nfont_size=9\n");
    auto values = ReadSkinFile((m_dir / "skins" / "a.skf").string());
    ASSERT_TRUE(values);
    EXPECT_EQ(*values, (SkinValues{{"panel", "#111111"}, {"font_size", "9"}}));
    EXPECT_FALSE(ReadSkinFile((m_dir / "none.skf").string()));
    EXPECT_EQ(ResolveSkinPath("c:\\x\\none.skf"), "");
    EXPECT_EQ(ResolveSkinPath((m_dir / "skins" / "a.skf").string()), (m_dir / "skins" / "a.skf").string());
}

TEST_F(SkinTest, GroupBoxesKeepTheDialogFontUnlessASkinNamesOne)
{
    const std::string builtIn = SkinStyleSheet(BuiltInSkin());
    EXPECT_EQ(builtIn.find("font-"), std::string::npos) << builtIn;
    const std::string named = SkinStyleSheet({{"font_family", "Serif"}, {"font_size", "9"}});
    EXPECT_NE(named.find("QGroupBox { "), std::string::npos);
    EXPECT_NE(named.find("font-family: \"Serif\"; font-size: 9pt; }"), std::string::npos) << named;
}

TEST_F(SkinTest, SkinObjectAnswersOnlyItsInterfaces)
{
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_skin->QueryInterface(IID_IPanelControl, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(m_skin->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.put())), S_OK);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
