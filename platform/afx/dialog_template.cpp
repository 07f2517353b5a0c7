// Template shorthands, the template table, and dialog units.
#include "platform/afx/dialog_template.h"

#include <cmath>
#include <map>
#include <mutex>

namespace platform::afx {
namespace {

struct Templates {
    std::mutex mutex;
    std::map<UINT, const DialogTemplate*> byId;
};

Templates& templates()
{
    static Templates t;
    return t;
}

ControlTemplate Make(int id, ControlKind kind, std::string caption, int x, int y, int cx, int cy)
{
    ControlTemplate c;
    c.id = id;
    c.kind = kind;
    c.caption = std::move(caption);
    c.x = x;
    c.y = y;
    c.cx = cx;
    c.cy = cy;
    return c;
}

}  // namespace

ControlTemplate PushButton(int id, std::string caption, int x, int y, int cx, int cy)
{
    ControlTemplate c = Make(id, ControlKind::PushButton, std::move(caption), x, y, cx, cy);
    c.style |= WS_TABSTOP;
    return c;
}

ControlTemplate DefPushButton(int id, std::string caption, int x, int y, int cx, int cy)
{
    ControlTemplate c = Make(id, ControlKind::DefPushButton, std::move(caption), x, y, cx, cy);
    c.style |= WS_TABSTOP;
    return c;
}

ControlTemplate GroupBox(std::string caption, int x, int y, int cx, int cy, int id)
{
    return Make(id, ControlKind::GroupBox, std::move(caption), x, y, cx, cy);
}

ControlTemplate StaticText(std::string caption, int x, int y, int cx, int cy, TextAlign align, int id)
{
    ControlTemplate c = Make(id, ControlKind::Static, std::move(caption), x, y, cx, cy);
    c.align = align;
    return c;
}

ControlTemplate EmbeddedControl(int id, const CLSID& clsid, int x, int y, int cx, int cy,
                                platform::com::PropertyBag properties)
{
    ControlTemplate c = Make(id, ControlKind::Embedded, std::string(), x, y, cx, cy);
    c.clsid = clsid;
    c.properties = std::move(properties);
    c.style |= WS_TABSTOP;
    return c;
}

int DluToPixelsX(int du)
{
    return int(std::lround(du * 1.5));
}

int DluToPixelsY(int du)
{
    return int(std::lround(du * 1.625));
}

RECT DluToPixels(int x, int y, int cx, int cy)
{
    int left = DluToPixelsX(x), top = DluToPixelsY(y);
    return RECT{left, top, left + DluToPixelsX(cx), top + DluToPixelsY(cy)};
}

void RegisterDialogTemplate(UINT id, const DialogTemplate* tmpl)
{
    std::lock_guard lock(templates().mutex);
    if (tmpl) templates().byId[id] = tmpl;
    else templates().byId.erase(id);
}

const DialogTemplate* FindDialogTemplate(UINT id)
{
    std::lock_guard lock(templates().mutex);
    auto it = templates().byId.find(id);
    return it == templates().byId.end() ? nullptr : it->second;
}

}  // namespace platform::afx
