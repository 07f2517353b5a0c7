// Icons registered by the program, painting contexts, and the metrics that go with them.
#include "platform/afx/testing.h"
#include "platform/afx/window_registry.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QScreen>

#include <map>
#include <mutex>
#include <variant>

namespace platform::afx::detail {
namespace {

struct IconGroup {
    std::vector<QImage> images;
    QIcon icon;  // built on first use, once a GUI application exists
    bool built = false;
};

struct Icons {
    std::mutex mutex;
    std::map<UINT, IconGroup> byId;
};

Icons& icons()
{
    static Icons i;
    return i;
}

HICON HandleOf(UINT id)
{
    return reinterpret_cast<HICON>(uintptr_t(id) + 1);
}

UINT IdOf(HICON h)
{
    return UINT(reinterpret_cast<uintptr_t>(h) - 1);
}

BOOL AddImage(UINT id, QImage image)
{
    if (image.isNull()) return FALSE;
    std::lock_guard lock(icons().mutex);
    IconGroup& g = icons().byId[id];
    g.images.push_back(std::move(image));
    g.built = false;
    return TRUE;
}

QWidget* g_paintWidget = nullptr;
QRect g_paintRect;
std::vector<platform::afx::testing::DrawnIcon> g_drawnIcons;

// One paint context: on the widget inside its paint event, otherwise on a scratch image.
struct PaintContext {
    HWND hwnd = nullptr;
    QImage scratch;
    QPainter painter;
};

}  // namespace

QIcon IconOf(HICON hIcon)
{
    if (!hIcon || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return {};
    std::lock_guard lock(icons().mutex);
    auto it = icons().byId.find(IdOf(hIcon));
    if (it == icons().byId.end()) return {};
    IconGroup& g = it->second;
    if (!g.built) {
        g.icon = QIcon();
        for (const QImage& image : g.images) g.icon.addPixmap(QPixmap::fromImage(image));
        g.built = true;
    }
    return g.icon;
}

QWidget* CurrentPaintWidget()
{
    return g_paintWidget;
}

void SetCurrentPaintWidget(QWidget* w)
{
    g_paintWidget = w;
}

QRect CurrentPaintRect()
{
    return g_paintRect;
}

void SetCurrentPaintRect(const QRect& rect)
{
    g_paintRect = rect;
}

void RecordDrawnIcon(HWND hwnd, int x, int y, HICON hIcon)
{
    // Only the minimised window draws icons; a bound keeps a forgotten log small.
    if (g_drawnIcons.size() >= 1024) g_drawnIcons.erase(g_drawnIcons.begin());
    g_drawnIcons.push_back({hwnd, x, y, hIcon});
}

}  // namespace platform::afx::detail

using namespace platform::afx::detail;

BOOL AFXAPI AfxRegisterIcon(UINT nIDResource, const char* const* xpm)
{
    return xpm ? AddImage(nIDResource, QImage(xpm)) : FALSE;
}

BOOL AFXAPI AfxRegisterIconPng(UINT nIDResource, const unsigned char* data, size_t size)
{
    QImage image;
    if (!data || !image.loadFromData(data, int(size))) return FALSE;
    return AddImage(nIDResource, std::move(image));
}

BOOL AFXAPI AfxRegisterIconArgb(UINT nIDResource, int width, int height, const uint32_t* pixels)
{
    if (!pixels || width <= 0 || height <= 0) return FALSE;
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), pixels + size_t(y) * size_t(width), size_t(width) * 4);
    return AddImage(nIDResource, std::move(image));
}

HICON CWinApp::LoadIcon(UINT nIDResource) const
{
    std::lock_guard lock(icons().mutex);
    return icons().byId.count(nIDResource) ? HandleOf(nIDResource) : nullptr;
}

HICON CWinApp::LoadIcon(LPCTSTR lpszResourceName) const
{
    if (!lpszResourceName) return nullptr;
    // MAKEINTRESOURCE(id) passes the id as the pointer value.
    auto value = reinterpret_cast<uintptr_t>(lpszResourceName);
    if (value < 0x10000) return LoadIcon(UINT(value));
    if (*lpszResourceName == '#') ++lpszResourceName;
    return LoadIcon(UINT(std::strtoul(lpszResourceName, nullptr, 10)));
}

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXICON:
    case SM_CYICON: return 32;
    case 0:    // SM_CXSCREEN
    case 1: {  // SM_CYSCREEN
        QScreen* screen =
            qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen() : nullptr;
        if (!screen) return index == 0 ? 1024 : 768;
        return index == 0 ? screen->geometry().width() : screen->geometry().height();
    }
    default: return 0;
    }
}

BOOL DrawIcon(HDC hDC, int x, int y, HICON hIcon)
{
    auto* ctx = reinterpret_cast<PaintContext*>(hDC);
    if (!ctx || !hIcon) return FALSE;
    RecordDrawnIcon(ctx->hwnd, x, y, hIcon);
    QIcon icon = IconOf(hIcon);
    if (icon.isNull()) return FALSE;
    if (ctx->painter.isActive()) ctx->painter.drawPixmap(x, y, icon.pixmap(32, 32));
    return TRUE;
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr)
{
    auto* ctx = new PaintContext;
    ctx->hwnd = m_hWnd;
    QWidget* widget = platform::afx::testing::WidgetOf(m_hWnd);
    if (widget && widget == CurrentPaintWidget()) {
        ctx->painter.begin(widget);
    } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QSize size = widget ? widget->size() : QSize(1, 1);
        ctx->scratch = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        ctx->painter.begin(&ctx->scratch);
    }
    m_hDC = reinterpret_cast<HDC>(ctx);
}

CPaintDC::~CPaintDC()
{
    auto* ctx = reinterpret_cast<PaintContext*>(m_hDC);
    if (ctx && ctx->painter.isActive()) ctx->painter.end();
    delete ctx;
}

namespace platform::afx::testing {

const std::vector<DrawnIcon>& DrawnIcons()
{
    return g_drawnIcons;
}

void ClearDrawnIcons()
{
    g_drawnIcons.clear();
}

}  // namespace platform::afx::testing
