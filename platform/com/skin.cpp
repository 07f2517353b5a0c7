// The skinning component: reads a key=value skin file (or takes the built-in look) and applies it
// to the whole application through its palette and style sheet.
#include "platform/com/skin.h"

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPalette>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace platform::com {
namespace {

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The folders skin files are looked up in, in order.
std::vector<std::filesystem::path> SkinFolders()
{
    std::vector<std::filesystem::path> folders;
    if (const char* data = std::getenv("AMP_DATA_DIR"); data && *data)
        folders.emplace_back(std::filesystem::path(data) / "skins");
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) folders.push_back(exe.parent_path() / ".." / "share" / "ampbench" / "skins");
    return folders;
}

QColor ColourOf(const SkinValues& v, const char* key)
{
    auto it = v.find(key);
    QColor c = it != v.end() ? QColor(QString::fromStdString(it->second)) : QColor();
    if (!c.isValid()) c = QColor(QString::fromStdString(BuiltInSkin().at(key)));
    return c;
}

std::string Value(const SkinValues& v, const char* key)
{
    auto it = v.find(key);
    return it != v.end() ? it->second : BuiltInSkin().at(key);
}

class Skin final : public ComObject<IDispatch> {
public:
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

    HRESULT Invoke(DISPID id, WORD flags, std::span<const Variant> args, Variant* result) override
    {
        if (id == kSkinDispidSource) {
            if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
            if (!args.empty()) return DISP_E_BADPARAMCOUNT;
            if (result) *result = m_source;
            return S_OK;
        }
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        switch (id) {
        case kSkinDispidSetStyle:
        case kSkinDispidEnable: {
            if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
            const int32_t* v = std::get_if<int32_t>(&args[0]);
            if (!v) return DISP_E_TYPEMISMATCH;
            if (id == kSkinDispidEnable) m_enabled = *v != 0;
            else m_style = *v;
            return S_OK;
        }
        case kSkinDispidLoadFile: {
            if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
            const std::string* path = std::get_if<std::string>(&args[0]);
            if (!path) return DISP_E_TYPEMISMATCH;
            return Load(*path);
        }
        case kSkinDispidApply:
            if (!args.empty()) return DISP_E_BADPARAMCOUNT;
            Apply();
            return S_OK;
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    HRESULT Load(const std::string& path)
    {
        m_values = BuiltInSkin();
        m_source = "built-in";
        std::string resolved = ResolveSkinPath(path);
        if (resolved.empty()) return S_FALSE;
        std::optional<SkinValues> file = ReadSkinFile(resolved);
        if (!file) return S_FALSE;
        for (auto& [k, v] : *file) m_values[k] = v;
        m_source = resolved;
        return S_OK;
    }

    void Apply()
    {
        if (!m_enabled) return;
        auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (!app) return;
        QPalette p = app->palette();
        QColor panel = ColourOf(m_values, "panel");
        QColor text = ColourOf(m_values, "text");
        p.setColor(QPalette::Window, panel);
        p.setColor(QPalette::WindowText, text);
        p.setColor(QPalette::Button, ColourOf(m_values, "button"));
        p.setColor(QPalette::ButtonText, ColourOf(m_values, "button_text"));
        p.setColor(QPalette::Base, ColourOf(m_values, "window"));
        p.setColor(QPalette::Text, text);
        p.setColor(QPalette::Highlight, ColourOf(m_values, "highlight"));
        app->setPalette(p);
        app->setStyleSheet(QString::fromStdString(SkinStyleSheet(m_values)));
    }

    SkinValues m_values = BuiltInSkin();
    std::string m_source = "built-in";
    bool m_enabled = true;
    int32_t m_style = 0;
};

}  // namespace

SkinValues BuiltInSkin()
{
    // A dark instrument panel: charcoal face, grooved group frames, off-white engraving.
    return {
        {"window", "#1c1d1f"},        {"panel", "#34363a"},       {"text", "#e8e6dc"},      {"caption", "#f2efe4"},
        {"button", "#4a4d52"},        {"button_text", "#f0eee6"}, {"highlight", "#c8a040"}, {"group_frame", "#202124"},
        {"group_engrave", "#5c5f65"}, {"font_family", ""},        {"font_size", ""},  // empty: the dialog's own font
    };
}

std::optional<SkinValues> ReadSkinFile(const std::string& path)
{
    std::ifstream in(path);
    if (!in) return std::nullopt;
    SkinValues values;
    std::string line;
    while (std::getline(in, line)) {
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;  // colours start with '#' too
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = Lower(Trim(line.substr(0, eq)));
        std::string value = Trim(line.substr(eq + 1));
        if (!key.empty()) values[key] = value;
    }
    return values;
}

std::string ResolveSkinPath(const std::string& windowsPath)
{
    std::error_code ec;
    if (!windowsPath.empty() && std::filesystem::is_regular_file(windowsPath, ec)) return windowsPath;
    size_t slash = windowsPath.find_last_of("\\/");
    std::string name = Lower(slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1));
    if (name.empty()) return {};
    for (const auto& folder : SkinFolders()) {
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            if (entry.is_regular_file(ec) && Lower(entry.path().filename().string()) == name)
                return std::filesystem::weakly_canonical(entry.path(), ec).string();
        }
    }
    return {};
}

std::string SkinStyleSheet(const SkinValues& v)
{
    const std::string panel = Value(v, "panel"), text = Value(v, "text"), caption = Value(v, "caption");
    const std::string button = Value(v, "button"), buttonText = Value(v, "button_text");
    const std::string frame = Value(v, "group_frame"), engrave = Value(v, "group_engrave");
    const std::string font = Value(v, "font_family"), size = Value(v, "font_size");
    std::string s;
    s += "QWidget#afxDialog { background-color: " + panel + "; }\n";
    s += "QWidget#afxDialog QLabel { color: " + caption + "; background: transparent; }\n";
    std::string groupFont;
    if (!font.empty()) groupFont += " font-family: \"" + font + "\";";
    if (!size.empty()) groupFont += " font-size: " + size + "pt;";
    s += "QGroupBox { color: " + caption + "; border: 2px groove " + engrave + "; border-top-color: " + frame +
         "; border-left-color: " + frame + "; margin-top: 6px;" + groupFont + " }\n";
    s += "QGroupBox::title { subcontrol-origin: margin; left: 7px; padding: 0 2px; }\n";
    s += "QPushButton { color: " + buttonText + "; background-color: " + button + "; border: 1px solid " + frame +
         "; border-radius: 2px; padding: 2px 6px; }\n";
    s += "QPushButton:default { border: 1px solid " + text + "; }\n";
    s += "QPushButton:pressed { background-color: " + frame + "; }\n";
    return s;
}

void RegisterSkin()
{
    RegisterClass(CLSID_PanelSkin, kPanelSkinProgId, []() -> IUnknown* { return static_cast<IDispatch*>(new Skin); });
}

}  // namespace platform::com
