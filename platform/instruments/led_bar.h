// An LED bar: a column (or row, when wider than tall) of LED segments from 0 to PositionMax, lit
// up to Level and coloured by section. Level 0 empties it; PositionMax fills it.
// Bag: Level, PositionMax, SectionCount, SectionEnd1 .. SectionEnd<count-1> (the last section
// ends at PositionMax), SectionColor1 .. SectionColor<count> ("default", a 0x00BBGGRR int or a name
// like clYellow), SegmentSize and SegmentSpacing (pixels), BackGroundColor.
#pragma once

#include "platform/instruments/instrument.h"

#include <QColor>

#include <vector>

namespace platform::instruments {

class LedBar : public Instrument {
public:
    struct Section {
        double end;
        QColor color;
    };

    explicit LedBar(QWidget* parent = nullptr);

    void LoadProperties(const com::PropertyBag& bag) override;
    double Level() const { return m_level; }
    void SetLevel(double level);
    double PositionMax() const { return m_max; }
    void SetPositionMax(double max);
    const std::vector<Section>& Sections() const { return m_sections; }

    int SegmentCount() const;
    int LitSegments() const;
    QColor SegmentColor(int segment) const;  // lit colour of segment 0 (the lowest) upwards
    QRect SegmentRect(int segment) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void PaintStaticArt(QPainter& p) override;
    bool ArtIsOpaque() const override { return true; }

private:
    bool Vertical() const { return height() >= width(); }

    double m_level = 0.0;
    double m_max = 100.0;
    std::vector<Section> m_sections;
    int m_segmentSize = 3;
    int m_segmentSpacing = 1;
    QColor m_background = QColor(24, 24, 24);
};

}  // namespace platform::instruments
