#include "platform/instruments/label.h"

#include "platform/instruments/bag.h"

#include <QPainter>

namespace platform::instruments {

PanelLabel::PanelLabel(QWidget* parent) : Instrument(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void PanelLabel::LoadProperties(const com::PropertyBag& bag)
{
    if (auto s = BagString(bag, "Caption")) m_caption = QString::fromStdString(*s);
    if (const com::Variant* a = FindProperty(bag, "Alignment")) {
        std::string text = std::holds_alternative<std::string>(*a) ? std::get<std::string>(*a) : "";
        const int code = std::holds_alternative<int32_t>(*a) ? std::get<int32_t>(*a) : -1;
        Qt::Alignment h = Qt::AlignLeft;
        if (text == "right" || text == "taRightJustify" || code == 1) h = Qt::AlignRight;
        if (text == "center" || text == "taCenter" || code == 2) h = Qt::AlignHCenter;
        m_align = h | Qt::AlignVCenter;
    }
    if (auto c = BagColor(bag, "FontColor")) m_fontColor = *c;
    if (auto c = BagColor(bag, "BackGroundColor")) m_background = *c;
    if (auto d = BagDouble(bag, "FontSize")) m_fontSize = *d;
    if (auto b = BagBool(bag, "FontBold")) m_bold = *b;
    if (auto b = BagBool(bag, "Raised")) m_raised = *b;
    InvalidateArt();
}

void PanelLabel::SetCaption(const QString& caption)
{
    if (caption == m_caption) return;
    m_caption = caption;
    InvalidateArt();
}

void PanelLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, StaticArt());
}

void PanelLabel::PaintStaticArt(QPainter& p)
{
    if (m_background.isValid()) p.fillRect(rect(), m_background);
    QFont f = font();
    f.setPointSizeF(m_fontSize);
    f.setBold(m_bold || m_raised);
    p.setFont(f);
    p.setRenderHint(QPainter::TextAntialiasing);
    // Blanks in captions are significant (" STOP", "1 "), so no simplification of the text.
    const QRect r = rect().adjusted(1, 0, -1, 0);
    if (m_raised) {
        p.setPen(m_fontColor.lighter(190));
        p.drawText(r.translated(-1, -1), int(m_align), m_caption);
        p.setPen(QColor(0, 0, 0, 150));
        p.drawText(r.translated(1, 1), int(m_align), m_caption);
    }
    p.setPen(m_fontColor);
    p.drawText(r, int(m_align), m_caption);
}

}  // namespace platform::instruments
