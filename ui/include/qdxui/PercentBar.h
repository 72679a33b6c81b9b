// CPercentBar: what a percent bar shows and how it is drawn, apart from any window. The bar
// widget CPercentBarCtrl draws one of these; the report list draws one in each bar cell.
//
//   CPercentBar bar;
//   bar.SetRange(0, 1000);
//   bar.SetBarColour(RGB(0, 0xB2, 0));
//   bool moved = bar.SetPos(750, 200);       // true: the filled edge moved (150 px of 200)
//   bar.SetText("+12.34");                   // shown instead of "75%"
//   bar.Paint(painter, QRect(0, 0, 200, 18), palette);
//
// Drawing: the filled part from the left edge (from the bottom for a vertical bar) to
// trunc(width x fraction), the rest in the background colour; then, for a horizontal bar with
// its text on, the text centred over the whole bar, in the background colour over the filled
// part and in the bar colour over the rest (or in the text colour over both, when one is set).
// An empty or reversed range draws nothing.
#pragma once

#include <qdxui/UiTypes.h>

#include <QPalette>
#include <QRect>

#include <string>

class QPainter;

class CPercentBar {
public:
    // Range 0..100 at 0, step 1, default colours, horizontal, showing its percentage.
    CPercentBar() = default;

    // Sets the position; returns the old one. True in `*moved` when the edge of the filled part
    // over `length` pixels (the bar's width, its height when vertical) differs from where it
    // stood at the last change, or the length changed: only then does the picture change.
    int SetPos(int newPos, int length, bool* moved);
    int GetPos() const { return pos; }
    // Sets the range (not clamped or ordered); returns the new maximum.
    int SetRange(int low, int high);
    int GetRangeMin() const { return min; }
    int GetRangeMax() const { return max; }
    // Sets the step; returns the old one.
    int SetStep(int newStep);
    int GetStep() const { return step; }
    // Forgets where the filled edge stood (after a resize), so the next SetPos reports a move.
    void ForgetExtent() { barExtent = -1; }

    // Set a colour (CLR_DEFAULT for the default) and return the old one. Defaults: bar the
    // palette's highlight, background the palette's base, text the opposite part's colour.
    COLORREF SetBarColour(COLORREF colour) { return Store(barColour, colour); }
    COLORREF SetBgColour(COLORREF colour) { return Store(bgColour, colour); }
    COLORREF SetTextColour(COLORREF colour) { return Store(textColour, colour); }
    COLORREF GetBarColour() const { return barColour; }
    COLORREF GetBgColour() const { return bgColour; }
    COLORREF GetTextColour() const { return textColour; }

    // Whether text is drawn at all; true when the flag changed.
    bool SetShowText(int flag);
    int GetShowText() const { return showText; }
    // Decimals of the percentage (0 or less: whole percents); true when they changed.
    bool SetPrecision(int decimals);
    int GetPrecision() const { return precision; }
    // A bar that fills bottom-up and shows no text.
    void SetVertical(bool vertical) { m_vertical = vertical; }
    bool IsVertical() const { return m_vertical; }

    // The bar's own text (null or "" brings the percentage back); true when it changed.
    bool SetText(const char* newText);
    const std::string& GetText() const { return text; }

    // (pos - min) / (max - min); 0 for an empty or reversed range.
    double Fraction() const;
    // The text drawn at the current position when the text is on: the own text, else the
    // percentage ("50%", "50.00%" with precision 2).
    std::string DisplayText() const;

    // Draws the bar over `client` with the painter's font; default colours from `palette`.
    void Paint(QPainter& painter, const QRect& client, const QPalette& palette) const;

    // The filled extent over `length` pixels, trunc(fraction x length), kept within +-2^28 so
    // that positions far outside the range cannot overflow.
    static int FilledExtent(double fraction, int length);

private:
    std::string PercentText() const;
    static COLORREF Store(COLORREF& field, COLORREF colour)
    {
        const COLORREF old = field;
        field = colour;
        return old;
    }

    COLORREF textColour = CLR_DEFAULT;
    int pos = 0;
    int step = 1;
    int max = 100;
    int min = 0;
    std::string text;     // own text; empty: the percentage is shown
    int showText = 1;
    int barExtent = -1;   // filled extent at the last position change; -1: unknown
    COLORREF barColour = CLR_DEFAULT;
    COLORREF bgColour = CLR_DEFAULT;
    int precision = 0;
    bool m_vertical = false;
    int m_extentLength = -1;  // the length barExtent was measured over
};
