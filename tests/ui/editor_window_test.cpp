// SPDX-License-Identifier: GPL-2.0-or-later
// The crop, trim and effect editor through the real main window on the sample disc: the page
// each command opens, the crop frame dragged with the mouse, typed times, the range control,
// Reset, Cancel, the watermark in the right picture, and OK followed by a conversion whose
// file shows the new trim, crop and watermark.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>
#include <functional>

#include "core/time_text.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"
#include "ui/conversion_window.h"
#include "ui/editor_window.h"
#include "ui/main_window.h"
#include "ui/preview_surface.h"
#include "ui/qt_helpers.h"
#include "ui/range_select.h"
#include "ui/skin_slider.h"
#include "ui/ui_driver.h"

namespace rizuvira::ui {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using app::EditorPage;
using testing::DialogWatch;
using testing::WaitFor;

QRect FromRect(const RECT& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// Mean of the grabbed widget's grey levels over `area`.
double MeanGrey(QWidget* widget, const QRect& area) {
    const QImage grey = widget->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) sum += grey.pixelColor(x, y).red();
    return sum / (area.width() * area.height());
}

// Whether any pixel of row `y` between x0 and x1 is strongly coloured (the sample's colour bars).
bool RowHasColour(QWidget* widget, int y, int x0, int x1) {
    const QImage image = widget->grab().toImage();
    for (int x = x0; x <= x1; ++x) {
        const QColor c = image.pixelColor(x, y);
        if (std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) >
            80)
            return true;
    }
    return false;
}

class EditorWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder_ / "out");
        store_.Load();
        store_.SetOutFolder((folder_ / "out").string());
        window_ = std::make_unique<MainWindow>(&messages_, &store_, &actions_);
        window_->show();
        ASSERT_TRUE(
            window_->OpenDisc(QString::fromStdString(fx::SampleDiscPath(fx::kNtscDisc.iso))));
        tree_ = window_->findChild<QTreeWidget*>("titleList");
    }
    void TearDown() override {
        window_.reset();
        fs::remove_all(folder_);
    }

    // Opens the editor in `mode` on the selected row and runs `scenario` in it; the editor is
    // cancelled afterwards unless the scenario closed it.
    void Edit(app::EditorPage page, const std::function<void(EditorWindow*)>& scenario) {
        bool ran = false;
        DialogWatch watch("editorWindow", [&](QWidget* widget) {
            auto* editor = static_cast<EditorWindow*>(widget);
            scenario(editor);
            ran = true;
            if (editor->isVisible()) editor->reject();
        });
        window_->Edit(page);
        EXPECT_TRUE(ran);
    }
    template <typename T>
    static T* Find(QWidget* in, const char* name) {
        T* widget = in->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static void WaitForPictures(EditorWindow* editor) {
        WaitFor([&] {
            return editor->left_picture()->pictures_shown() > 3 &&
                   editor->right_picture()->pictures_shown() > 3;
        });
    }
    static void TypeTime(EditorWindow* editor, const char* field, const char* apply,
                         const QString& text) {
        auto* edit = Find<QLineEdit>(editor, field);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::mouseClick(Find<QPushButton>(editor, apply), Qt::LeftButton);
    }
    static void TypeNumber(EditorWindow* editor, const char* name, int value) {
        auto* spin = Find<QSpinBox>(editor, name);
        spin->selectAll();
        QTest::keyClicks(spin, QString::number(value));
        QTest::keyClick(spin, Qt::Key_Return);
    }
    static void Drag(QWidget* widget, QPoint from, QPoint to) {
        QTest::mousePress(widget, Qt::LeftButton, {}, from);
        QTest::mouseMove(widget, (from + to) / 2);
        QTest::mouseMove(widget, to);
        QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
    }

    fs::path folder_ = fs::temp_directory_path() / ("editor_test_" + std::to_string(::getpid()));
    core::CollectedMessages messages_;
    core::SettingsStore store_{folder_ / "settings.ini"};
    testing::RecordedActions actions_;
    std::unique_ptr<MainWindow> window_;
    QTreeWidget* tree_ = nullptr;
};

TEST_F(EditorWindowTest, EachCommandOpensItsPage) {
    for (int mode : {0, 1, 2}) {
        Edit(static_cast<app::EditorPage>(mode), [&](EditorWindow* editor) {
            EXPECT_EQ(Find<QStackedWidget>(editor, "editorPages")->currentIndex(), mode);
            const char* tabs[] = {"trimTab", "cropTab", "effectTab"};
            EXPECT_TRUE(Find<QToolButton>(editor, tabs[mode])->isChecked());
            EXPECT_EQ(editor->editor().page(), static_cast<EditorPage>(mode));
        });
    }
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(EditorWindowTest, DraggingTheCropFrameChangesTheNumbersAndTheRightPicture) {
    Edit(app::EditorPage::kCrop, [&](EditorWindow* editor) {
        WaitForPictures(editor);
        ASSERT_TRUE(editor->playing());
        app::Editor& rules = editor->editor();
        // The 4:3 source fills the frame's bounds (the tee's pictures carry no display aspect;
        // letterboxed by their stored shape they showed 3:2 inside a 4:3 frame).
        EXPECT_EQ(editor->left_picture()->PictureRect(), FromRect(rules.LeftPictureRect()));

        // The top-left corner, 38 and 28 pixels in.
        const RECT frame = rules.TrackerRect();
        Drag(editor->left_picture(), QPoint(frame.left, frame.top),
             QPoint(frame.left + 38, frame.top + 28));
        EXPECT_NEAR(rules.CropRect().left, 38 * 720 / RectWidth(rules.LeftPictureRect()), 2);
        EXPECT_NEAR(rules.CropRect().top, 28 * 480 / RectHeight(rules.LeftPictureRect()), 2);
        EXPECT_EQ(Find<QSpinBox>(editor, "cropLeft")->value(), rules.CropRect().left);
        EXPECT_EQ(Find<QSpinBox>(editor, "cropTop")->value(), rules.CropRect().top);
        EXPECT_EQ(Find<QSpinBox>(editor, "cropRight")->value(), 720);

        // The inside moves the whole rectangle and keeps its size.
        const RECT before = rules.CropRect();
        const RECT moved = rules.TrackerRect();
        const QPoint middle((moved.left + moved.right) / 2, (moved.top + moved.bottom) / 2);
        Drag(editor->left_picture(), middle, middle - QPoint(20, 0));
        EXPECT_LT(rules.CropRect().left, before.left - 30);
        EXPECT_NEAR(RectWidth(rules.CropRect()), RectWidth(before), 1);
        EXPECT_EQ(rules.CropRect().top, before.top);

        // The bottom edge above the colour bars: they leave the right picture.
        PreviewSurface* right = editor->right_picture();
        const auto bars_shown = [&] {
            const QRect shown = right->PictureRect();
            return RowHasColour(right, shown.bottom() - 4, shown.left(), shown.right());
        };
        WaitFor([&] { return bars_shown(); });
        const RECT now = rules.TrackerRect();
        const int bar_top =
            rules.LeftPictureRect().top + 340 * RectHeight(rules.LeftPictureRect()) / 480;
        Drag(editor->left_picture(), QPoint((now.left + now.right) / 2, now.bottom - 1),
             QPoint((now.left + now.right) / 2, bar_top));
        EXPECT_NEAR(rules.CropRect().bottom, 340, 3);
        EXPECT_EQ(Find<QSpinBox>(editor, "cropBottom")->value(), rules.CropRect().bottom);
        WaitFor([&] { return !bars_shown(); });
    });
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(EditorWindowTest, PlayAfterPauseGoesOnWhereThePictureStopped) {
    Edit(app::EditorPage::kEffect, [&](EditorWindow* editor) {
        WaitForPictures(editor);
        double position = 0;
        WaitFor([&] { return editor->preview().GetPlayPosition(&position) && position > 1.5; });
        QTest::mouseClick(Find<QToolButton>(editor, "editorPause"), Qt::LeftButton);
        ASSERT_FALSE(editor->playing());
        ASSERT_TRUE(editor->preview().GetPlayPosition(&position));
        QTest::mouseClick(Find<QToolButton>(editor, "editorPlay"), Qt::LeftButton);
        EXPECT_TRUE(editor->playing());
        double resumed = 0;
        ASSERT_TRUE(editor->preview().GetPlayPosition(&resumed));
        EXPECT_GT(resumed, position - 0.2) << "not back at the start";
    });
}

TEST_F(EditorWindowTest, TypedTimesKeepOneSecondBetweenStartAndEnd) {
    Edit(app::EditorPage::kTrim, [&](EditorWindow* editor) {
        TypeTime(editor, "startField", "applyStartButton", "00:00:20");
        // An end before the start becomes one second after it.
        TypeTime(editor, "endField", "applyEndButton", "00:00:10");
        EXPECT_EQ(Find<QLineEdit>(editor, "endField")->text(), "00:00:21");
        EXPECT_EQ(Find<QLineEdit>(editor, "lengthField")->text(), "00:00:01");
        EXPECT_EQ(Find<SkinSlider>(editor, "timeSlider")->end_mark(),
                  21000 * 1000 / editor->editor().length_ms());
        // A start after the end becomes one second before it.
        TypeTime(editor, "startField", "applyStartButton", "00:00:40");
        EXPECT_EQ(Find<QLineEdit>(editor, "startField")->text(), "00:00:20");
        EXPECT_EQ(editor->editor().values().trim_start_ms, 20000);
        EXPECT_EQ(editor->editor().values().trim_length_ms, 1000);
    });
}

TEST_F(EditorWindowTest, TheRangeThumbsSetTheTrimThatOkKeeps) {
    Edit(app::EditorPage::kTrim, [&](EditorWindow* editor) {
        auto* range = Find<RangeSelect>(editor, "trimRange");
        Drag(range, QPoint(range->ThumbCentre(0.0), 9), QPoint(range->ThumbCentre(0.25), 9));
        Drag(range, QPoint(range->ThumbCentre(1.0), 9), QPoint(range->ThumbCentre(0.5), 9));
        const int64_t length = editor->editor().length_ms();
        const int64_t start = length * range->start_position() / 1000;
        const int64_t end = length * range->end_position() / 1000;
        EXPECT_NEAR(start, length / 4, length / 200);
        EXPECT_NEAR(end, length / 2, length / 200);
        EXPECT_EQ(editor->editor().values().trim_start_ms, start);
        EXPECT_EQ(editor->editor().values().trim_length_ms, end - start);
        EXPECT_EQ(Find<QLineEdit>(editor, "startField")->text(), Q(core::TimeText(start)));
        EXPECT_EQ(Find<QLineEdit>(editor, "endField")->text(), Q(core::TimeText(end)));
        // Mark in and out put the time slider's marks over the thumbs.
        QTest::mouseClick(Find<QToolButton>(editor, "markInButton"), Qt::LeftButton);
        QTest::mouseClick(Find<QToolButton>(editor, "markOutButton"), Qt::LeftButton);
        EXPECT_EQ(Find<SkinSlider>(editor, "timeSlider")->start_mark(), range->start_position());
        EXPECT_EQ(Find<SkinSlider>(editor, "timeSlider")->end_mark(), range->end_position());
        QTest::mouseClick(Find<QPushButton>(editor, "okButton"), Qt::LeftButton);
    });
    const core::ConvertItem& row = window_->session().item(0);
    EXPECT_NEAR(row.trim_start_ms, 15000, 300);
    EXPECT_NEAR(row.trim_length_ms, 15000, 600);
    // The list shows the row's trimmed length (it kept the title's length before).
    EXPECT_EQ(tree_->topLevelItem(0)->child(0)->text(2),
              Q(window_->session().row(0).trimmed_length));
    EXPECT_NE(tree_->topLevelItem(0)->child(0)->text(2), "00:01:00");
}

TEST_F(EditorWindowTest, ResetRestoresTheCurrentPageOnly) {
    Edit(app::EditorPage::kEffect, [&](EditorWindow* editor) {
        app::Editor& rules = editor->editor();
        auto* brightness = Find<SkinSlider>(editor, "brightnessSlider");
        QTest::mouseClick(brightness, Qt::LeftButton, {}, QPoint(brightness->width() - 1, 5));
        EXPECT_GT(rules.values().edit.brightness, 250);
        auto* volume = Find<SkinSlider>(editor, "volumeSlider");
        QTest::mouseClick(volume, Qt::LeftButton, {}, QPoint(5, 5));
        editor->ShowPage(EditorPage::kCrop);
        TypeNumber(editor, "cropLeft", 100);
        editor->ShowPage(EditorPage::kTrim);
        TypeTime(editor, "startField", "applyStartButton", "00:00:10");
        ASSERT_EQ(rules.values().trim_start_ms, 10000);

        auto* reset = Find<QPushButton>(editor, "resetButton");
        QTest::mouseClick(reset, Qt::LeftButton);
        EXPECT_EQ(rules.values().trim_start_ms, 0);
        EXPECT_EQ(rules.values().trim_length_ms, rules.length_ms());
        EXPECT_EQ(rules.values().edit.crop_left, 100);
        EXPECT_EQ(rules.values().edit.volume, 256);
        EXPECT_EQ(volume->value(), 256);

        QTest::mouseClick(Find<QToolButton>(editor, "cropTab"), Qt::LeftButton);
        QTest::mouseClick(reset, Qt::LeftButton);
        EXPECT_EQ(rules.CropRect(), (RECT{0, 0, 720, 480}));
        EXPECT_EQ(Find<QSpinBox>(editor, "cropLeft")->value(), 0);
        EXPECT_GT(rules.values().edit.brightness, 250);

        QTest::mouseClick(Find<QToolButton>(editor, "effectTab"), Qt::LeftButton);
        QTest::mouseClick(reset, Qt::LeftButton);
        EXPECT_EQ(rules.values().edit.brightness, 128);
        EXPECT_EQ(brightness->value(), 128);
    });
}

TEST_F(EditorWindowTest, CancelAndEscapeLeaveTheRowAsItWas) {
    const core::ConvertItem before = window_->session().item(0);
    auto change = [&](EditorWindow* editor) {
        auto* saturation = Find<SkinSlider>(editor, "saturationSlider");
        QTest::mouseClick(saturation, Qt::LeftButton, {}, QPoint(2, 5));
        TypeTime(editor, "startField", "applyStartButton", "00:00:10");
        editor->ShowPage(EditorPage::kWatermark);
        QTest::keyClicks(Find<QLineEdit>(editor, "watermarkText"), "Draft");
        ASSERT_LT(editor->editor().values().edit.saturation, 10);
    };
    Edit(app::EditorPage::kEffect, [&](EditorWindow* editor) {
        change(editor);
        QTest::mouseClick(Find<QPushButton>(editor, "cancelButton"), Qt::LeftButton);
    });
    Edit(app::EditorPage::kTrim, [&](EditorWindow* editor) {
        change(editor);
        QTest::keyClick(editor, Qt::Key_Escape);
        EXPECT_FALSE(editor->isVisible());
    });
    const core::ConvertItem& after = window_->session().item(0);
    EXPECT_EQ(after.trim_start_ms, before.trim_start_ms);
    EXPECT_EQ(after.trim_length_ms, before.trim_length_ms);
    EXPECT_EQ(after.edit.saturation, before.edit.saturation);
    EXPECT_EQ(window_->session().current_edit().saturation, before.edit.saturation);
    EXPECT_FALSE(window_->session().watermark().enabled());
}

TEST_F(EditorWindowTest, TheWatermarkShowsInTheRightPicture) {
    Edit(app::EditorPage::kEffect, [&](EditorWindow* editor) {
        WaitForPictures(editor);
        QTest::mouseClick(Find<QToolButton>(editor, "watermarkTab"), Qt::LeftButton);
        PreviewSurface* right = editor->right_picture();
        // The default place, 16 pixels in from the top-left corner of the 640 x 480 output,
        // against a place of the grey background at the same height.
        const auto contrast = [&] {
            const QRect shown = right->PictureRect();
            const QRect mark(shown.left() + 12, shown.top() + 12, 12, 8);
            return MeanGrey(right, mark) - MeanGrey(right, mark.translated(shown.width() / 2, 0));
        };
        EXPECT_NEAR(contrast(), 0, 8);
        QTest::keyClicks(Find<QLineEdit>(editor, "watermarkText"), "WWW");
        WaitFor([&] { return contrast() > 30; });
        // Clearing the text takes it away again.
        auto* text = Find<QLineEdit>(editor, "watermarkText");
        text->selectAll();
        QTest::keyClick(text, Qt::Key_Backspace);
        EXPECT_FALSE(editor->watermark().enabled());
        WaitFor([&] { return contrast() < 8; });
    });
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(EditorWindowTest, WithoutAPreviewTheValuesStillEditAndSave) {
    // A plain MPEG file has no disc for the preview graph to play.
    const fs::path vob = folder_ / "clip.VOB";
    fs::copy_file(fx::SampleDiscPath(fx::kNtscDisc.folder) + "/VIDEO_TS/VTS_02_1.VOB", vob);
    ASSERT_TRUE(window_->OpenDisc(QString::fromStdString(vob.string())));
    Edit(app::EditorPage::kCrop, [&](EditorWindow* editor) {
        EXPECT_FALSE(editor->preview_open());
        EXPECT_FALSE(editor->left_picture()->has_picture());
        TypeNumber(editor, "cropRight", 650);
        TypeNumber(editor, "cropLeft", 700);  // pulled back inside the right edge
        EXPECT_EQ(Find<QSpinBox>(editor, "cropLeft")->value(), 649);
        QTest::mouseClick(Find<QPushButton>(editor, "okButton"), Qt::LeftButton);
    });
    EXPECT_EQ(window_->session().current_edit().crop_left, 649);
    EXPECT_EQ(window_->session().current_edit().crop_right, 650);
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(EditorWindowTest, AutoCropsTheBlackBordersOfTheTitle) {
    ASSERT_TRUE(window_->OpenDisc(QString::fromStdString(fx::SampleDiscPath(fx::kFilmDiscIso))));
    app::DiscSession& session = window_->session();
    int row = 0;
    while (row < session.row_count() &&
           session.row(row).item.title_index != fx::kFilmLetterboxedTitle - 1)
        ++row;
    ASSERT_LT(row, session.row_count());
    session.SelectRow(row);
    Edit(app::EditorPage::kCrop, [&](EditorWindow* editor) {
        QTest::mouseClick(Find<QPushButton>(editor, "cropAuto"), Qt::LeftButton);
        EXPECT_NEAR(Find<QSpinBox>(editor, "cropLeft")->value(), fx::kFilmBars.left, 2);
        EXPECT_NEAR(Find<QSpinBox>(editor, "cropTop")->value(), fx::kFilmBars.top, 2);
        EXPECT_NEAR(Find<QSpinBox>(editor, "cropRight")->value(), fx::kFilmBars.right, 2);
        EXPECT_NEAR(Find<QSpinBox>(editor, "cropBottom")->value(), fx::kFilmBars.bottom, 2);
        QTest::mouseClick(Find<QPushButton>(editor, "okButton"), Qt::LeftButton);
    });
    EXPECT_NEAR(session.current_edit().crop_bottom, fx::kFilmBars.bottom, 2);
}

TEST_F(EditorWindowTest, OkThenStartConvertsWithTheNewTrimCropAndWatermark) {
    // A fixed frame of square pixels, which the crop fills by "Full Screen".
    core::OutputProfile fixed = window_->session().profile();
    fixed.Settings.Width = 720;
    fixed.Settings.Height = 480;
    fixed.Settings.FrameRate = 29970;
    window_->session().ReplaceProfile(fixed);
    Edit(app::EditorPage::kCrop, [&](EditorWindow* editor) {
        TypeNumber(editor, "cropLeft", 40);
        TypeNumber(editor, "cropTop", 40);
        TypeNumber(editor, "cropRight", 680);
        TypeNumber(editor, "cropBottom", 440);
        auto* zoom = Find<QComboBox>(editor, "zoomList");
        zoom->setFocus();
        QTest::keyClick(zoom, Qt::Key_Down);  // "Full Screen"
        EXPECT_EQ(editor->editor().values().edit.zoom_mode, core::kZoomFullScreen);
        QTest::mouseClick(Find<QToolButton>(editor, "trimTab"), Qt::LeftButton);
        TypeTime(editor, "startField", "applyStartButton", "00:00:50");
        TypeTime(editor, "endField", "applyEndButton", "00:00:54");
        QTest::mouseClick(Find<QToolButton>(editor, "watermarkTab"), Qt::LeftButton);
        QTest::keyClicks(Find<QLineEdit>(editor, "watermarkText"), "WWW");
        QTest::mouseClick(Find<QPushButton>(editor, "okButton"), Qt::LeftButton);
    });
    EXPECT_EQ(window_->session().watermark().text, "WWW");
    EXPECT_EQ(tree_->topLevelItem(0)->child(0)->text(2), "00:00:04");

    window_->session().CheckAll(false);
    window_->session().ClickCheck(0);
    DialogWatch running("conversionWindow", [&](QWidget* widget) {
        auto* conversion = static_cast<ConversionWindow*>(widget);
        QObject::connect(conversion, &ConversionWindow::finishedShown, conversion,
                         [](QDialog* finished) {
                             QTimer::singleShot(0, finished, [finished] {
                                 QTest::mouseClick(finished->findChild<QPushButton*>("finishedOk"),
                                                   Qt::LeftButton);
                             });
                         });
    });
    window_->Start();

    const std::string name = "Title_01" + std::string(window_->session().profile().FormatExt);
    const core::OutputSettings& settings = window_->session().profile().Settings;
    const e2e::DecodedOutput out = e2e::DecodeOutput(
        (folder_ / "out" / name).string(), 720, 480,
        {40, 40, 640, 400, 0, 0, double(settings.Width), double(settings.Height)});
    ASSERT_TRUE(out.ok) << out.error;
    ASSERT_GT(out.pictures.size(), 100u);
    // The first picture is the one at 50 s (frame 1498.5 at 29.97 fps), read through the crop.
    EXPECT_NEAR(out.pictures.front().band, 1499, 1);
    EXPECT_NEAR(out.pictures.back().time_s - out.pictures.front().time_s, 4.0, 0.1);
    // The crop fills the frame: no black bar above the picture; the watermark's box lightens
    // its corner of the last picture against the grey background beside it.
    EXPECT_GT(out.pictures.back().top_luma, fx::kBackgroundLuma - 10);
    const auto mean = [&](int x0, int y0) {
        double sum = 0;
        for (int y = y0; y < y0 + 8; ++y)
            for (int x = x0; x < x0 + 12; ++x)
                sum += out.last_luma[static_cast<size_t>(y) * out.width + x];
        return sum / 96;
    };
    EXPECT_GT(mean(20, 22) - mean(320, 22), 30);
    EXPECT_TRUE(messages_.messages.empty());
}

}  // namespace
}  // namespace rizuvira::ui
