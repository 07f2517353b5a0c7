// Icons a program registers, WM_SETICON, and painting the minimised window.
#include "platform/afx/afxwin.h"
#include "platform/afx/testing.h"

#include <QIcon>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

using namespace platform::afx;
namespace afxt = platform::afx::testing;

namespace {

constexpr UINT kTemplate = 550;
constexpr UINT kIconId = 128;

const DialogTemplate& Template()
{
    static const DialogTemplate t = [] {
        DialogTemplate d;
        d.caption = "Icon";
        d.cx = 100;
        d.cy = 60;
        d.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_VISIBLE;
        return d;
    }();
    return t;
}

class CIconDlg : public CDialog {
public:
    CIconDlg() : CDialog(kTemplate) {}
    HICON m_hIcon = nullptr;
    int m_erased = 0;
    int m_plainPaints = 0;
    std::vector<RECT> m_updates;  // GetUpdateRect at each plain paint; right = -1 when it said FALSE

    afx_msg void OnPaint()
    {
        if (IsIconic()) {
            CPaintDC dc(this);
            SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
            RECT rect;
            GetClientRect(&rect);
            int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
            int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
            dc.DrawIcon(x, y, m_hIcon);
        } else {
            ++m_plainPaints;
            RECT update{-1, -1, -1, -1};
            if (!GetUpdateRect(&update)) update.right = -1;
            m_updates.push_back(update);
            CDialog::OnPaint();
        }
    }
    afx_msg HCURSOR OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }
    afx_msg LRESULT OnIconErase(WPARAM, LPARAM)
    {
        ++m_erased;
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CIconDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_MESSAGE(WM_ICONERASEBKGND, &CIconDlg::OnIconErase)
END_MESSAGE_MAP()

const uint32_t* IconPixels()
{
    static uint32_t pixels[32 * 32];
    for (uint32_t& p : pixels) p = 0xFF2050A0;
    return pixels;
}

class IconPaintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AfxRegisterDialogTemplate(kTemplate, &Template());
        ASSERT_TRUE(AfxRegisterIconArgb(kIconId, 32, 32, IconPixels()));
        afxt::ClearDrawnIcons();
    }
    CWinApp m_app{"icon test"};
};

TEST_F(IconPaintTest, LoadIconFindsRegisteredIconsOnly)
{
    HICON icon = AfxGetApp()->LoadIcon(kIconId);
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(AfxGetApp()->LoadIcon(kIconId), icon);
    EXPECT_EQ(AfxGetApp()->LoadIcon(4711), nullptr);
    EXPECT_FALSE(AfxRegisterIconArgb(4712, 0, 0, IconPixels()));
    EXPECT_FALSE(AfxRegisterIcon(4713, nullptr));
}

TEST_F(IconPaintTest, SetIconGivesTheWindowItsIconAndReturnsThePrevious)
{
    CIconDlg dlg;
    ASSERT_TRUE(dlg.Create(kTemplate));
    HICON icon = AfxGetApp()->LoadIcon(kIconId);
    EXPECT_EQ(dlg.SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(dlg.SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(dlg.SetIcon(nullptr, TRUE), icon);
    EXPECT_EQ(dlg.GetIcon(FALSE), icon);
    EXPECT_FALSE(afxt::WidgetOf(dlg.m_hWnd)->windowIcon().isNull());
}

TEST_F(IconPaintTest, MinimisedWindowDrawsItsIconCentred)
{
    CIconDlg dlg;
    ASSERT_TRUE(dlg.Create(kTemplate));
    dlg.m_hIcon = AfxGetApp()->LoadIcon(kIconId);
    dlg.ShowWindow(SW_MINIMIZE);
    ASSERT_TRUE(dlg.IsIconic());
    dlg.SendMessage(WM_PAINT);
    ASSERT_EQ(afxt::DrawnIcons().size(), 1u);
    const afxt::DrawnIcon& drawn = afxt::DrawnIcons()[0];
    EXPECT_EQ(drawn.hWnd, dlg.m_hWnd);
    EXPECT_EQ(drawn.hIcon, dlg.m_hIcon);
    EXPECT_EQ(drawn.x, (150 - 32 + 1) / 2);
    EXPECT_EQ(drawn.y, (98 - 32 + 1) / 2);
    EXPECT_EQ(dlg.m_erased, 1);
    EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);

    dlg.ShowWindow(SW_RESTORE);
    EXPECT_FALSE(dlg.IsIconic());
    EXPECT_TRUE(afxt::PaintWindow(&dlg));
    EXPECT_GE(dlg.m_plainPaints, 1);
    EXPECT_EQ(afxt::DrawnIcons().size(), 1u);
}

TEST_F(IconPaintTest, UpdateRectIsWhatThePaintCoversAndNothingOutsideOne)
{
    CIconDlg dlg;
    ASSERT_TRUE(dlg.Create(kTemplate));
    QWidget* window = afxt::WidgetOf(dlg.m_hWnd);
    QImage image(window->size(), QImage::Format_ARGB32_Premultiplied);
    window->render(&image, QPoint(), QRegion(10, 20, 30, 5).united(QRegion(50, 4, 6, 7)));
    dlg.SendMessage(WM_PAINT);
    ASSERT_EQ(dlg.m_updates.size(), 2u);
    const RECT& painted = dlg.m_updates[0];
    EXPECT_EQ(painted.left, 10);
    EXPECT_EQ(painted.top, 4);
    EXPECT_EQ(painted.right, 56);
    EXPECT_EQ(painted.bottom, 25);
    EXPECT_EQ(dlg.m_updates[1].right, -1) << "a WM_PAINT sent by hand has no update region";
    EXPECT_EQ(dlg.m_updates[1].left, 0) << "and its rectangle is emptied";
    RECT outside{1, 2, 3, 4};
    EXPECT_FALSE(dlg.GetUpdateRect(&outside));
    EXPECT_EQ(outside.right, 0);
}

TEST(Metrics, IconSizeAndHarmlessCalls)
{
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&icc));
    INITCOMMONCONTROLSEX wrong{3, ICC_WIN95_CLASSES};
    EXPECT_FALSE(InitCommonControlsEx(&wrong));
    EXPECT_TRUE(AfxEnableControlContainer());
}

}  // namespace
