#include "platform/instruments/instrument.h"

#include <QPainter>

namespace platform::instruments {

Instrument::Instrument(QWidget* parent) : QWidget(parent) {}

void Instrument::Raise(DISPID event)
{
    if (m_sink) m_sink(event);
}

const QPixmap& Instrument::StaticArt()
{
    const QSize want = size() * devicePixelRatioF();
    if (!m_artValid || m_art.size() != want) {
        m_art = QPixmap(want.expandedTo(QSize(1, 1)));
        m_art.setDevicePixelRatio(devicePixelRatioF());
        m_art.fill(ArtIsOpaque() ? Qt::black : Qt::transparent);
        QPainter p(&m_art);
        PaintStaticArt(p);
        m_artValid = true;
        ++m_artRenders;
    }
    return m_art;
}

}  // namespace platform::instruments
