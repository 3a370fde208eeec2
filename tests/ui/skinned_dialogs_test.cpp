// SPDX-License-Identifier: GPL-2.0-or-later
// The dialogs drawn on the skin: each is frameless with its picture's
// header band, grows with a larger desktop font without cutting or
// covering anything, and closes from its header; the message box shows the
// mark of its kind and its whole text, and a question answers No unless the
// user says Yes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "fixtures/sample_discs.h"
#include "ui/main_window.h"
#include "ui/shutdown_window.h"
#include "ui/skin.h"
#include "ui/skin_input_dialog.h"
#include "ui/skin_layout.h"
#include "ui/skin_message_box.h"
#include "ui/ui_driver.h"

namespace rizuvira::ui {
namespace {

namespace fs = std::filesystem;
using testing::DialogWatch;

// Checks what every skinned dialog shares, then closes it from its header.
void CheckSkinnedAndClose(QWidget* window, const skin::WindowArt& art, bool minimise) {
    SCOPED_TRACE(window->objectName().toStdString());
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_GE(window->width(), art.width);
    EXPECT_GE(window->height(), art.height);
    // The layout has the room it asks for.
    const QSize needed = window->layout()->totalMinimumSize();
    EXPECT_GE(window->width(), needed.width());
    EXPECT_GE(window->height(), needed.height());

    // The band is the picture's, left of the stretched part.
    const QImage shot = window->grab().toImage();
    const QImage picture = SkinPicture(QString::fromUtf8(art.file)).toImage();
    const QPoint band(art.width - 100, art.header_height / 2);
    EXPECT_EQ(shot.pixelColor(band), picture.pixelColor(band));
    EXPECT_LT(shot.pixelColor(band).lightness(), 80);
    // A wider window carries the band to its right edge.
    EXPECT_LT(shot.pixelColor(window->width() - 75, band.y()).lightness(), 80);

    auto* close = window->findChild<QPushButton*>("closeButton");
    auto* minimiser = window->findChild<QPushButton*>("minimiseButton");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(minimiser != nullptr, minimise);
    for (QPushButton* button : {close, minimiser}) {
        if (button == nullptr) continue;
        EXPECT_FALSE(button->accessibleName().isEmpty());
        EXPECT_EQ(button->toolTip(), button->accessibleName());
        EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus);
        // On the band, at its right end.
        EXPECT_LE(button->geometry().bottom(), art.header_height);
        EXPECT_GT(button->geometry().right(), window->width() - 70);
    }
    // Tab reaches the header's buttons too.
    QApplication::setActiveWindow(window);
    QSet<QWidget*> reached;
    for (int i = 0; i < 80; ++i) {
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused != nullptr ? focused : window, Qt::Key_Tab);
        reached.insert(QApplication::focusWidget());
    }
    EXPECT_TRUE(reached.contains(close));
    EXPECT_TRUE(minimiser == nullptr || reached.contains(minimiser));
    // Every other control stands inside the window and below the band
    // (words the window writes on the band aside).
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child == close || child == minimiser || child->objectName() == "headerText" ||
            child->isWindow() || !child->isVisibleTo(window) || child->parentWidget() != window)
            continue;
        const QRect place = child->geometry();
        EXPECT_TRUE(window->rect().contains(place)) << child->objectName().toStdString();
        EXPECT_GE(place.top(), art.header_height) << child->objectName().toStdString();
    }
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}

class SkinnedDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        store_.Load();
        store_.SetOutFolder(folder_.string());
    }
    void TearDown() override {
        QApplication::setFont(font_);
        fs::remove_all(folder_);
    }

    const QFont font_ = QApplication::font();
    fs::path folder_ =
        fs::temp_directory_path() / ("skinned_dialogs_" + std::to_string(::getpid()));
    core::SettingsStore store_{folder_ / "settings.ini"};
    core::CollectedMessages messages_;
    testing::RecordedActions actions_;
};

TEST_F(SkinnedDialogsTest, EachDialogIsSkinnedFitsALargerFontAndClosesFromItsHeader) {
    for (const double scale : {1.0, 1.5}) {
        SCOPED_TRACE(scale);
        QFont font = font_;
        font.setPointSizeF(font_.pointSizeF() * scale);
        QApplication::setFont(font);
        MainWindow main(&messages_, &store_, &actions_);
        main.show();
        ASSERT_TRUE(main.OpenDisc(
            QString::fromStdString(fixtures::SampleDiscPath(fixtures::kNtscDisc.iso))));
        main.StopPreview();

        int shown = 0;
        auto open = [&](const char* name, const skin::WindowArt& art, bool minimise,
                        const std::function<void()>& show) {
            DialogWatch watch(name, [&](QWidget* window) {
                ++shown;
                CheckSkinnedAndClose(window, art, minimise);
            });
            show();
        };
        open("preferencesWindow", skin::preferences_window::kArt, false,
             [&] { main.OpenPreferences(); });
        open("customSettingsWindow", skin::settings_window::kArt, false,
             [&] { main.OpenSettings(); });
        open("propertiesWindow", skin::properties_window::kArt, false,
             [&] { main.ShowProperties(); });
        open("editorWindow", skin::editor_window::kArt, true,
             [&] { main.Edit(app::EditorPage::kCrop); });
        open("messageBox", skin::message_box::kArt, false, [&] {
            SkinMessageBox box(MessageKind::kWarning, "Title", "A warning.", {}, &main);
            EXPECT_EQ(box.exec(), QDialog::Rejected);
        });
        open("logWindow", skin::log_window::kArt, false, [&] { main.ShowActivityLog(); });
        open("optionsWindow", skin::options_window::kArt, false, [&] { main.OpenOptions(); });
        open("inputDialog", skin::message_box::kArt, false, [&] {
            SkinInputDialog drive("Title", "Drive:", {"/dev/sr0 (HOLIDAY)", "/dev/sr1"}, &main);
            EXPECT_EQ(drive.textValue(), "/dev/sr0 (HOLIDAY)");  // the first, and it can be typed
            EXPECT_EQ(drive.exec(), QDialog::Rejected);
        });
        EXPECT_EQ(shown, 8);

        QPointer<ShutdownWindow> countdown = new ShutdownWindow(
            std::make_unique<app::ShutdownCountdown>(60, [] { return int64_t{0}; }), [] {});
        countdown->show();
        CheckSkinnedAndClose(countdown, skin::shutdown_window::kArt, false);
        testing::WaitFor([&] { return countdown.isNull(); });
    }
}

TEST_F(SkinnedDialogsTest, AnErrorShowsItsMarkAndItsWholeTextAndTheNextStep) {
    const QString message =
        "The disc in /home/someone/Videos/discs/a-rather-long-folder-name-without-any-spaces/"
        "Holiday_2019_Disc_1_of_2 cannot be read: it holds no VIDEO_TS folder.";
    SkinMessageBox box(MessageKind::kError, "Title", message, "Choose the DVD folder itself.");
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_EQ(box.findChild<QLabel*>("messageMark")->pixmap().toImage(),
              SkinPicture("msgerror.png").toImage());
    EXPECT_EQ(box.findChild<QLabel*>("messageNextStep")->text(), "Choose the DVD folder itself.");
    auto* text = box.findChild<QLabel*>("messageText");
    EXPECT_EQ(text->text().remove(QChar(0x200b)), message);
    // All of it shows: the label is as tall as its lines and stands above
    // the footer, inside the window.
    EXPECT_GE(text->height(), text->heightForWidth(text->width()));
    const QRect place(text->mapTo(&box, QPoint(0, 0)), text->size());
    EXPECT_TRUE(box.rect().contains(place));
    EXPECT_LE(place.bottom(), box.height() - skin::kFooterHeight);
    EXPECT_EQ(box.findChild<QPushButton*>("yesButton"), nullptr);
    EXPECT_TRUE(box.findChild<QPushButton*>("okButton")->isDefault());
}

TEST_F(SkinnedDialogsTest, AQuestionAnswersYesOnlyWhenYesIsPressed) {
    SkinMessageBox ask(MessageKind::kQuestion, "Title", "Replace it?");
    auto answer = [&](const std::function<void()>& action) {
        QTimer::singleShot(0, &ask, action);
        return ask.exec();
    };
    EXPECT_EQ(answer([&] { QTest::keyClick(&ask, Qt::Key_Return); }), QDialog::Rejected);
    EXPECT_EQ(answer([&] { QTest::keyClick(&ask, Qt::Key_Escape); }), QDialog::Rejected);
    EXPECT_EQ(answer([&] {
                  QTest::mouseClick(ask.findChild<QPushButton*>("yesButton"), Qt::LeftButton);
              }),
              QDialog::Accepted);
    EXPECT_EQ(
        answer([&] { QTest::mouseClick(ask.findChild<QPushButton*>("noButton"), Qt::LeftButton); }),
        QDialog::Rejected);
}

}  // namespace
}  // namespace rizuvira::ui
