// A small SVG plot for the HTML report: a framed area with linear axes, ticks and labels, and
// the few marks the report draws (lines, points, bars, bands). Writes plain SVG text.
#pragma once

#include <string>
#include <vector>

namespace ampcheck {

std::string html_escape(const std::string& text);

class SvgPlot {
public:
    SvgPlot(int width, int height, double xMin, double xMax, double yMin, double yMax);

    // Without xTicks the x axis gets no numbers: categories are named with category().
    void axes(const std::string& xLabel, const std::string& yLabel, bool xTicks = true);
    void category(double x, const std::string& name);
    void title(const std::string& text);
    // NaN points break the line.
    void line(const std::vector<double>& x, const std::vector<double>& y, const std::string& colour, double width = 1.5,
              bool dashed = false);
    void points(const std::vector<double>& x, const std::vector<double>& y, const std::string& colour);
    void vertical(double x, const std::string& colour, const std::string& label = {});
    void horizontal(double y, const std::string& colour, const std::string& label = {});
    void band(double x0, double x1, const std::string& colour);
    void bar(double x, double barWidth, double y, const std::string& colour, const std::string& label);
    void legend(const std::vector<std::pair<std::string, std::string>>& entries);  // text, colour

    std::string str() const;

    // Round steps of 1, 2 or 5 times a power of ten: about `count` of them across the range.
    static std::vector<double> ticks(double lo, double hi, int count);

private:
    double px(double x) const;
    double py(double y) const;

    int m_width, m_height;
    double m_left = 52, m_right = 12, m_top = 24, m_bottom = 36;
    double m_xMin, m_xMax, m_yMin, m_yMax;
    std::string m_body;
};

}  // namespace ampcheck
