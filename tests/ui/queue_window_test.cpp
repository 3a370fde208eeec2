// SPDX-License-Identifier: GPL-2.0-or-later
// The queue in the desktop program: titles of two discs lined up with their
// own profiles and trims, found again after a restart, and converted one
// after the other from the queue window; the conversion options and the
// activity log window.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <memory>

#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"
#include "ui/main_window.h"
#include "ui/ui_driver.h"

namespace rizuvira::ui {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using testing::DialogWatch;

class QueueWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "out");
        store_.Load();
        store_.SetOutFolder((folder_ / "out").string());
        store_.SetSnapFolder((folder_ / "snaps").string());
        Restart();
    }
    void TearDown() override {
        window_.reset();
        fs::remove_all(folder_);
    }
    void Restart() {
        window_.reset();
        window_ = std::make_unique<MainWindow>(&messages_, &store_, &actions_);
        window_->show();
    }
    // Opens `disc`, ticks row `row` alone with profile `profile` and the trim
    // [start_ms, end_ms), and presses Add to Queue.
    void Queue(const fx::SampleDisc& disc, int row, int profile, int64_t start_ms, int64_t end_ms) {
        ASSERT_TRUE(window_->OpenDisc(QString::fromStdString(fx::SampleDiscPath(disc.iso))));
        auto* profiles = window_->findChild<QComboBox*>("profileList");
        profiles->setCurrentIndex(profiles->findData(profile));
        app::DiscSession& session = window_->session();
        session.CheckAll(false);
        session.ClickCheck(row);
        session.SelectRow(row);
        const int edited = session.BeginEdit();
        session.item(edited).trim_start_ms = start_ms;
        session.item(edited).trim_length_ms = end_ms - start_ms;
        session.EndEdit(edited);
        QTest::mouseClick(window_->findChild<QPushButton*>("addQueueButton"), Qt::LeftButton);
    }

    fs::path folder_ = fs::temp_directory_path() / ("queue_ui_" + std::to_string(::getpid()));
    core::CollectedMessages messages_;
    core::SettingsStore store_{folder_ / "config" / "settings.ini"};
    testing::RecordedActions actions_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(QueueWindowTest, TwoDiscsQueuedSurviveARestartAndConvertWithTheirOwnSettings) {
    Queue(fx::kNtscDisc, 1, 1, 1000, 3000);  // Title_03, MP4 (H.264, AAC)
    EXPECT_EQ(window_->findChild<QLabel*>("statusLabel")->text(), "1 job added to the queue");
    Queue(fx::kPalDisc, 0, 3, 2000, 6000);  // Title_01, MKV (H.264, AC-3)
    const std::vector<app::QueuedJob> queued = window_->queue().jobs();
    ASSERT_EQ(queued.size(), 2u);

    Restart();
    ASSERT_EQ(window_->queue().jobs(), queued);

    QStringList listed, states;
    int finished_windows = 0;
    DialogWatch finished("finishedWindow", [&](QWidget* widget) {
        ++finished_windows;
        static_cast<QDialog*>(widget)->accept();
    });
    DialogWatch queue_window("queueWindow", [&](QWidget* widget) {
        auto* list = widget->findChild<QTreeWidget*>("queueList");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            listed << QStringList{item->text(0), item->text(1), item->text(3), item->text(4)}.join(
                "|");
        }
        QTimer::singleShot(0, widget, [&, widget, list] {
            // Returns when the queue has run.
            QTest::mouseClick(widget->findChild<QPushButton*>("queueStart"), Qt::LeftButton);
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                states << list->topLevelItem(i)->text(4);
            static_cast<QDialog*>(widget)->accept();
        });
    });
    QTest::mouseClick(window_->findChild<QPushButton*>("queueButton"), Qt::LeftButton);

    const std::string mp4 = "Title_03" + std::string(queued[0].job.profile.FormatExt);
    const std::string mkv = "Title_01" + std::string(queued[1].job.profile.FormatExt);
    EXPECT_EQ(listed,
              QStringList(
                  {QString::fromStdString("ntsc|Title_03, 00:00:01-00:00:03|" + mp4 + "|Waiting"),
                   QString::fromStdString("pal|Title_01, 00:00:02-00:00:06|" + mkv + "|Waiting")}));
    EXPECT_EQ(states, QStringList({"Done", "Done"}));
    EXPECT_EQ(finished_windows, 0);
    for (const app::QueuedJob& job : window_->queue().jobs())
        EXPECT_EQ(job.state, app::QueueState::kDone);

    const e2e::DecodedOutput ntsc = e2e::DecodeOutput((folder_ / "out" / mp4).string(), 720, 480);
    ASSERT_TRUE(ntsc.ok) << ntsc.error;
    EXPECT_EQ(ntsc.container, "mov,mp4,m4a,3gp,3g2,mj2");
    EXPECT_EQ(ntsc.audio_codec, "aac");
    EXPECT_EQ(ntsc.height, 480);
    ASSERT_FALSE(ntsc.pictures.empty());
    EXPECT_NEAR(ntsc.pictures.front().band, 30, 2);
    EXPECT_NEAR(ntsc.pictures.back().time_s - ntsc.pictures.front().time_s, 2.0, 0.15);

    const e2e::DecodedOutput pal = e2e::DecodeOutput((folder_ / "out" / mkv).string(), 720, 576);
    ASSERT_TRUE(pal.ok) << pal.error;
    EXPECT_EQ(pal.container, "matroska,webm");
    EXPECT_EQ(pal.audio_codec, "ac3");
    EXPECT_EQ(pal.height, 576);
    ASSERT_FALSE(pal.pictures.empty());
    EXPECT_NEAR(pal.pictures.front().band, 50, 2);
    EXPECT_NEAR(pal.pictures.back().time_s - pal.pictures.front().time_s, 4.0, 0.15);
}

// Option > Conversion Options: what is chosen there, the chapter range too, goes into the next job.
TEST_F(QueueWindowTest, TheConversionOptionsGoIntoTheQueuedJob) {
    ASSERT_TRUE(window_->OpenDisc(QString::fromStdString(fx::SampleDiscPath(fx::kNtscDisc.iso))));
    auto* profiles = window_->findChild<QComboBox*>("profileList");
    profiles->setCurrentIndex(profiles->findData(3));  // Matroska
    window_->session().SelectRow(0);
    int sound_listed = 0;
    DialogWatch options("optionsWindow", [&](QWidget* widget) {
        widget->findChild<QComboBox*>("deinterlaceList")->setCurrentIndex(2);
        QTest::mouseClick(widget->findChild<QCheckBox*>("autoCropBox"), Qt::LeftButton);
        widget->findChild<QComboBox*>("subtitleModeList")->setCurrentIndex(1);
        auto* sound = widget->findChild<QListWidget*>("soundTrackList");
        sound_listed = sound->count();
        for (int i = 0; i < sound->count(); ++i) sound->item(i)->setCheckState(Qt::Checked);
        widget->findChild<QSpinBox*>("firstChapter")->setValue(2);
        widget->findChild<QSpinBox*>("lastChapter")->setValue(3);
        QTest::mouseClick(widget->findChild<QPushButton*>("okButton"), Qt::LeftButton);
    });
    QAction* open = nullptr;
    for (QAction* action : window_->findChild<QMenu*>("optionMenu")->actions())
        if (action->text() == "Conversion Options") open = action;
    ASSERT_NE(open, nullptr);
    open->trigger();
    EXPECT_EQ(sound_listed, 2);
    window_->session().CheckAll(false);
    window_->session().ClickCheck(0);
    QTest::mouseClick(window_->findChild<QPushButton*>("addQueueButton"), Qt::LeftButton);
    ASSERT_EQ(window_->queue().jobs().size(), 1u);
    const app::ConversionJob& job = window_->queue().jobs()[0].job;
    EXPECT_EQ(job.picture_cleanup, (core::PictureCleanup{core::DeinterlaceMode::kOff, true}));
    EXPECT_EQ(job.items[0].audio_languages.size(), 2u);
    EXPECT_FALSE(job.items[0].streams.soft_subtitle_ids.empty());
    // Chapters 2 to 3 of the 60 s title: its middle 30 s.
    EXPECT_NEAR(job.items[0].item.trim_start_ms, 15015, 40);
    EXPECT_NEAR(job.items[0].item.trim_length_ms, 30030, 80);
}

// Help > Activity Log lists the messages of this run and of the run before,
// each with the disc it concerned.
TEST_F(QueueWindowTest, TheActivityLogListsTheMessagesOfThisRunAndTheLast) {
    EXPECT_FALSE(window_->OpenDisc(QString::fromStdString((folder_ / "missing.iso").string())));
    Restart();
    ASSERT_TRUE(window_->OpenDisc(QString::fromStdString(fx::SampleDiscPath(fx::kNtscDisc.iso))));
    window_->CheckAll(false);
    QTest::mouseClick(window_->findChild<QPushButton*>("addQueueButton"), Qt::LeftButton);
    ASSERT_EQ(messages_.messages.size(), 2u);

    QStringList rows;
    DialogWatch log("logWindow", [&](QWidget* widget) {
        auto* list = widget->findChild<QTreeWidget*>("logList");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            rows << QStringList{item->text(1), item->text(3)}.join("|");
        }
        EXPECT_TRUE(widget->findChild<QPushButton*>("logOpenFile")->isEnabled());
        static_cast<QDialog*>(widget)->accept();
    });
    QAction* show = nullptr;
    for (QAction* action : window_->findChild<QMenu*>("helpMenu")->actions())
        if (action->text() == "Activity Log") show = action;
    ASSERT_NE(show, nullptr);
    show->trigger();
    EXPECT_EQ(rows, QStringList({"|" + QString::fromStdString(messages_.messages[0]),
                                 "ntsc|Please select one first"}));
}

}  // namespace
}  // namespace rizuvira::ui

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication application(argc, argv);
    rizuvira::ui::ApplyIconTheme();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
