// SPDX-License-Identifier: GPL-2.0-or-later
// The skinned slider and the two-thumb range control, driven with synthetic mouse events: how a
// press maps to a value, what a drag may change, where the thumbs may go, and the pictures.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>

#include "ui/range_select.h"
#include "ui/skin.h"
#include "ui/skin_slider.h"

namespace rizuvira::ui {
namespace {

TEST(SkinSliderTest, APressMapsXIntoTheRangeAndEveryMoveWhileCapturedReportsIt) {
    SkinSlider slider;
    slider.resize(200, 20);
    slider.SetRange(0, 1000);
    slider.show();
    QSignalSpy changing(&slider, &SkinSlider::valueChanging);
    QSignalSpy released(&slider, &SkinSlider::released);

    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(50, 10));
    ASSERT_EQ(changing.count(), 1);
    EXPECT_EQ(changing.takeFirst().front().toInt(), 250);
    EXPECT_TRUE(slider.dragging());
    // Beyond the right end the value stops at the maximum; the end mark follows the value.
    QTest::mouseMove(&slider, QPoint(260, 10));
    ASSERT_EQ(changing.count(), 1);
    EXPECT_EQ(changing.takeFirst().front().toInt(), 1000);
    EXPECT_EQ(slider.end_mark(), 1000);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(100, 10));
    ASSERT_EQ(released.count(), 1);
    EXPECT_FALSE(slider.dragging());
    // A move without the button captures nothing.
    QTest::mouseMove(&slider, QPoint(20, 10));
    EXPECT_EQ(changing.count(), 0);
}

TEST(SkinSliderTest, SettingTheValueOrTheMarksWhileTheUserDragsHasNoEffect) {
    SkinSlider slider;
    slider.resize(200, 20);
    slider.SetMode(SkinSlider::Mode::kSeparateMarks);
    slider.SetRange(0, 1000);
    slider.SetMarks(100, 900);
    slider.show();
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(100, 10));
    slider.SetValue(10);
    slider.SetMarks(0, 1000);
    EXPECT_EQ(slider.value(), 500);
    EXPECT_EQ(slider.start_mark(), 100);
    EXPECT_EQ(slider.end_mark(), 900);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(100, 10));
    // Once released the timer's value lands; a negative mark keeps that mark, and in the
    // separate-marks mode the end mark does not follow the value.
    slider.SetValue(10);
    slider.SetMarks(-1, 700);
    EXPECT_EQ(slider.value(), 10);
    EXPECT_EQ(slider.start_mark(), 100);
    EXPECT_EQ(slider.end_mark(), 700);
}

TEST(SkinSliderTest, PicturesSizeTheControlAndTheThumbStandsWhereTheValueSays) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("skin_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto write = [&](const char* name, QSize size, QColor colour) {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(QString::fromStdString((folder / name).string())));
    };
    write("track.png", QSize(300, 20), Qt::blue);
    write("fill.png", QSize(300, 20), Qt::green);
    write("thumb.png", QSize(20, 20), Qt::red);
    SetSkinFolder(QString::fromStdString(folder.string()));
    SkinSlider slider;
    slider.SetRange(0, 100);
    slider.SetPictures("track.png", "fill.png", "thumb.png");
    slider.SetValue(50);
    SetSkinFolder(QString());
    std::filesystem::remove_all(folder);
    EXPECT_EQ(slider.size(), QSize(300, 20));

    const QImage shown = slider.grab().toImage();
    // Thumb at (300 - 20) * 50 / 100 = 140; the fill from 0 to 150, the track after it.
    EXPECT_EQ(QColor(shown.pixel(145, 10)), QColor(Qt::red));
    EXPECT_EQ(QColor(shown.pixel(100, 10)), QColor(Qt::green));
    EXPECT_EQ(QColor(shown.pixel(200, 10)), QColor(Qt::blue));
}

class RangeSelectTest : public ::testing::Test {
protected:
    void SetUp() override {
        range_.resize(218, 18);
        range_.show();
    }
    void Drag(double from_fraction, int to_x) {
        const int from = range_.ThumbCentre(from_fraction);
        QTest::mousePress(&range_, Qt::LeftButton, {}, QPoint(from, 9));
        QTest::mouseMove(&range_, QPoint(to_x, 9));
        QTest::mouseRelease(&range_, Qt::LeftButton, {}, QPoint(to_x, 9));
    }
    RangeSelect range_;
};

TEST_F(RangeSelectTest, ThumbsStayInsideTheTrackAndCannotCross) {
    range_.SetFractions(0.25, 0.75);
    QSignalSpy moved(&range_, &RangeSelect::rangeChanging);
    // The start thumb dragged far past the end thumb stops on it.
    Drag(0.25, 210);
    EXPECT_DOUBLE_EQ(range_.start_fraction(), 0.75);
    ASSERT_FALSE(moved.isEmpty());
    EXPECT_EQ(moved.last().at(0).toInt(), 750);
    EXPECT_EQ(moved.last().at(1).toInt(), 750);
    // The thumbs now overlap: a move to the left takes the start thumb, and beyond the track's
    // start it stops half a thumb in.
    Drag(0.75, -40);
    EXPECT_DOUBLE_EQ(range_.start_fraction(), 0.0);
    EXPECT_DOUBLE_EQ(range_.end_fraction(), 0.75);
    // The end thumb cannot go before the start thumb.
    range_.SetFractions(0.5, -1);
    Drag(0.75, 0);
    EXPECT_DOUBLE_EQ(range_.end_fraction(), 0.5);
    // A press away from both thumbs moves nothing.
    moved.clear();
    QTest::mousePress(&range_, Qt::LeftButton, {}, QPoint(range_.ThumbCentre(0.25), 9));
    QTest::mouseMove(&range_, QPoint(range_.ThumbCentre(0.1), 9));
    QTest::mouseRelease(&range_, Qt::LeftButton, {}, QPoint(range_.ThumbCentre(0.1), 9));
    EXPECT_TRUE(moved.isEmpty());
}

TEST_F(RangeSelectTest, PositionsAreTheRangeTimesTheFractionTruncated) {
    range_.SetRange(999);
    // The thumbs' centres span width - thumb width = 200 pixels: 3 pixels in is 0.015.
    Drag(0.0, range_.ThumbCentre(0.0) + 3);
    EXPECT_DOUBLE_EQ(range_.start_fraction(), 0.015);
    EXPECT_EQ(range_.start_position(), 14);  // 14.985
    EXPECT_EQ(range_.end_position(), 999);
}

}  // namespace
}  // namespace rizuvira::ui
