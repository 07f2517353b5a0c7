// Base of the instrument widgets: the container's event sink, initial properties from a template's
// property bag, and static art (bezel, dial, scale) drawn once per size into a cached pixmap.
// Instruments live on the UI thread; events reach the sink synchronously from input handlers.
#pragma once

#include "platform/com/com.h"

#include <QPixmap>
#include <QWidget>

#include <functional>

namespace platform::instruments {

class Instrument : public QWidget {
public:
    explicit Instrument(QWidget* parent = nullptr);

    void SetSink(std::function<void(DISPID)> sink) { m_sink = std::move(sink); }
    virtual void LoadProperties(const com::PropertyBag& bag) = 0;

    // How many times the static art was drawn; a repaint at an unchanged size must not add one.
    int ArtRenderCount() const { return m_artRenders; }

protected:
    void Raise(DISPID event);
    // The cached static art for the current size, redrawn by PaintStaticArt when stale.
    const QPixmap& StaticArt();
    void InvalidateArt()
    {
        m_artValid = false;
        update();
    }
    virtual void PaintStaticArt(QPainter& p) = 0;
    // Art that covers every pixel is kept without an alpha channel, so painting it is a copy
    // rather than a blend.
    virtual bool ArtIsOpaque() const { return false; }

private:
    std::function<void(DISPID)> m_sink;
    QPixmap m_art;
    bool m_artValid = false;
    int m_artRenders = 0;
};

}  // namespace platform::instruments
