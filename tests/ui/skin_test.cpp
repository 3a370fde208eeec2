// SPDX-License-Identifier: GPL-2.0-or-later
// The skinned controls: frames cut from one picture, the plain look when a
// picture is missing, rounded percentages, dragging a window by its face,
// and the pictures the painter draws for every window.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include "ui/skin.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"
#include "ui/small_windows.h"

namespace rizuvira::ui {
namespace {

// Writes a picture of `frames` equal frames, each filled with its own grey.
void WriteFrames(const QString& path, int width, int height, int frames) {
    QImage image(width, height, QImage::Format_ARGB32);
    QPainter painter(&image);
    for (int i = 0; i < frames; ++i)
        painter.fillRect(i * width / frames, 0, width / frames, height,
                         QColor(i * 60, i * 60, i * 60));
    painter.end();
    ASSERT_TRUE(image.save(path));
}

class SkinTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        SetSkinFolder(folder_.path());
    }
    void TearDown() override { SetSkinFolder({}); }
    QString Path(const char* name) const { return QDir(folder_.path()).filePath(name); }

    QTemporaryDir folder_;
};

constexpr skin::Place kPlaces[] = {{"play.png", 30, 40}, {"ok2.png", 5, 6}};

TEST_F(SkinTest, AButtonIsOneFrameOfItsPictureOrPlainWithout) {
    WriteFrames(Path("play.png"), 400, 30, 4);
    QWidget window;
    SkinButton button("play.png", kPlaces, &window);
    EXPECT_TRUE(button.skinned());
    EXPECT_EQ(button.geometry(), QRect(30, 40, 100, 30));
    window.show();
    EXPECT_EQ(button.Frame(), 0);
    button.SetCurrent(true);
    EXPECT_EQ(button.Frame(), 2);
    button.SetCurrent(false);
    button.setEnabled(false);
    EXPECT_EQ(button.Frame(), 3);
    // The drawn button is the disabled frame, grey 180.
    EXPECT_EQ(button.grab().toImage().pixelColor(50, 15), QColor(180, 180, 180));

    // Without its picture a button keeps the plain look at its place.
    SkinButton plain("ok2.png", kPlaces, &window);
    EXPECT_FALSE(plain.skinned());
    EXPECT_EQ(plain.text(), "OK");
    EXPECT_EQ(plain.geometry(), QRect(5, 6, 76, 28));
}

TEST_F(SkinTest, ProgressRoundsHalvesUp) {
    SkinProgress bar("progress1.png");
    bar.setRange(0, 1000);
    bar.setValue(333);
    EXPECT_EQ(bar.text(), "33%");
    bar.setValue(335);
    EXPECT_EQ(bar.text(), "34%");
    bar.setValue(1000);
    EXPECT_EQ(bar.text(), "100%");
}

// At half way the percentage straddles the fill's edge: its left part is
// written light on the fill, its right part dark on the white.
TEST_F(SkinTest, ThePercentageReadsOverTheFillAndOverTheWhite) {
    QImage fill(8, 18, QImage::Format_ARGB32);
    fill.fill(QColor(0x31, 0x6a, 0xc5));
    ASSERT_TRUE(fill.save(Path("progress1.png")));
    SkinProgress bar("progress1.png");
    bar.setRange(0, 1000);
    bar.setValue(500);
    bar.resize(200, 18);
    const QImage shown = bar.grab().toImage();
    const int dpr = qRound(shown.devicePixelRatio());
    int light_on_fill = 0, dark_on_white = 0;
    for (int y = 2; y < 16; ++y) {
        for (int x = 70; x < 100; ++x)
            light_on_fill += shown.pixelColor(x * dpr, y * dpr).lightness() > 200;
        for (int x = 101; x < 130; ++x)
            dark_on_white += shown.pixelColor(x * dpr, y * dpr).lightness() < 110;
    }
    EXPECT_GT(light_on_fill, 5);
    EXPECT_GT(dark_on_white, 5);
}

TEST_F(SkinTest, ASkinnedWindowTakesItsPictureSizeAndIsDraggedByItsFace) {
    WriteFrames(Path("about.png"), 300, 200, 1);
    const skin::WindowArt art{"about.png", 640, 480, 0, nullptr, {}, {}, {}};
    QWidget window;
    ASSERT_TRUE(SkinWindow(&window, art));
    EXPECT_EQ(window.size(), QSize(300, 200));
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    window.move(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseMove(&window, QPoint(50, 45));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(50, 45));
    EXPECT_EQ(window.pos() - start, QPoint(30, 25));

    // Without the picture: the description's size, with the system frame.
    QWidget plain;
    const skin::WindowArt missing{"missing.png", 640, 480, 0, nullptr, {}, {}, {}};
    EXPECT_FALSE(SkinWindow(&plain, missing));
    EXPECT_EQ(plain.size(), QSize(640, 480));
    EXPECT_FALSE(plain.windowFlags() & Qt::FramelessWindowHint);
}

// Every picture the windows name is drawn, and its twice-sized copy is
// exactly twice as large.
TEST(SkinPainter, DrawsEveryPictureAtOnceAndTwiceTheSize) {
    const QDir skin(QStringLiteral(RIZUVIRA_SKIN_DIR));
    auto check = [&](const char* file, int width, int height) {
        const QString name = QString::fromUtf8(file);
        const QImage once(skin.filePath(name));
        const int dot = name.lastIndexOf('.');
        const QImage twice(skin.filePath(name.left(dot) + "@2x" + name.mid(dot)));
        EXPECT_EQ(once.size(), QSize(width, height)) << file;
        EXPECT_EQ(twice.size(), QSize(2 * width, 2 * height)) << file;
    };
    for (const skin::ButtonArt& art : skin::kButtons) check(art.file, 4 * art.width, art.height);
    for (const skin::WindowArt* art :
         {&skin::main_window::kArt, &skin::conversion_window::kArt, &skin::about_window::kArt,
          &skin::finished_window::kArt, &skin::editor_window::kArt, &skin::preferences_window::kArt,
          &skin::settings_window::kArt, &skin::properties_window::kArt, &skin::message_box::kArt,
          &skin::shutdown_window::kArt}) {
        check(art->file, art->width, art->height);
        for (const skin::Place& place : art->buttons) {
            const skin::ButtonArt* button = skin::FindButton(place.file);
            ASSERT_NE(button, nullptr) << place.file;
            EXPECT_LE(place.x + button->width, art->width) << place.file;
            EXPECT_LE(place.y + button->height, art->height) << place.file;
        }
    }
    check("starup.jpg", skin::splash::kWidth, skin::splash::kHeight);
    check("thumb.png", skin::kThumbWidth, skin::kThumbHeight);
    for (const char* mark : skin::message_box::kMarks)
        check(mark, skin::message_box::kMarkSize, skin::message_box::kMarkSize);

    // The splash is that picture with the name written on it; without the
    // picture there is no splash.
    const std::unique_ptr<QSplashScreen> splash = MakeSplash("Name", "1.0");
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->pixmap().deviceIndependentSize().toSize(),
              QSize(skin::splash::kWidth, skin::splash::kHeight));
    QTemporaryDir empty;
    SetSkinFolder(empty.path());
    EXPECT_EQ(MakeSplash("Name", "1.0"), nullptr);
    SetSkinFolder({});
}

}  // namespace
}  // namespace rizuvira::ui
