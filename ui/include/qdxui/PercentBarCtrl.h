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
// SendMessage with the same numbers and results (see <qdxui/UiTypes.h>). A position change repaints only
// when the edge of the filled part moves by at least one pixel, and each paint is drawn off
// screen and copied to the widget in one go, so a bar that is updated often does not flicker.
#pragma once

#include <qdxui/PercentBar.h>
#include <qdxui/UiTypes.h>

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

    // Dispatches one of the messages listed in <qdxui/UiTypes.h>, with the platform's arguments
    // and results; unknown messages return 0.
    LRESULT SendMessage(unsigned message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Set a colour (CLR_DEFAULT for the default) and return the old one; repaint.
    //   bar: default the palette's highlight colour; background: the palette's base colour;
    //   text: default the opposite part's colour.
    COLORREF SetBarColour(COLORREF colour);
    COLORREF SetBgColour(COLORREF colour);
    COLORREF SetTextColour(COLORREF colour);
    COLORREF GetBarColour() const { return m_bar.GetBarColour(); }
    COLORREF GetBgColour() const { return m_bar.GetBgColour(); }
    COLORREF GetTextColour() const { return m_bar.GetTextColour(); }

    // Whether any text is drawn (1) or none (0); repaints when the flag changes.
    void SetShowText(int flag);
    int GetShowText() const { return m_bar.GetShowText(); }

    // Decimals of the percentage; 0 or less shows whole percents. Repaints.
    void SetPrecision(int decimals);
    int GetPrecision() const { return m_bar.GetPrecision(); }

    // The style bits given to Create or SetStyle (PBS_SMOOTH, PBS_VERTICAL).
    void SetStyle(unsigned style);
    unsigned GetStyle() const { return m_style; }
    int GetDlgCtrlID() const { return m_id; }

    // WM_SETTEXT / WM_GETTEXT: the bar's own text (null or "" brings the percentage back).
    void SetWindowText(const char* newText) { SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(newText)); }
    std::string GetWindowText() const { return m_bar.GetText(); }

    // The position and the range, as PBM_GETPOS and PBM_GETRANGE give them.
    int GetPos() const { return m_bar.GetPos(); }
    int GetRangeMin() const { return m_bar.GetRangeMin(); }
    int GetRangeMax() const { return m_bar.GetRangeMax(); }

    // The text the bar draws at the current position: its own text, else the percentage.
    std::string DisplayText() const { return m_bar.DisplayText(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LRESULT SetPos(int newPos);
    LRESULT OnSetText(const char* newText);
    LRESULT OnGetText(WPARAM size, char* buffer) const;

    CPercentBar m_bar;
    unsigned m_style = PBS_SMOOTH;
    int m_id = 0;
};
