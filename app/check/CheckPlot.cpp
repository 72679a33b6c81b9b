#include "check/CheckPlot.h"

#include <algorithm>
#include <cmath>

#include "check/CheckReport.h"

namespace {

constexpr int kWidth = 900;
constexpr int kLeft = 70, kRight = 870;  // the plot area's x range
constexpr int kPanelTop = 50, kPanelHeight = 300;
constexpr int kMaxBars = 400;            // past this, one bar per pixel column
const char* const kBar = "#4a7bb7";
const char* const kFlagged = "#c0392b";
const char* const kSeriesColours[] = {"#4a7bb7", "#e67e22", "#27ae60", "#8e44ad"};

std::string Escape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20)
                out += c;
        }
    }
    return out;
}

std::string Text(double x, double y, const std::string& text, const char* anchor = "start", int size = 12)
{
    return Printf("<text x=\"%.1f\" y=\"%.1f\" font-size=\"%d\" text-anchor=\"%s\">", x, y, size, anchor) +
           Escape(text) + "</text>\n";
}

// A step of 1, 2 or 5 times a power of ten that gives about five ticks up to `top`.
double TickStep(double top)
{
    const double raw = top / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw)
            return m * power;
    return 10 * power;
}

std::string FacePanel(const PlotData& plot)
{
    const int v = static_cast<int>(plot.z.size());
    double top = std::isfinite(plot.band) ? plot.band * 1.25 : 4;
    for (const double z : plot.z)
        top = std::max(top, std::fabs(z) * 1.05);
    const double mid = kPanelTop + kPanelHeight / 2.0;
    auto y = [&](double z) { return mid - z / top * (kPanelHeight / 2.0); };
    const double width = kRight - kLeft;

    std::string out = Text(kLeft, kPanelTop - 10, "z-score of each face; shaded: beyond the flag band");
    // The flag band: shaded outside, dashed at its edges.
    if (std::isfinite(plot.band) && plot.band < top) {
        out += Printf("<rect x=\"%d\" y=\"%d\" width=\"%.0f\" height=\"%.1f\" fill=\"%s\" fill-opacity=\"0.12\"/>\n",
                      kLeft, kPanelTop, width, y(plot.band) - kPanelTop, kFlagged);
        out += Printf("<rect x=\"%d\" y=\"%.1f\" width=\"%.0f\" height=\"%.1f\" fill=\"%s\" fill-opacity=\"0.12\"/>\n",
                      kLeft, y(-plot.band), width, kPanelTop + kPanelHeight - y(-plot.band), kFlagged);
        for (const double edge : {plot.band, -plot.band})
            out += Printf("<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"%s\" stroke-dasharray=\"6 4\"/>\n",
                          kLeft, y(edge), kRight, y(edge), kFlagged);
        out += Text(kRight, y(plot.band) - 4, Printf("flag band ±%.2f", plot.band), "end", 11);
    }
    // Ticks on the z axis.
    const double step = TickStep(top);
    for (double t = -std::floor(top / step) * step; t <= top + 1e-9; t += step) {
        out += Printf("<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"#000\"/>\n", kLeft - 4, y(t), kLeft,
                      y(t));
        out += Text(kLeft - 8, y(t) + 4, Printf("%g", std::fabs(t) < 1e-12 ? 0.0 : t), "end", 11);
    }
    // The bars: one per face, or past kMaxBars one per pixel column spanning its faces.
    const int columns = std::min(v, kMaxBars < v ? static_cast<int>(width) : v);
    for (int c = 0; c < columns; ++c) {
        const int first = static_cast<int>(static_cast<long long>(c) * v / columns);
        const int last = std::max(first + 1, static_cast<int>(static_cast<long long>(c + 1) * v / columns));
        double low = 0, high = 0;
        bool flagged = false;
        for (int i = first; i < last; ++i) {
            low = std::min(low, plot.z[static_cast<size_t>(i)]);
            high = std::max(high, plot.z[static_cast<size_t>(i)]);
            flagged |= std::fabs(plot.z[static_cast<size_t>(i)]) > plot.band;
        }
        const double slot = width / columns;
        const double barWidth = columns == v && slot > 3 ? slot * 0.8 : slot;
        out += Printf("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"%s\"/>\n",
                      kLeft + c * slot + (slot - barWidth) / 2, y(high), barWidth, std::max(y(low) - y(high), 0.5),
                      flagged ? kFlagged : kBar);
    }
    // Axes and the face numbers under the first, the last and a few between.
    out += Printf("<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"#000\"/>\n", kLeft, mid, kRight, mid);
    out += Printf("<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#000\"/>\n", kLeft, kPanelTop, kLeft,
                  kPanelTop + kPanelHeight);
    const int labels = std::min(v, 10);
    for (int k = 0; k < labels; ++k) {
        const int face = labels == 1 ? 1 : 1 + static_cast<int>(static_cast<long long>(k) * (v - 1) / (labels - 1));
        const double x = kLeft + (face - 0.5) * width / v;
        out += Text(x, kPanelTop + kPanelHeight + 16, std::to_string(face), "middle", 11);
    }
    out += Text((kLeft + kRight) / 2.0, kPanelTop + kPanelHeight + 34, "face", "middle");
    return out;
}

std::string RepeatPanel(const PlotData& plot, int top)
{
    const int size = 300, left = kLeft;
    auto x = [&](double u) { return left + u * size; };
    auto y = [&](double p) { return top + (1 - p) * size; };
    std::string out = Text(left, top - 10, "sorted p-values of the repeated checks against the diagonal");
    out += Printf("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" stroke=\"#000\"/>\n", left, top,
                  size, size);
    out += Printf("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#888\" stroke-dasharray=\"4 3\"/>\n",
                  x(0), y(0), x(1), y(1));
    for (const double t : {0.0, 0.5, 1.0}) {
        out += Text(left - 8, y(t) + 4, Printf("%g", t), "end", 11);
        out += Text(x(t), top + size + 16, Printf("%g", t), "middle", 11);
    }
    out += Text(x(0.5), top + size + 34, "expected for a fair generator", "middle");
    int legend = 0;
    for (size_t s = 0; s < plot.repeats.size(); ++s) {
        const PlotSeries& series = plot.repeats[s];
        const char* colour = kSeriesColours[s % std::size(kSeriesColours)];
        std::vector<double> p = series.pValues;
        std::sort(p.begin(), p.end());
        const double k = static_cast<double>(p.size());
        for (size_t i = 0; i < p.size(); ++i)
            out += Printf("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"3\" fill=\"%s\"/>\n", x((static_cast<double>(i) + 0.5) / k),
                          y(std::clamp(p[i], 0.0, 1.0)), colour);
        const double ly = top + 20 + 22 * legend++;
        out += Printf("<circle cx=\"%d\" cy=\"%.1f\" r=\"5\" fill=\"%s\"/>\n", left + size + 30, ly - 4, colour);
        out += Text(left + size + 42, ly, series.name + ": " + series.verdict);
    }
    return out;
}

} // namespace

std::string PlotSvg(const PlotData& plot)
{
    const int repeatTop = kPanelTop + kPanelHeight + 90;
    const int height = plot.repeats.empty() ? kPanelTop + kPanelHeight + 50 : repeatTop + 300 + 50;
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += Printf("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                  "font-family=\"sans-serif\">\n",
                  kWidth, height, kWidth, height);
    out += "<title>" + Escape(plot.title) + "</title>\n";
    out += Printf("<rect width=\"%d\" height=\"%d\" fill=\"#fff\"/>\n", kWidth, height);
    out += Text(kLeft, 22, plot.title, "start", 15);
    out += FacePanel(plot);
    if (!plot.repeats.empty())
        out += RepeatPanel(plot, repeatTop);
    return out + "</svg>\n";
}
