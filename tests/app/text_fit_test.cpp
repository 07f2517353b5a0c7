// Every text of every window fits its place, under the shipped skin as the programs run: no
// caption wraps or is cut, and two texts on one line keep at least a blank between them.
#include "pellion/resources.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/testing.h"
#include "platform/com/skin.h"
#include "platform/instruments/label.h"
#include "platform/instruments/register.h"
#include "platform/instruments/rotary_switch.h"
#include "quorvex/resources.h"
#include "ui/panel_template.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::afx::ControlKind;
using platform::afx::DialogTemplate;
namespace afxt = platform::afx::testing;
namespace ins = platform::instruments;

struct Window {
    const char* name;
    const DialogTemplate& (*tmpl)();
};

// Glyph extents come with up to a pixel of antialiased fringe; less than that is not a cut.
constexpr double kFringe = 1.0;

struct Text {
    std::string what;
    QRectF ink;  // in the dialog's client area
};

std::ostream& operator<<(std::ostream& os, const Window& w)
{
    return os << w.name;
}

// Where drawing `text` in `box` puts ink: placed by its advance as the alignment says, then
// narrowed to the glyphs' own extent; one line high, at the top or centred.
QRectF Ink(const QFontMetricsF& fm, const QString& text, const QRectF& box, Qt::Alignment align)
{
    const double advance = fm.horizontalAdvance(text);
    double x = box.left();
    if (align & Qt::AlignRight) x = box.right() - advance;
    if (align & Qt::AlignHCenter) x = box.center().x() - advance / 2;
    const QRectF glyphs = fm.tightBoundingRect(text);
    const double top = (align & Qt::AlignVCenter) ? box.center().y() - fm.height() / 2 : box.top();
    return QRectF(x + glyphs.left(), top, glyphs.width(), fm.height());
}

const platform::com::Variant* Property(const platform::com::PropertyBag& bag, const std::string& name)
{
    for (const auto& [key, value] : bag)
        if (key == name) return &value;
    return nullptr;
}

class TextFit : public ::testing::TestWithParam<Window> {
protected:
    static constexpr UINT kId = 9100;

    void SetUp() override
    {
        ins::RegisterControls();
        auto skin = platform::com::ReadSkinFile(platform::com::ResolveSkinPath("c:\\Tavorin\\Tavorin.skf"));
        ASSERT_TRUE(skin) << "the shipped skin file is not found beside the build";
        qApp->setStyleSheet(QString::fromStdString(platform::com::SkinStyleSheet(*skin)));
        AfxRegisterDialogTemplate(kId, &GetParam().tmpl());
        ASSERT_TRUE(m_dlg.Create(kId));
        m_window = afxt::WidgetOf(m_dlg.m_hWnd);
        m_window->ensurePolished();
        m_blank = QFontMetricsF(m_window->font()).horizontalAdvance(' ');
    }
    void TearDown() override
    {
        m_dlg.DestroyWindow();
        qApp->setStyleSheet(QString());
    }

    QWidget* Item(int id) { return afxt::WidgetOf(m_dlg.GetDlgItem(id)->m_hWnd); }
    QRectF InDialog(QWidget* w, const QRectF& r) { return r.translated(w->mapTo(m_window, QPoint(0, 0))); }

    // The texts of the template's controls, each checked against its own place on the way.
    std::vector<Text> CollectTexts()
    {
        std::vector<Text> texts;
        for (QWidget* w : m_window->findChildren<QWidget*>()) {
            w->ensurePolished();
            if (auto* label = qobject_cast<QLabel*>(w)) {
                const QFontMetricsF fm(label->font());
                EXPECT_LE(fm.horizontalAdvance(label->text()), label->width())
                    << "\"" << label->text().toStdString() << "\" wraps";
                texts.push_back({label->text().toStdString(),
                                 InDialog(label, Ink(fm, label->text(), QRectF(label->rect()), label->alignment()))});
            } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
                QStyleOptionGroupBox opt;
                opt.initFrom(box);
                opt.text = box->title();
                opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
                const QRect title =
                    box->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, box);
                const QRectF ink = Ink(QFontMetricsF(box->font()), box->title(), title, Qt::AlignLeft);
                EXPECT_TRUE(
                    QRectF(title).adjusted(0, 0, 1, 0).contains(ink.adjusted(0, 0, 0, title.height() - ink.height())))
                    << "\"" << box->title().toStdString() << "\" is cut";
                EXPECT_LE(title.right(), box->width()) << "\"" << box->title().toStdString() << "\" leaves its frame";
                texts.push_back({box->title().toStdString(), InDialog(box, ink)});
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                const double width = QFontMetricsF(button->font()).horizontalAdvance(button->text());
                EXPECT_LE(width + 12, button->width()) << "\"" << button->text().toStdString() << "\" fills its button";
            } else if (auto* rotary = dynamic_cast<ins::RotarySwitch*>(w)) {
                for (int i = 0; i < rotary->PositionCount(); ++i) {
                    const QRectF ink =
                        Ink(QFontMetricsF(rotary->font()), rotary->Labels()[i], rotary->LabelRect(i), Qt::AlignCenter);
                    EXPECT_TRUE(QRectF(rotary->rect()).adjusted(-kFringe, 0, kFringe, 0).contains(ink))
                        << "rotary label \"" << rotary->Labels()[i].toStdString() << "\" is cut";
                    texts.push_back({rotary->Labels()[i].toStdString(), InDialog(rotary, ink)});
                }
            }
        }
        // Panel labels draw in the dialog's family at their own size, inside a pixel of margin.
        for (const auto& c : GetParam().tmpl().controls) {
            if (c.kind != ControlKind::Embedded || c.clsid != CLSID_PANEL_LABEL) continue;
            auto* label = dynamic_cast<ins::PanelLabel*>(Item(c.id));
            if (!label || label->Caption().isEmpty()) continue;
            QFont f = label->font();
            const auto* size = Property(c.properties, "FontSize");
            f.setPointSizeF(size ? std::get<double>(*size) : 8.0);
            const auto* bold = Property(c.properties, "FontBold");
            f.setBold((bold && std::get<bool>(*bold)) || label->Raised());
            const QFontMetricsF fm(f);
            const QRectF ink =
                Ink(fm, label->Caption(), QRectF(label->rect()).adjusted(1, 0, -1, 0), label->Alignment());
            const std::string what = label->Caption().toStdString();
            EXPECT_GE(ink.left(), -kFringe) << "\"" << what << "\" is cut";
            EXPECT_LE(ink.right(), label->width() + kFringe) << "\"" << what << "\" is cut";
            EXPECT_LE(fm.ascent() + fm.descent(), label->height() + 1) << "\"" << what << "\" is cut";
            texts.push_back({what, InDialog(label, ink)});
        }
        return texts;
    }

    CDialog m_dlg;
    QWidget* m_window = nullptr;
    double m_blank = 0;
};

TEST_P(TextFit, EveryTextFitsItsPlaceAndKeepsABlankFromItsNeighbours)
{
    const std::vector<Text> texts = CollectTexts();
    ASSERT_GE(texts.size(), 3u);
    for (size_t i = 0; i < texts.size(); ++i) {
        for (size_t j = i + 1; j < texts.size(); ++j) {
            const QRectF& a = texts[i].ink;
            const QRectF& b = texts[j].ink;
            if (a.bottom() <= b.top() || b.bottom() <= a.top()) continue;  // different lines
            const double gap = std::max(b.left() - a.right(), a.left() - b.right());
            EXPECT_GE(gap, m_blank) << "\"" << texts[i].what << "\" and \"" << texts[j].what << "\" run together";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllWindows, TextFit,
                         ::testing::Values(Window{"QuorvexPanel", &QuorvexMainTemplate},
                                           Window{"CalibrationSettings", &QuorvexCalConfigTemplate},
                                           Window{"QuorvexAbout", &QuorvexAboutTemplate},
                                           Window{"PellionPanel", &PellionMainTemplate},
                                           Window{"PellionAbout", &PellionAboutTemplate}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
