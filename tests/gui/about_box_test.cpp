#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTimer>

#include "gui/gui_fixture.h"
#include "platform/qt/qt_about_box.h"
#include "platform/qt/qt_artwork.h"
#include "platform/qt/qt_skin.h"
#include "resources/about_template.h"
#include "resources/artwork.h"

namespace ressona {
namespace {

// Runs `inspect` on the modal dialog that `show` opens, then lets it close.
template <typename Show, typename Inspect>
bool inspectModal(Show show, Inspect inspect) {
    bool inspected = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        inspected = true;
        inspect(*modal);
    });
    show();
    return inspected;
}

TEST(AboutBoxTest, ShowsTheProgramsLinesThatFitTheirBoxes) {
    const DialogWidgets about = buildAboutBox();
    EXPECT_EQ(about.window->windowTitle(), "About Ressona");
    QStringList texts;
    for (QWidget* control : about.controls) {
        EXPECT_EQ(testing::captionTrouble(*control).toStdString(), "");
        if (auto* label = qobject_cast<QLabel*>(control); label && !label->text().isEmpty()) {
            texts << label->text();
        }
    }
    EXPECT_EQ(texts.size(), 4);
    EXPECT_TRUE(texts.contains("Ressona"));
    EXPECT_TRUE(texts.contains("Version 4.02"));
    auto* ok = qobject_cast<QPushButton*>(about.controls.back());
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    auto* icon = qobject_cast<QLabel*>(about.controls.front());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
}

TEST(AboutBoxTest, IsModalAndEndsWithOk) {
    QString title;
    EXPECT_TRUE(inspectModal([] { showQtAbout(); },
                             [&](QWidget& modal) {
                                 title = modal.windowTitle();
                                 for (auto* button : modal.findChildren<QPushButton*>()) {
                                     if (button->text() == "OK") button->click();
                                 }
                             }));
    EXPECT_EQ(title, "About Ressona");
}

TEST(MessageBoxTest, ShowsTitleAndTextModally) {
    QString title, text;
    EXPECT_TRUE(inspectModal([] { showQtMessage("Ressona: Error", "Error 10"); },
                             [&](QWidget& modal) {
                                 auto& box = static_cast<QMessageBox&>(modal);
                                 title = box.windowTitle();
                                 text = box.text();
                                 box.button(QMessageBox::Ok)->click();
                             }));
    EXPECT_EQ(title, "Ressona: Error");
    EXPECT_EQ(text, "Error 10");
}

TEST(ArtworkTest, TheLogoIsASixteenColourTraceAboveTheName) {
    const QImage logo = logoImage();
    ASSERT_EQ(logo.size(), QSize(81, 74));
    QSet<QRgb> colours;
    int traceRows = 0;
    int nameRows = 0;
    for (int y = 0; y < logo.height(); ++y) {
        bool yellow = false, white = false;
        for (int x = 0; x < logo.width(); ++x) {
            const QRgb pixel = logo.pixel(x, y);
            colours.insert(pixel);
            yellow |= pixel == qRgb(255, 255, 0);
            white |= pixel == qRgb(255, 255, 255);
        }
        if (yellow) {
            ++traceRows;
            EXPECT_LT(y, artwork::kLogoTraceBottom);
        }
        if (white) {
            ++nameRows;
            EXPECT_GE(y, artwork::kLogoTraceBottom);
        }
    }
    EXPECT_LE(colours.size(), 16);
    EXPECT_GT(traceRows, 30);  // the ring swings over most of the upper part
    EXPECT_GT(nameRows, 8);
}

TEST(ArtworkTest, TheTraceIsSilentThenPeaksThenDecays) {
    const std::vector<artwork::Point> trace = artwork::impulseTrace(0, 99, 50, 40);
    ASSERT_EQ(trace.size(), 100u);
    EXPECT_EQ(trace.front().y, 50);
    const auto peak = std::min_element(trace.begin(), trace.end(),
                                       [](const auto& a, const auto& b) { return a.y < b.y; });
    EXPECT_EQ(peak->y, 10);
    EXPECT_NEAR(peak->x, 18, 1);
    EXPECT_LE(std::abs(trace.back().y - 50), 2);
    for (int side : artwork::kIconSizes) {
        for (const artwork::Point& p : artwork::iconTrace(side)) {
            EXPECT_TRUE(p.x >= 0 && p.x < side && p.y >= 0 && p.y < side) << side;
        }
        EXPECT_EQ(iconImage(side).size(), QSize(side, side));
    }
    EXPECT_EQ(programIcon().availableSizes().size(), 3);
}

}  // namespace
}  // namespace ressona
