// SPDX-License-Identifier: GPL-2.0-or-later
// The crop, trim and effect editor: a modal window over app::Editor for one row. The source
// plays on the left with the crop frame (drawn by the preview graph's overlay) that the mouse
// drags; the adjusted result plays on the right at the profile's output shape. Below them the
// time slider with the trim range control, the transport buttons, the time and the volume,
// then four pages chosen by tabs: crop, trim, effect and the text watermark. OK writes the
// editor's copy into the row; Cancel, the close button and Escape leave the row untouched.
//
// Every rule lives in app::Editor and, for playing, app::PreviewController; this class lays the
// controls out, forwards each click, drag, typed value and timer tick, and shows what they read
// back. A preview that cannot be built leaves the window usable without pictures.
//
// Threads: the user-interface thread. The preview graph's notifications are queued to it.
#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>
#include <string>

#include "app/editor.h"
#include "app/preview_controller.h"
#include "core/convert_item.h"
#include "core/messages.h"
#include "core/output_profile.h"
#include "core/watermark.h"
#include "engine/editor_preview_graph.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;

namespace rizuvira::ui {

class PreviewSurface;
class RangeSelect;
class SkinSlider;

// What the editor plays: the open disc's title (or chapter) with the main window's tracks.
struct EditorSource {
    std::string name;        // the row's name, for the window title
    int32_t dvd_handle = 0;  // 0: no disc to play (a plain file); the editor edits without pictures
    std::string disc_path;   // the disc as opened, for the automatic crop; empty: none
    int title = 0;
    int chapter = -1;
    int32_t audio_id = -1;     // matched on its low 8 bits; -1: none
    int32_t subtitle_id = -1;  // matched whole; -1: none
    app::SourcePicture picture;
};

class EditorWindow final : public QDialog, private app::PreviewView {
    Q_OBJECT
public:
    // `row` is written on OK only and must outlive the window; `messages` receives the preview's
    // failure texts and must outlive it too.
    EditorWindow(core::ConvertItem* row, const core::OutputSettings& output, app::EditorPage mode,
                 const EditorSource& source, const core::Watermark& watermark,
                 core::MessageSink* messages, QWidget* parent = nullptr);
    ~EditorWindow() override;

    app::Editor& editor() { return editor_; }
    // The watermark as the window leaves it (meaningful after OK).
    const core::Watermark& watermark() const { return editor_.watermark(); }
    PreviewSurface* left_picture() { return left_; }
    PreviewSurface* right_picture() { return right_; }
    engine::EditorPreviewGraph& preview() { return graph_; }
    bool preview_open() const { return graph_open_; }
    bool playing() const;

    void ShowPage(app::EditorPage page);
    // Shows every value the editor holds (after changes made through editor()).
    void RefreshAll();
    void Play();
    void Pause();

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildPictures();
    QWidget* BuildTimeline();
    QWidget* BuildTransport();
    QWidget* BuildTabs();
    QWidget* BuildTrimPage();
    QWidget* BuildCropPage();
    QWidget* BuildEffectPage();
    QWidget* BuildWatermarkPage();
    QWidget* BuildButtons();

    void StartPreview();
    // What Play needs before it runs: the graph built, or attached again after the end.
    bool LoadPreview();
    void StopPreview();
    void Tick();
    void DrainEvents();
    // What the preview controller shows.
    void ShowState(bool playing, bool ticking) override;
    void ShowStopped() override;

    void RefreshTrim();
    void RefreshCrop();
    void RefreshEffect();
    void RefreshWatermark();
    void CropTyped(app::Editor::CropSide side, int value);
    void AutoCrop();
    void WatermarkEdited();
    void ChooseFont();
    void ChooseColour();
    bool TrackerEvent(QEvent* event);

    core::ConvertItem* const row_;
    const core::OutputSettings output_;
    const EditorSource source_;
    app::Editor editor_;
    engine::EditorPreviewGraph graph_;
    bool graph_open_ = false;
    app::PreviewController preview_control_;
    bool preview_started_ = false;
    QTimer timer_;

    PreviewSurface* left_ = nullptr;
    PreviewSurface* right_ = nullptr;
    SkinSlider* time_slider_ = nullptr;
    RangeSelect* range_ = nullptr;
    QToolButton* play_ = nullptr;
    QToolButton* pause_ = nullptr;
    QLabel* time_text_ = nullptr;
    SkinSlider* volume_ = nullptr;
    QButtonGroup* tabs_ = nullptr;
    QStackedWidget* pages_ = nullptr;

    QLineEdit* start_field_ = nullptr;
    QLineEdit* end_field_ = nullptr;
    QLineEdit* length_field_ = nullptr;

    QComboBox* zoom_ = nullptr;
    QSpinBox* crop_[4] = {};  // left, top, right, bottom
    QLabel* crop_hint_ = nullptr;

    SkinSlider* brightness_ = nullptr;
    SkinSlider* contrast_ = nullptr;
    SkinSlider* saturation_ = nullptr;
    QLabel* effect_values_[3] = {};

    QLineEdit* mark_text_ = nullptr;
    QPushButton* mark_font_ = nullptr;
    QPushButton* mark_colour_ = nullptr;
    QSpinBox* mark_x_ = nullptr;
    QSpinBox* mark_y_ = nullptr;
    SkinSlider* mark_opacity_ = nullptr;
    QLabel* mark_opacity_text_ = nullptr;
};

}  // namespace rizuvira::ui
