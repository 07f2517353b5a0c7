// A panel label: caption text with alignment, colours and an optional raised (embossed) look.
// Bag: Caption, Alignment ("left", "center", "right", or taLeftJustify/taCenter/taRightJustify,
// or 0/2/1), FontColor, BackGroundColor (absent: transparent), FontSize (points), FontBold, Raised.
#pragma once

#include "platform/instruments/instrument.h"

#include <QColor>
#include <QString>

namespace platform::instruments {

class PanelLabel : public Instrument {
public:
    explicit PanelLabel(QWidget* parent = nullptr);

    void LoadProperties(const com::PropertyBag& bag) override;
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    Qt::Alignment Alignment() const { return m_align; }
    bool Raised() const { return m_raised; }

protected:
    void paintEvent(QPaintEvent*) override;
    void PaintStaticArt(QPainter& p) override;

private:
    QString m_caption;
    Qt::Alignment m_align = Qt::AlignLeft | Qt::AlignVCenter;
    QColor m_fontColor = Qt::black;
    QColor m_background;  // invalid: transparent
    double m_fontSize = 8.0;
    bool m_bold = false;
    bool m_raised = false;
};

}  // namespace platform::instruments
