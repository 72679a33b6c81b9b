#include <qdxui/PercentBarCtrl.h>
#include <qdxtest/TestApp.h>

#include <gtest/gtest.h>

#include <QEvent>
#include <QFontMetrics>
#include <QImage>
#include <QTest>

namespace {

constexpr COLORREF kGreen = RGB(0x00, 0xB2, 0x00);
constexpr COLORREF kRed = RGB(0xFF, 0x00, 0x00);
constexpr COLORREF kYellow = RGB(0xFF, 0xFF, 0x00);
const QRgb kUntouched = qRgb(0xFF, 0x00, 0xFF);  // what render() leaves where nothing is drawn

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// Lets pending updates reach the widgets.
void Flush()
{
    QApplication::processEvents();
    QTest::qWait(20);
    QApplication::processEvents();
}

// The bar drawn into an image that was magenta before.
QImage Render(CPercentBarCtrl& bar)
{
    QImage image(bar.size(), QImage::Format_RGB32);
    image.fill(kUntouched);
    bar.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

QRgb Rgb(COLORREF c) { return ColorFromRef(c).rgb(); }

// Columns [first, last] where some pixel differs from the part colour expected at that column:
// the horizontal extent of the text.
struct Ink {
    int first = -1;
    int last = -1;
    int width() const { return first < 0 ? 0 : last - first + 1; }
    double centre() const { return (first + last) / 2.0; }
};

Ink FindInk(const QImage& image, int edge, QRgb filled, QRgb empty)
{
    Ink ink;
    for (int x = 0; x < image.width(); ++x) {
        const QRgb part = x < edge ? filled : empty;
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixel(x, y) != part) {
                if (ink.first < 0)
                    ink.first = x;
                ink.last = x;
                break;
            }
        }
    }
    return ink;
}

class PercentBarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TestApp(); }

    // The bar of the main window's result list: 200 x 30, range 0..1000, green on red.
    void MakeListBar(CPercentBarCtrl& bar)
    {
        bar.resize(200, 30);
        bar.SetBarColour(kGreen);
        bar.SetBgColour(kRed);
        bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
        bar.SendMessage(PBM_SETPOS, 500);
    }
};

TEST_F(PercentBarTest, HalfwayBarFillsLeftHalfAndWritesTextInOppositeColours)
{
    CPercentBarCtrl bar;
    MakeListBar(bar);
    EXPECT_EQ(bar.DisplayText(), "50%");
    const QImage image = Render(bar);

    // The top and bottom rows carry no text: exactly 100 filled pixels, then the empty part.
    for (int y : {0, image.height() - 1})
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(image.pixel(x, y), x < 100 ? Rgb(kGreen) : Rgb(kRed)) << "x=" << x << " y=" << y;

    // The text lies centred over the whole bar, as wide as "50%" is in the bar's font.
    const Ink ink = FindInk(image, 100, Rgb(kGreen), Rgb(kRed));
    const QRect tight = QFontMetrics(bar.font()).tightBoundingRect("50%");
    EXPECT_NEAR(ink.width(), tight.width(), 2);
    EXPECT_NEAR(ink.centre(), 99.5, 3.0);

    // Over the filled part the text is in the empty part's colour and the other way round: the
    // text pixels are blends of green and red only, red-heavy on the left, green-heavy on the right.
    int solidLeft = 0;
    int solidRight = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < 200; ++x) {
            const QColor c(image.pixel(x, y));
            ASSERT_EQ(c.blue(), 0) << "x=" << x << " y=" << y;
            if (x < 100 && image.pixel(x, y) == Rgb(kRed))
                ++solidLeft;
            if (x >= 100 && image.pixel(x, y) == Rgb(kGreen))
                ++solidRight;
        }
    }
    EXPECT_GT(solidLeft, 0);
    EXPECT_GT(solidRight, 0);
}

TEST_F(PercentBarTest, TextFollowsPrecisionOwnTextAndTextColour)
{
    CPercentBarCtrl bar;
    MakeListBar(bar);
    bar.SetPrecision(2);
    EXPECT_EQ(bar.DisplayText(), "50.00%");
    Ink ink = FindInk(Render(bar), 100, Rgb(kGreen), Rgb(kRed));
    EXPECT_NEAR(ink.width(), QFontMetrics(bar.font()).tightBoundingRect("50.00%").width(), 2);

    bar.SendMessage(PBM_SETPOS, 333);
    EXPECT_EQ(bar.DisplayText(), "33.30%");
    bar.SetPrecision(0);
    EXPECT_EQ(bar.DisplayText(), "33%");  // truncated, not rounded
    bar.SendMessage(PBM_SETPOS, 1000);
    EXPECT_EQ(bar.DisplayText(), "100%");

    // Own text replaces the percentage; an empty one brings the percentage back.
    bar.SetWindowText("+12.34");
    EXPECT_EQ(bar.DisplayText(), "+12.34");
    bar.SetWindowText("");
    EXPECT_EQ(bar.DisplayText(), "100%");

    // A text colour of its own is used on both parts.
    bar.SendMessage(PBM_SETPOS, 500);
    bar.SetTextColour(kYellow);
    const QImage image = Render(bar);
    int yellowLeft = 0;
    int yellowRight = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < 200; ++x)
            if (image.pixel(x, y) == Rgb(kYellow))
                ++(x < 100 ? yellowLeft : yellowRight);
    EXPECT_GT(yellowLeft, 0);
    EXPECT_GT(yellowRight, 0);

    // Text switched off: only the two parts.
    bar.SetShowText(0);
    ink = FindInk(Render(bar), 100, Rgb(kGreen), Rgb(kRed));
    EXPECT_EQ(ink.width(), 0);
}

TEST_F(PercentBarTest, EmptyRangeDrawsNothingAndOutOfRangePositionsAreClipped)
{
    CPercentBarCtrl bar;
    MakeListBar(bar);
    bar.SendMessage(PBM_SETRANGE32, 300, 300);
    bar.SendMessage(PBM_SETPOS, 300);  // no division by an empty range
    QImage image = Render(bar);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y), kUntouched);
    bar.SendMessage(PBM_SETRANGE32, 10, 5);
    EXPECT_EQ(Render(bar).pixel(0, 0), kUntouched);

    // Stepping at the top of the range goes past it; the whole bar is then filled.
    bar.SendMessage(PBM_SETRANGE32, 0, 1000);
    bar.SendMessage(PBM_SETPOS, 1000);
    bar.SendMessage(PBM_SETSTEP, 10);
    EXPECT_EQ(bar.SendMessage(PBM_STEPIT), 1000);
    EXPECT_EQ(bar.SendMessage(PBM_GETPOS), 1010);
    EXPECT_EQ(bar.DisplayText(), "101%");
    image = Render(bar);
    EXPECT_EQ(image.pixel(199, 0), Rgb(kGreen));
    EXPECT_EQ(image.pixel(0, 0), Rgb(kGreen));

    // Far outside the range in either direction: clipped, nothing overflows.
    bar.SendMessage(PBM_SETPOS, static_cast<WPARAM>(-2000000000));
    image = Render(bar);
    EXPECT_EQ(image.pixel(0, 0), Rgb(kRed));
    EXPECT_EQ(image.pixel(199, 29), Rgb(kRed));
    bar.SendMessage(PBM_SETPOS, 2000000000);
    EXPECT_EQ(Render(bar).pixel(0, 0), Rgb(kGreen));
}

TEST_F(PercentBarTest, VerticalBarFillsFromTheBottomWithoutText)
{
    CPercentBarCtrl bar;
    bar.SetStyle(PBS_SMOOTH | PBS_VERTICAL);
    bar.resize(30, 200);
    bar.SetBarColour(kGreen);
    bar.SetBgColour(kRed);
    bar.SetTextColour(kYellow);
    bar.SendMessage(PBM_SETRANGE32, 0, 1000);
    bar.SendMessage(PBM_SETPOS, 250);
    const QImage image = Render(bar);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(image.pixel(x, y), y >= 150 ? Rgb(kGreen) : Rgb(kRed)) << "x=" << x << " y=" << y;
}

TEST_F(PercentBarTest, DefaultColoursComeFromThePalette)
{
    CPercentBarCtrl bar;
    bar.resize(100, 20);
    bar.SendMessage(PBM_SETPOS, 50);
    bar.SetShowText(0);
    const QImage image = Render(bar);
    EXPECT_EQ(image.pixel(10, 10), bar.palette().color(QPalette::Highlight).rgb());
    EXPECT_EQ(image.pixel(90, 10), bar.palette().color(QPalette::Base).rgb());
}

TEST_F(PercentBarTest, PositionChangesRepaintOnlyWhenTheEdgeMovesAPixel)
{
    CPercentBarCtrl bar;
    MakeListBar(bar);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    PaintCounter paints(&bar);
    Flush();
    paints.count = 0;
    Flush();
    ASSERT_EQ(paints.count, 0) << "the bar settles after it is shown";

    EXPECT_EQ(bar.SendMessage(PBM_SETPOS, 501), 500);  // 100.2 px: the edge stays at 100
    Flush();
    EXPECT_EQ(paints.count, 0);
    EXPECT_EQ(bar.DisplayText(), "50%");

    EXPECT_EQ(bar.SendMessage(PBM_SETPOS, 505), 501);  // 101 px: repainted at once
    EXPECT_EQ(paints.count, 1);

    EXPECT_EQ(bar.SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(-5)), 505);  // back to 100 px
    EXPECT_EQ(paints.count, 2);

    // A resize forgets the extent, so the next position change redraws even if the extent
    // happens to be the same number.
    bar.resize(400, 30);
    Flush();
    paints.count = 0;
    bar.SendMessage(PBM_SETPOS, 250);  // 100 px of 400, the same extent as before
    EXPECT_EQ(paints.count, 1);
    EXPECT_EQ(bar.SendMessage(0x7777, 1, 1), 0);  // unknown messages are ignored
    EXPECT_EQ(paints.count, 1);
    bar.SendMessage(WM_SIZE);          // so does a size message
    bar.SendMessage(PBM_SETPOS, 251);  // still 100 px
    EXPECT_EQ(paints.count, 2);

    // Setting the same own text again does not repaint; a new one does.
    bar.SetWindowText("abc");
    Flush();
    paints.count = 0;
    bar.SetWindowText("abc");
    Flush();
    EXPECT_EQ(paints.count, 0);
    bar.SetWindowText("abd");
    Flush();
    EXPECT_EQ(paints.count, 1);
}

TEST_F(PercentBarTest, MessagesAnswerWithThePlatformResults)
{
    CPercentBarCtrl bar;
    EXPECT_EQ(bar.SendMessage(WM_ERASEBKGND), 1);
    EXPECT_EQ(bar.SendMessage(PBM_GETPOS), 0);

    // Ranges: the 16-bit form takes unsigned words; both return the new maximum.
    EXPECT_EQ(bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(10, 60000)), 60000);
    EXPECT_EQ(bar.GetRangeMin(), 10);
    EXPECT_EQ(bar.SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(-50), 50), 50);
    PBRANGE range{0, 0};
    EXPECT_EQ(bar.SendMessage(PBM_GETRANGE, 1, reinterpret_cast<LPARAM>(&range)), -50);
    EXPECT_EQ(range.iLow, -50);
    EXPECT_EQ(range.iHigh, 50);
    EXPECT_EQ(bar.SendMessage(PBM_GETRANGE, 0, 0), 50);

    // Position, step and delta return the old values and do not clamp to the range.
    EXPECT_EQ(bar.SendMessage(PBM_SETPOS, 70), 0);
    EXPECT_EQ(bar.SendMessage(PBM_SETSTEP, 7), 1);
    EXPECT_EQ(bar.SendMessage(PBM_STEPIT), 70);
    EXPECT_EQ(bar.SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(-100)), 77);
    EXPECT_EQ(bar.SendMessage(PBM_GETPOS), -23);
    bar.SendMessage(PBM_SETPOS, 0x7FFFFFFF);
    bar.SendMessage(PBM_STEPIT);  // wraps instead of overflowing
    EXPECT_EQ(bar.GetPos(), static_cast<int>(0x80000006u));

    // Colours return the old value, CLR_DEFAULT first.
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(PBM_SETBARCOLOR, 0, kGreen)), CLR_DEFAULT);
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(PBM_SETBARCOLOR, 0, kRed)), kGreen);
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(PBM_SETBKCOLOR, 0, kYellow)), CLR_DEFAULT);
    EXPECT_EQ(bar.GetBgColour(), kYellow);
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(BPM_SETTEXTCOLOUR, 0, kRed)), CLR_DEFAULT);
    EXPECT_EQ(bar.GetTextColour(), kRed);
    bar.SendMessage(BPM_SETSHOWTEXT, 0);
    EXPECT_EQ(bar.GetShowText(), 0);

    // Text: set, read back cut to the buffer with its terminator, cleared by null.
    const char caption[] = "12.34";
    EXPECT_EQ(bar.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption)), 1);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(bar.SendMessage(WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 3);
    EXPECT_STREQ(buffer, "12.");
    char whole[16];
    EXPECT_EQ(bar.SendMessage(WM_GETTEXT, sizeof whole, reinterpret_cast<LPARAM>(whole)), 5);
    EXPECT_STREQ(whole, "12.34");
    EXPECT_EQ(bar.SendMessage(WM_GETTEXT, 0, reinterpret_cast<LPARAM>(whole)), 0);
    EXPECT_EQ(bar.SendMessage(WM_GETTEXT, 8, 0), 0);
    bar.SendMessage(WM_SETTEXT, 0, 0);
    EXPECT_EQ(bar.GetWindowText(), "");
}

}  // namespace
