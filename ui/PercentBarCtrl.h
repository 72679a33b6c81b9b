// CPercentBarCtrl: a progress bar that paints itself.
//
// The bar shows a filled part and an empty part in colours of its own, and a text centred over
// the whole bar that changes colour where it crosses the edge of the filled part: by default the
// text takes the empty part's colour over the filled part and the filled part's colour over the
// rest. The text is the bar's own text when it has one, otherwise the percentage ("50%", or
// "50.00%" with precision 2).
//
//   CPercentBarCtrl bar(parent);
//   bar.SetBarColour(RGB(0, 0xB2, 0));
//   bar.SendMessage(PBM_SETRANGE32, 0, 1000);
//   bar.SendMessage(PBM_SETPOS, 500, 0);      // half filled, "50%"
//   bar.SetWindowText("+12.34");              // shows "+12.34" instead of the percentage
//
// Every progress-bar message of the desktop platform the control first lived on is answered by
// SendMessage with the same numbers and results (see UiTypes.h). A position change repaints only
// when the edge of the filled part moves by at least one pixel, and each paint is drawn off
// screen and copied to the widget in one go, so a bar that is updated often does not flicker.
#pragma once

#include "UiTypes.h"

#include <QWidget>

#include <string>

class CPercentBarCtrl : public QWidget {
    Q_OBJECT

public:
    // A horizontal bar, range 0..100 at 0, step 1, default colours, showing its percentage.
    explicit CPercentBarCtrl(QWidget* parent = nullptr);
    ~CPercentBarCtrl() override;

    // Gives the bar its style (PBS_VERTICAL for a bottom-up bar; WS_VISIBLE shows it), places it
    // at `rect` in `parent` and takes `id` as its control id. Returns true.
    bool Create(unsigned style, const QRect& rect, QWidget* parent, int id);

    // Dispatches one of the messages listed in UiTypes.h, with the platform's arguments and
    // results; unknown messages return 0.
    LRESULT SendMessage(unsigned message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Set a colour (CLR_DEFAULT for the default) and return the old one; repaint.
    //   bar: default the palette's highlight colour; background: the palette's base colour;
    //   text: default the opposite part's colour.
    COLORREF SetBarColour(COLORREF colour);
    COLORREF SetBgColour(COLORREF colour);
    COLORREF SetTextColour(COLORREF colour);
    COLORREF GetBarColour() const { return barColour; }
    COLORREF GetBgColour() const { return bgColour; }
    COLORREF GetTextColour() const { return textColour; }

    // Whether any text is drawn (1) or none (0); repaints when the flag changes.
    void SetShowText(int flag);
    int GetShowText() const { return showText; }

    // Decimals of the percentage; 0 or less shows whole percents. Repaints.
    void SetPrecision(int decimals);
    int GetPrecision() const { return precision; }

    // The style bits given to Create or SetStyle (PBS_SMOOTH, PBS_VERTICAL).
    void SetStyle(unsigned style);
    unsigned GetStyle() const { return m_style; }
    int GetDlgCtrlID() const { return m_id; }

    // WM_SETTEXT / WM_GETTEXT: the bar's own text (null or "" brings the percentage back).
    void SetWindowText(const char* newText) { SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(newText)); }
    std::string GetWindowText() const { return text; }

    // The position and the range, as PBM_GETPOS and PBM_GETRANGE give them.
    int GetPos() const { return pos; }
    int GetRangeMin() const { return min; }
    int GetRangeMax() const { return max; }

    // The text the bar draws at the current position: its own text, else the percentage.
    std::string DisplayText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Any real change of size forgets the filled extent, so the next position change repaints.
    void resizeEvent(QResizeEvent* event) override;

private:
    LRESULT SetPos(int newPos);
    LRESULT OnSetText(const char* newText);
    LRESULT OnGetText(WPARAM size, char* buffer) const;
    COLORREF StoreColour(COLORREF& field, COLORREF colour);
    // (pos - min) / (max - min); 0 for an empty or reversed range, where nothing is drawn.
    double Fraction() const;
    // The filled part's extent in pixels over `length` pixels, trunc(fraction * length), kept
    // within +-2^28 so that positions far outside the range cannot overflow.
    static int FilledExtent(double fraction, int length);

    COLORREF textColour = CLR_DEFAULT;
    int pos = 0;
    int step = 1;
    int max = 100;
    int min = 0;
    std::string text;         // own text; empty: the percentage is shown
    int showText = 1;
    int barExtent = -1;       // filled extent at the last position change; -1: unknown
    COLORREF barColour = CLR_DEFAULT;
    COLORREF bgColour = CLR_DEFAULT;
    int precision = 0;

    unsigned m_style = PBS_SMOOTH;
    int m_id = 0;
    QSize m_extentSize;        // the size barExtent was measured at
};
