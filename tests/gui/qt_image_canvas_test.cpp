#include "platform/qt/qt_image_canvas.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace ressona {
namespace {

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kRed{255, 0, 0};
constexpr Colour kGreen{0, 255, 0};
constexpr Colour kGrey{192, 192, 192};

TEST(QtImageCanvas, RectanglesCoverLeftToRightMinusOneAndStartBlack) {
    QtImageCanvas canvas(20, 10);
    EXPECT_EQ(canvas.pixel(5, 5), kBlack);
    canvas.fillRect(Rect{2, 2, 6, 5}, Brush{kGrey});
    EXPECT_EQ(canvas.pixel(2, 2), kGrey);
    EXPECT_EQ(canvas.pixel(5, 4), kGrey);
    EXPECT_EQ(canvas.pixel(6, 4), kBlack);
    EXPECT_EQ(canvas.pixel(5, 5), kBlack);

    canvas.selectPen(Pen{PenStyle::Solid, 1, kRed});
    canvas.selectBrush(Brush{kGreen});
    canvas.rectangle(Rect{10, 1, 16, 8});
    EXPECT_EQ(canvas.pixel(10, 1), kRed);  // outline on the first column and row ...
    EXPECT_EQ(canvas.pixel(15, 7), kRed);  // ... and on right - 1, bottom - 1
    EXPECT_EQ(canvas.pixel(16, 7), kBlack);
    EXPECT_EQ(canvas.pixel(12, 4), kGreen);  // the interior
}

// Solid rectangles are painted by the canvas itself; the painter's own
// rectangle (what dotted outlines still get) must give the same pixels,
// whether the rectangle is thin, small or reaches beyond the image.
TEST(QtImageCanvas, SolidRectanglesPaintWhatThePainterPaints) {
    const std::vector<Rect> rects{{2, 2, 4, 4},   {1, 3, 3, 12},   {5, 5, 8, 8},
                                  {0, 0, 40, 30}, {-5, -3, 12, 9}, {30, 20, 50, 40},
                                  {10, 4, 39, 6}, {-2, 8, 41, 29}};
    for (const Rect& r : rects) {
        QtImageCanvas canvas(40, 30);
        canvas.selectPen(Pen{PenStyle::Solid, 1, kRed});
        canvas.selectBrush(Brush{kGreen});
        canvas.rectangle(r);

        QImage expected(40, 30, QImage::Format_RGB32);
        expected.fill(Qt::black);
        QPainter painter(&expected);
        QPen pen(QColor(255, 0, 0));
        pen.setWidth(0);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.setBrush(QColor(0, 255, 0));
        painter.drawRect(QRect(r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1));
        painter.end();
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 40; ++x) {
                const QRgb want = expected.pixel(x, y);
                ASSERT_EQ(canvas.pixel(x, y),
                          (Colour{std::uint8_t(qRed(want)), std::uint8_t(qGreen(want)),
                                  std::uint8_t(qBlue(want))}))
                    << "rectangle " << r.left << "," << r.top << "," << r.right << "," << r.bottom
                    << " at " << x << "," << y;
            }
        }
    }
}

// Text sizes are kept per text once measured; many more texts than are kept
// at once still measure as the font measures them.
TEST(QtImageCanvas, TextExtentsStayTheFontsOwnPastTheKeptTexts) {
    QtImageCanvas canvas(10, 10);
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(font);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 6000; i += round == 0 ? 1 : 7) {
            const std::string text = std::to_string(i * 37) + (i % 3 == 0 ? "k" : " dB");
            const TextExtent size = canvas.textExtent(text);
            ASSERT_EQ(size.width, metrics.horizontalAdvance(QString::fromStdString(text))) << text;
            ASSERT_EQ(size.height, metrics.ascent() + metrics.descent());
        }
    }
}

TEST(QtImageCanvas, LinesAndPolygonsDrawWithoutAntialiasing) {
    QtImageCanvas canvas(30, 30);
    canvas.selectPen(Pen{PenStyle::Solid, 1, kRed});
    canvas.line({3, 3}, {20, 11});
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 30; ++x) {
            const Colour c = canvas.pixel(x, y);
            EXPECT_TRUE(c == kRed || c == kBlack) << x << "," << y;
        }
    }
    canvas.selectBrush(Brush{kGreen});
    const std::vector<PlotPoint> staircase{{5, 28},  {5, 20},  {15, 20},
                                           {15, 25}, {25, 25}, {25, 28}};
    canvas.polygon(staircase);
    EXPECT_EQ(canvas.pixel(10, 24), kGreen);  // inside the high step
    EXPECT_EQ(canvas.pixel(20, 22), kBlack);  // above the low step
    EXPECT_EQ(canvas.pixel(5, 22), kRed);     // on the outline
}

// Staircases standing on a base are filled by the canvas itself; the same
// outline started elsewhere goes to the painter's general filling. Both must
// give the same picture.
TEST(QtImageCanvas, StaircaseFillingMatchesTheGeneralFilling) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int> level(-5, 60);  // some steps leave the image
    std::uniform_int_distribution<int> width(0, 3);
    std::vector<PlotPoint> stairs{{4, 50}};
    std::int32_t x = 4, previous = 50;
    while (x < 90) {
        const std::int32_t y = level(random);
        stairs.push_back({x, previous});
        stairs.push_back({x, y});
        previous = y;
        x += width(random);
    }
    stairs.push_back({x, 50});
    std::vector<PlotPoint> rotated(stairs.begin() + 2, stairs.end());
    rotated.insert(rotated.end(), stairs.begin(), stairs.begin() + 2);

    QtImageCanvas direct(100, 60), general(100, 60);
    for (QtImageCanvas* canvas : {&direct, &general}) {
        canvas->selectPen(Pen{PenStyle::Solid, 1, kRed});
        canvas->selectBrush(Brush{kGreen});
    }
    direct.polygon(stairs);
    general.polygon(rotated);
    int green = 0;
    for (int py = 0; py < 60; ++py) {
        for (int px = 0; px < 100; ++px) {
            ASSERT_EQ(direct.pixel(px, py), general.pixel(px, py)) << px << "," << py;
            if (direct.pixel(px, py) == kGreen) ++green;
        }
    }
    EXPECT_GT(green, 500);
}

// A series of random staircases on one base, some vertices and steps off the
// image, several vertices per column, empty and one-column polygons among them.
struct Series {
    std::vector<PlotPoint> points;
    std::vector<std::size_t> sizes;
};
Series randomStaircases(std::mt19937& random, std::int32_t base, int count) {
    std::uniform_int_distribution<int> level(-8, 70);
    std::uniform_int_distribution<int> stepWidth(0, 4);
    std::uniform_int_distribution<int> startX(-10, 60);
    std::uniform_int_distribution<int> vertices(1, 3);
    Series series;
    for (int k = 0; k < count; ++k) {
        const std::size_t before = series.points.size();
        std::int32_t x = startX(random);
        const std::int32_t end = x + std::uniform_int_distribution<int>(0, 100)(random);
        series.points.push_back({x, base});
        std::int32_t previous = base;
        while (x < end) {
            series.points.push_back({x, previous});
            for (int v = vertices(random); v > 0; --v) {
                previous = std::min(level(random), base);
                series.points.push_back({x, previous});
            }
            x += stepWidth(random);
        }
        series.points.push_back({x, previous});
        series.points.push_back({x, base});
        series.sizes.push_back(series.points.size() - before);
        if (k % 7 == 3) series.sizes.push_back(0);
    }
    series.sizes.push_back(1);
    series.points.push_back({5, 5});
    return series;
}

int differingPixels(const QtImageCanvas& a, const QtImageCanvas& b) {
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) differing += a.pixel(x, y) == b.pixel(x, y) ? 0 : 1;
    }
    return differing;
}

// A series drawn as a whole must leave the picture that drawing its polygons
// one by one leaves: over a background, with bases inside, on the edge of and
// outside the image, and for series the canvas cannot take as a whole.
TEST(QtImageCanvas, PolygonSeriesPaintWhatPolygonsOneByOnePaint) {
    std::mt19937 random(17);
    for (const std::int32_t base : {50, 59, 60, 75, 0, -3}) {
        for (int round = 0; round < 20; ++round) {
            Series series = randomStaircases(random, base, 1 + round % 9);
            if (round == 18) series.points[3].y = base + 1;  // one vertex below the base
            if (round == 19) {
                series.points.push_back({1, base - 4});  // another base
                series.points.push_back({1, base - 9});
                series.points.push_back({9, base - 9});
                series.points.push_back({9, base - 4});
                series.sizes.push_back(4);
            }
            QtImageCanvas whole(100, 60), oneByOne(100, 60);
            for (QtImageCanvas* canvas : {&whole, &oneByOne}) {
                canvas->fillRect(Rect{0, 0, 100, 30}, Brush{kGrey});
                canvas->selectPen(Pen{round == 17 ? PenStyle::Dot : PenStyle::Solid, 1, kRed});
                canvas->selectBrush(Brush{kGreen});
            }
            whole.polygons(series.points, series.sizes);
            oneByOne.Canvas::polygons(series.points, series.sizes);
            ASSERT_EQ(differingPixels(whole, oneByOne), 0) << "base " << base << " round " << round;
        }
    }
}

TEST(QtImageCanvas, TextSitsAboveABottomAnchorAndBelowATopAnchor) {
    QtImageCanvas canvas(100, 60);
    canvas.fillRect(Rect{0, 0, 100, 60}, Brush{kGrey});
    canvas.setTransparentBackground(true);
    canvas.setTextColour(kBlack);
    canvas.setTextAlign(TA_BOTTOM | TA_LEFT);
    canvas.textOut(2, 30, "Hertz");
    canvas.setTextAlign(TA_TOP | TA_LEFT);
    canvas.textOut(2, 30, "dB");
    int inkAbove = 0, inkBelow = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 100; ++x) {
            if (canvas.pixel(x, y) == kBlack) (y < 30 ? inkAbove : inkBelow) += 1;
        }
    }
    EXPECT_GT(inkAbove, 10);  // a font is installed: text is not empty boxes or nothing
    EXPECT_GT(inkBelow, 5);
    for (int x = 0; x < 100; ++x) EXPECT_EQ(canvas.pixel(x, 59), kGrey);  // transparent background
}

TEST(QtImageCanvas, CopyStretchResizeAndPngRoundTrip) {
    QtImageCanvas source(10, 10);
    source.fillRect(Rect{0, 0, 5, 10}, Brush{kRed});
    QtImageCanvas window(20, 20);
    window.copyBitmap(source, 3, 3);
    EXPECT_EQ(window.pixel(3, 3), kRed);
    EXPECT_EQ(window.pixel(8, 3), kBlack);
    window.stretchBitmap(source, Rect{0, 0, 20, 20});
    EXPECT_EQ(window.pixel(9, 19), kRed);
    EXPECT_EQ(window.pixel(10, 19), kBlack);

    source.selectPen(Pen{PenStyle::Solid, 1, kGreen});
    source.resizeBitmap(30, 5);
    EXPECT_EQ(source.width(), 30);
    EXPECT_EQ(source.pixel(1, 1), kBlack);
    source.line({0, 2}, {29, 2});  // the pen survives the new bitmap
    EXPECT_EQ(source.pixel(10, 2), kGreen);

    const std::string path = ::testing::TempDir() + "canvas_round_trip.png";
    ASSERT_EQ(source.savePng(path), 0);
    QImage loaded(QString::fromStdString(path));
    ASSERT_EQ(loaded.width(), 30);
    EXPECT_EQ(QColor(loaded.pixel(10, 2)), QColor(0, 255, 0));
    std::remove(path.c_str());
    EXPECT_EQ(source.savePng("/nonexistent-directory/x.png"), 1);
}

// A background painted around the frame that is painted over it next gives
// the picture of the two rectangles painted whole, with either pen.
TEST(QtImageCanvas, ARectangleAroundItsFrameLeavesThePictureOfBoth) {
    const Rect client{0, 0, 40, 30};
    for (const Rect& frame : std::vector<Rect>{
             {5, 4, 35, 26}, {0, 0, 40, 30}, {20, 10, 21, 29}, {-3, 5, 20, 20}, {1, 1, 39, 29}}) {
        for (const PenStyle style : {PenStyle::Solid, PenStyle::Dot}) {
            QtImageCanvas whole(41, 31), around(41, 31);
            for (QtImageCanvas* canvas : {&whole, &around}) {
                canvas->selectPen(Pen{style, 1, kRed});
                canvas->selectBrush(Brush{kGrey});
            }
            whole.rectangle(client);
            around.rectangleAround(client, frame);
            for (QtImageCanvas* canvas : {&whole, &around}) {
                canvas->selectBrush(Brush{kGreen});
                canvas->rectangle(frame);
            }
            EXPECT_EQ(differingPixels(whole, around), 0)
                << "frame " << frame.left << "," << frame.top << "," << frame.right << ","
                << frame.bottom << (style == PenStyle::Dot ? ", dotted" : "");
        }
    }
}

}  // namespace
}  // namespace ressona
