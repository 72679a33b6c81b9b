// The small vocabulary the widgets of qdxui share with their owners: colour values, the message
// numbers that CPercentBarCtrl::SendMessage dispatches, and the notification records that
// CReportListCtrl hands its owner.
//
//   COLORREF green = RGB(0x00, 0xB2, 0x00);      // 0x0000B200: red sits in the low byte
//   bar->SendMessage(PBM_SETPOS, 500, 0);         // old position
//   connect(list, &CReportListCtrl::notification, this, [](const NMHDR* header) {
//       if (header->code == LVN_BEGINLABELEDIT)
//           Edit(reinterpret_cast<const NMLVDISPINFO*>(header)->item);
//   });
//
// The numbers are those of the desktop platform the widgets first lived on, so code written
// against that platform's controls keeps working with the same constants.
#pragma once

#include <QColor>

#include <cstdint>

// --- colours ---------------------------------------------------------------------------------

// A colour value 0x00BBGGRR: red in the low byte.
typedef std::uint32_t COLORREF;

// Marks "the default colour" wherever a COLORREF is stored.
constexpr COLORREF CLR_DEFAULT = 0xFF000000u;

// RGB(r, g, b) -> 0x00BBGGRR.
constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b)
{
    return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}

// The Qt colour of a colour value (the top byte is ignored).
inline QColor ColorFromRef(COLORREF c)
{
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

// The colour value of a Qt colour.
inline COLORREF RefFromColor(const QColor& c)
{
    return RGB(static_cast<unsigned>(c.red()), static_cast<unsigned>(c.green()), static_cast<unsigned>(c.blue()));
}

// --- messages --------------------------------------------------------------------------------

typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef std::intptr_t LRESULT;

enum : unsigned {
    WM_SIZE = 0x0005,
    WM_SETTEXT = 0x000C,
    WM_GETTEXT = 0x000D,
    WM_PAINT = 0x000F,
    WM_ERASEBKGND = 0x0014,

    PBM_SETRANGE = 0x0401,    // lParam: low word min, high word max (16 bits each)
    PBM_SETPOS = 0x0402,      // wParam: new position
    PBM_DELTAPOS = 0x0403,    // wParam: delta
    PBM_SETSTEP = 0x0404,     // wParam: new step
    PBM_STEPIT = 0x0405,
    PBM_SETRANGE32 = 0x0406,  // wParam: min, lParam: max
    PBM_GETRANGE = 0x0407,    // wParam: flag, lParam: PBRANGE* or 0
    PBM_GETPOS = 0x0408,
    PBM_SETBARCOLOR = 0x0409,  // lParam: colour
    PBM_SETBKCOLOR = 0x2001,   // lParam: colour

    BPM_SETTEXTCOLOUR = 0x0464,  // lParam: colour
    BPM_SETSHOWTEXT = 0x0465,    // wParam: flag
};

// Window and progress-bar styles understood by CPercentBarCtrl.
enum : unsigned {
    PBS_SMOOTH = 0x01,
    PBS_VERTICAL = 0x04,
    WS_VISIBLE = 0x10000000u,
    WS_CHILD = 0x40000000u,
};

// The range filled in by PBM_GETRANGE.
struct PBRANGE {
    int iLow;
    int iHigh;
};

// Packs two 16-bit words into an LPARAM, as PBM_SETRANGE expects.
constexpr LPARAM MAKELPARAM(unsigned low, unsigned high)
{
    return static_cast<LPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}

// --- notifications ---------------------------------------------------------------------------

// Every notification record starts with this header.
struct NMHDR {
    void* hwndFrom;          // the sending widget (a QWidget*)
    std::uintptr_t idFrom;   // its control id
    unsigned code;           // NM_CLICK, LVN_BEGINLABELEDIT, ...
};

enum : unsigned {
    NM_CLICK = 0u - 2u,
    LVN_BEGINLABELEDIT = 0u - 105u,
};

// List-view column formats (InsertColumn).
enum : int { LVCFMT_LEFT = 0, LVCFMT_RIGHT = 1, LVCFMT_CENTER = 2 };

// The item mask bit telling that pszText and cchTextMax are filled in.
enum : unsigned { LVIF_TEXT = 0x0001 };

struct POINT {
    int x;
    int y;
};

// A list-view item as a notification describes it.
struct LVITEM {
    unsigned mask;
    int iItem;
    int iSubItem;
    unsigned state;
    unsigned stateMask;
    char* pszText;   // valid while the notification is delivered
    int cchTextMax;
    int iImage;
    LPARAM lParam;
};

// The record of NM_CLICK: the header, then fields that this list leaves zero.
struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    unsigned uNewState;
    unsigned uOldState;
    unsigned uChanged;
    POINT ptAction;
    LPARAM lParam;
    unsigned uKeyFlags;
};

// The record of LVN_BEGINLABELEDIT.
struct NMLVDISPINFO {
    NMHDR hdr;
    LVITEM item;
};

// Tooltip text requests: the tool id arrives in hdr.idFrom, the answer goes into szText.
struct NMTTDISPINFOA {
    NMHDR hdr;
    char* lpszText;
    char szText[80];
    void* hinst;
    unsigned uFlags;
    LPARAM lParam;
};

struct NMTTDISPINFOW {
    NMHDR hdr;
    wchar_t* lpszText;
    wchar_t szText[80];
    void* hinst;
    unsigned uFlags;
    LPARAM lParam;
};
