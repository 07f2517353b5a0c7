// A seven-segment LED display of DigitCount digits (five by default) showing Value with a fixed
// number of decimals (two by default, so 10.0 reads " 10.00"): leading zeros blank, the decimal
// point lit in its digit, every segment dashed when the value does not fit. With ShowSign an extra
// digit on the left carries the minus sign.
// Bag: Value, DigitCount, DecimalPlaces, ShowSign, OnColor, OffColor, BackGroundColor.
#pragma once

#include "platform/instruments/instrument.h"

#include <QColor>
#include <QString>

namespace platform::instruments {

class SevenSegment : public Instrument {
public:
    explicit SevenSegment(QWidget* parent = nullptr);

    void LoadProperties(const com::PropertyBag& bag) override;
    double Value() const { return m_value; }
    void SetValue(double value);
    int DigitCount() const { return m_digits; }
    void SetDigitCount(int digits);
    bool ShowSign() const { return m_showSign; }

    // What the display shows, one character a digit cell plus '.' after the cell that lights its
    // point: " 10.00", "-----" on overflow.
    QString Text() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void PaintStaticArt(QPainter& p) override;

private:
    int Cells() const { return m_digits + (m_showSign ? 1 : 0); }
    void PaintCell(QPainter& p, int cell, uint8_t segments, bool point, const QColor& colour) const;

    double m_value = 0.0;
    int m_digits = 5;
    int m_decimals = 2;
    bool m_showSign = false;
    QColor m_on = QColor(255, 40, 30);
    QColor m_off = QColor(60, 12, 10);
    QColor m_background = QColor(16, 8, 8);
};

}  // namespace platform::instruments
