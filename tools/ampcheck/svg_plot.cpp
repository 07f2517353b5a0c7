#include "tools/ampcheck/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ampcheck {

namespace {
std::string num(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

std::string tick_text(double v, double step)
{
    char text[32];
    int places = step >= 1 ? 0 : int(std::ceil(-std::log10(step)));
    std::snprintf(text, sizeof text, "%.*f", places, std::abs(v) < step * 1e-6 ? 0.0 : v);
    return text;
}
}  // namespace

std::string html_escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

SvgPlot::SvgPlot(int width, int height, double xMin, double xMax, double yMin, double yMax)
    : m_width(width), m_height(height), m_xMin(xMin), m_xMax(xMax), m_yMin(yMin), m_yMax(yMax)
{
    if (!(m_xMax > m_xMin)) m_xMax = m_xMin + 1;
    if (!(m_yMax > m_yMin)) m_yMax = m_yMin + 1;
}

double SvgPlot::px(double x) const
{
    return m_left + (x - m_xMin) / (m_xMax - m_xMin) * (m_width - m_left - m_right);
}

double SvgPlot::py(double y) const
{
    return m_height - m_bottom - (y - m_yMin) / (m_yMax - m_yMin) * (m_height - m_top - m_bottom);
}

std::vector<double> SvgPlot::ticks(double lo, double hi, int count)
{
    std::vector<double> out;
    double span = hi - lo;
    if (!(span > 0) || count < 1) return out;
    double raw = span / count, power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    for (double v = std::ceil(lo / step - 1e-9) * step; v <= hi + step * 1e-9; v += step) out.push_back(v);
    return out;
}

void SvgPlot::axes(const std::string& xLabel, const std::string& yLabel, bool xTicks)
{
    double x0 = px(m_xMin), x1 = px(m_xMax), y0 = py(m_yMin), y1 = py(m_yMax);
    std::vector<double> xt = xTicks ? ticks(m_xMin, m_xMax, 6) : std::vector<double>{}, yt = ticks(m_yMin, m_yMax, 5);
    double xs = xt.size() > 1 ? xt[1] - xt[0] : 1, ys = yt.size() > 1 ? yt[1] - yt[0] : 1;
    for (double v : xt) {
        m_body += "<line class=\"grid\" x1=\"" + num(px(v)) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(px(v)) +
                  "\" y2=\"" + num(y0) + "\"/>";
        m_body += "<text class=\"tick\" x=\"" + num(px(v)) + "\" y=\"" + num(y0 + 13) + "\" text-anchor=\"middle\">" +
                  tick_text(v, xs) + "</text>";
    }
    for (double v : yt) {
        m_body += "<line class=\"grid\" x1=\"" + num(x0) + "\" y1=\"" + num(py(v)) + "\" x2=\"" + num(x1) + "\" y2=\"" +
                  num(py(v)) + "\"/>";
        m_body += "<text class=\"tick\" x=\"" + num(x0 - 4) + "\" y=\"" + num(py(v) + 3.5) + "\" text-anchor=\"end\">" +
                  tick_text(v, ys) + "</text>";
    }
    m_body += "<rect class=\"frame\" x=\"" + num(x0) + "\" y=\"" + num(y1) + "\" width=\"" + num(x1 - x0) +
              "\" height=\"" + num(y0 - y1) + "\"/>";
    m_body += "<text class=\"label\" x=\"" + num((x0 + x1) / 2) + "\" y=\"" + num(m_height - 4.0) +
              "\" text-anchor=\"middle\">" + html_escape(xLabel) + "</text>";
    m_body += "<text class=\"label\" transform=\"translate(11 " + num((y0 + y1) / 2) +
              ") rotate(-90)\" text-anchor=\"middle\">" + html_escape(yLabel) + "</text>";
}

void SvgPlot::category(double x, const std::string& name)
{
    m_body += "<text class=\"tick\" x=\"" + num(px(x)) + "\" y=\"" + num(py(m_yMin) + 13) +
              "\" text-anchor=\"middle\">" + html_escape(name) + "</text>";
}

void SvgPlot::title(const std::string& text)
{
    m_body += "<text class=\"title\" x=\"" + num(m_left) + "\" y=\"15\">" + html_escape(text) + "</text>";
}

void SvgPlot::line(const std::vector<double>& x, const std::vector<double>& y, const std::string& colour, double width,
                   bool dashed)
{
    std::string points;
    auto flush = [&] {
        if (!points.empty())
            m_body += "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"" + num(width) + "\"" +
                      (dashed ? " stroke-dasharray=\"5 3\"" : "") + " points=\"" + points + "\"/>";
        points.clear();
    };
    for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            flush();
            continue;
        }
        double cy = std::clamp(py(y[i]), m_top, m_height - m_bottom);
        points += num(px(x[i])) + "," + num(cy) + " ";
    }
    flush();
}

void SvgPlot::points(const std::vector<double>& x, const std::vector<double>& y, const std::string& colour)
{
    for (size_t i = 0; i < x.size() && i < y.size(); ++i)
        if (std::isfinite(x[i]) && std::isfinite(y[i]))
            m_body +=
                "<circle cx=\"" + num(px(x[i])) + "\" cy=\"" + num(py(y[i])) + "\" r=\"3\" fill=\"" + colour + "\"/>";
}

void SvgPlot::vertical(double x, const std::string& colour, const std::string& label)
{
    m_body += "<line x1=\"" + num(px(x)) + "\" y1=\"" + num(py(m_yMax)) + "\" x2=\"" + num(px(x)) + "\" y2=\"" +
              num(py(m_yMin)) + "\" stroke=\"" + colour + "\" stroke-dasharray=\"4 3\"/>";
    if (!label.empty())
        m_body += "<text class=\"tick\" x=\"" + num(px(x) + 3) + "\" y=\"" + num(py(m_yMax) + 10) + "\" fill=\"" +
                  colour + "\">" + html_escape(label) + "</text>";
}

void SvgPlot::horizontal(double y, const std::string& colour, const std::string& label)
{
    m_body += "<line x1=\"" + num(px(m_xMin)) + "\" y1=\"" + num(py(y)) + "\" x2=\"" + num(px(m_xMax)) + "\" y2=\"" +
              num(py(y)) + "\" stroke=\"" + colour + "\" stroke-dasharray=\"4 3\"/>";
    if (!label.empty())
        m_body += "<text class=\"tick\" x=\"" + num(px(m_xMax) - 3) + "\" y=\"" + num(py(y) - 3) +
                  "\" text-anchor=\"end\" fill=\"" + colour + "\">" + html_escape(label) + "</text>";
}

void SvgPlot::band(double x0, double x1, const std::string& colour)
{
    m_body += "<rect x=\"" + num(px(x0)) + "\" y=\"" + num(py(m_yMax)) + "\" width=\"" + num(px(x1) - px(x0)) +
              "\" height=\"" + num(py(m_yMin) - py(m_yMax)) + "\" fill=\"" + colour + "\"/>";
}

void SvgPlot::bar(double x, double barWidth, double y, const std::string& colour, const std::string& label)
{
    double top = py(std::clamp(y, m_yMin, m_yMax)), base = py(std::max(m_yMin, 0.0));
    double left = px(x - barWidth / 2), right = px(x + barWidth / 2);
    m_body += "<rect x=\"" + num(left) + "\" y=\"" + num(std::min(top, base)) + "\" width=\"" + num(right - left) +
              "\" height=\"" + num(std::abs(base - top)) + "\" fill=\"" + colour + "\"/>";
    if (!label.empty())
        m_body += "<text class=\"tick\" x=\"" + num((left + right) / 2) + "\" y=\"" + num(std::min(top, base) - 3) +
                  "\" text-anchor=\"middle\">" + html_escape(label) + "</text>";
}

void SvgPlot::legend(const std::vector<std::pair<std::string, std::string>>& entries)
{
    double x = m_width - m_right - 4;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        double w = 7.0 * double(it->first.size()) + 18;
        x -= w;
        m_body += "<rect x=\"" + num(x) + "\" y=\"7\" width=\"10\" height=\"10\" fill=\"" + it->second + "\"/>";
        m_body += "<text class=\"tick\" x=\"" + num(x + 13) + "\" y=\"16\">" + html_escape(it->first) + "</text>";
    }
}

std::string SvgPlot::str() const
{
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(m_width) + "\" height=\"" +
           std::to_string(m_height) + "\" viewBox=\"0 0 " + std::to_string(m_width) + " " + std::to_string(m_height) +
           "\">" + m_body + "</svg>";
}

}  // namespace ampcheck
