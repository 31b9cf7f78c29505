#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>

#include "gui/gui_fixture.h"
#include "platform/qt/qt_plot_shell.h"

namespace ressona {
namespace {

using testing::takePosted;

constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kBlue = 0xff0000ff;

class PlotShellTest : public ::testing::Test {
protected:
    PlotShellTest() {
        picture.fill(kRed);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = picture.width() / 2; x < picture.width(); ++x)
                picture.setPixel(x, y, kBlue);
        }
        shell.setImageSource([this] {
            return PixelView{reinterpret_cast<const std::uint32_t*>(picture.constBits()),
                             picture.width(), picture.height(),
                             static_cast<int>(picture.bytesPerLine())};
        });
    }
    QImage shown() const {
        return shell.window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    MessageQueue queue;
    WindowHandle plotWindow = testing::quietWindow(queue, "TimePlot");
    QImage picture{40, 30, QImage::Format_RGB32};  // left half red, right half blue
    QtPlotShell shell{queue, plotWindow};
};

TEST_F(PlotShellTest, ShowsThePictureOneToOneOrStretchedUntilTheNextDraw) {
    shell.setGeometry(10, 20, 40, 30);
    EXPECT_EQ(shell.clientWidth(), 40);
    EXPECT_EQ(shell.clientHeight(), 30);
    QImage image = shown();
    EXPECT_EQ(image.pixel(19, 15), kRed);
    EXPECT_EQ(image.pixel(20, 15), kBlue);

    shell.setGeometry(10, 20, 80, 60);  // the window grew; the picture did not
    image = shown();
    EXPECT_EQ(image.pixel(39, 59), kRed);
    EXPECT_EQ(image.pixel(41, 0), kBlue);
    EXPECT_EQ(image.pixel(79, 59), kBlue);

    shell.setImageSource({});
    EXPECT_EQ(shown().pixel(5, 5), 0xff000000);
}

TEST_F(PlotShellTest, MouseSizeAndCloseBecomeMessagesToTheWindow) {
    shell.setGeometry(0, 0, 200, 100);
    shell.setTitle("Time Domain - Ressona");
    shell.show();
    EXPECT_EQ(shell.window()->windowTitle(), "Time Domain - Ressona");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shell.window()));
    takePosted(queue);

    QMouseEvent move(QEvent::MouseMove, QPointF(30, 40), QPointF(30, 40), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(shell.window(), &move);
    shell.window()->resize(300, 150);
    QCloseEvent close;
    QCoreApplication::sendEvent(shell.window(), &close);
    EXPECT_TRUE(shell.window()->isVisible());
    EXPECT_EQ(takePosted(queue),
              (std::vector<Message>{{plotWindow, WM_MOUSEMOVE, 0x0001, 30 | (40 << 16)},
                                    {plotWindow, WM_SIZE, 0, 300 | (150 << 16)},
                                    {plotWindow, WM_SYSCOMMAND, SC_CLOSE, 0}}));
    shell.setCursorShape(PlotCursor::Cross);
    EXPECT_EQ(shell.window()->cursor().shape(), Qt::CrossCursor);
    shell.hide();
    EXPECT_FALSE(shell.window()->isVisible());
}

}  // namespace
}  // namespace ressona
