// SPDX-License-Identifier: GPL-2.0-or-later
// The skin keeps its own colours under a dark desktop theme, and its
// fixed-place texts fit (or end in an ellipsis) under a desktop font half
// as large again.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>

#include <filesystem>

#include "core/settings_store.h"
#include "ui/main_window.h"
#include "ui/ui_driver.h"

namespace rizuvira::ui {
namespace {

namespace fs = std::filesystem;

class SkinDesktopTest : public ::testing::Test {
protected:
    void TearDown() override {
        window_.reset();
        QApplication::setPalette(palette_);
        QApplication::setFont(font_);
        fs::remove_all(folder_);
    }
    MainWindow* Open() {
        store_.Load();
        window_ = std::make_unique<MainWindow>(&messages_, &store_, &actions_);
        window_->show();
        QApplication::processEvents();
        return window_.get();
    }
    QLabel* Label(const QString& text) {
        for (QLabel* label : window_->findChildren<QLabel*>())
            if (label->text() == text) return label;
        ADD_FAILURE() << text.toStdString();
        return nullptr;
    }

    const QPalette palette_ = QApplication::palette();
    const QFont font_ = QApplication::font();
    fs::path folder_ = fs::temp_directory_path() / ("skin_test_" + std::to_string(::getpid()));
    core::SettingsStore store_{folder_ / "settings.ini"};
    core::CollectedMessages messages_;
    testing::RecordedActions actions_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(SkinDesktopTest, ADarkDesktopPaletteLeavesTheWordsDarkOnTheLightSkin) {
    QPalette dark;
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        dark.setColor(role, QColor(0x20, 0x20, 0x24));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    Open();
    const QImage shot = window_->grab().toImage();
    for (const char* text : {"Audio Track:", "Profile:", "Output:"}) {
        QLabel* label = Label(QString::fromLatin1(text));
        ASSERT_NE(label, nullptr);
        EXPECT_LT(label->palette().color(label->foregroundRole()).lightness(), 100) << text;
        // The words are drawn dark: the label's place holds dark pixels.
        const QRect place = label->geometry().intersected(shot.rect());
        int dark_pixels = 0;
        for (int y = place.top(); y <= place.bottom(); ++y)
            for (int x = place.left(); x <= place.right(); ++x)
                dark_pixels += QColor(shot.pixel(x, y)).lightness() < 90;
        EXPECT_GT(dark_pixels, 20) << text;
    }
}

TEST_F(SkinDesktopTest, WithALargerDesktopFontNoTextIsCut) {
    QFont large = QApplication::font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    QApplication::setFont(large);
    Open();
    for (QLabel* label : window_->findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty() || label->wordWrap() ||
            label->text().contains('<'))
            continue;
        const bool fits =
            label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width();
        EXPECT_TRUE(fits || (label->text().endsWith(QChar(0x2026)) && !label->toolTip().isEmpty()))
            << label->text().toStdString();
    }
    for (QCheckBox* box : window_->findChildren<QCheckBox*>()) {
        if (!box->isVisible()) continue;
        EXPECT_TRUE(box->sizeHint().width() <= box->width() || box->text().endsWith(QChar(0x2026)))
            << box->text().toStdString();
    }
}

}  // namespace
}  // namespace rizuvira::ui
