// SPDX-License-Identifier: GPL-2.0-or-later
// The main window: the disc's rows in a four-column list under the root
// "VIDEO_TS", the stream and profile lists, the output folder, Start, and the
// preview with its buttons and position slider. Every rule comes from
// app::DiscSession and, for the preview, app::PreviewController; this class
// lays out, paints and forwards clicks and timer ticks.
//
// Threads: the user-interface thread. The preview graph's notifications come
// from graph threads and are queued to it.
#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>

#include "app/activity_log.h"
#include "app/branding.h"
#include "app/conversion_options.h"
#include "app/disc_session.h"
#include "app/dropped_paths.h"
#include "app/editor.h"
#include "app/job_queue.h"
#include "app/optical_drives.h"
#include "app/preview_controller.h"
#include "engine/preview_player.h"
#include "engine/run_controller.h"
#include "ui/skin.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QStackedWidget;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace rizuvira::ui {

class PreviewSurface;
class SkinButton;
class SkinSlider;

class MainWindow final : public QWidget, private app::PreviewView {
    Q_OBJECT
public:
    // `messages`, `settings` and `actions` (the after-conversion actions)
    // must outlive the window.
    MainWindow(core::MessageSink* messages, core::SettingsStore* settings,
               engine::SystemActions* actions, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Opens a disc (drive, folder, ISO image or MPEG file) and lists it;
    // false with the layer's messages.
    bool OpenDisc(const QString& path);

    app::DiscSession& session() { return session_; }
    PreviewSurface* preview() { return preview_; }
    engine::PreviewPlayer& player() { return player_; }

    // The commands of the window, as the menus and buttons call them.
    void LoadDvd();
    void LoadDvdFolder();
    void LoadIsoFile();
    void ClearAll();
    void CheckAll(bool checked);
    void Edit(app::EditorPage page);
    void Play();
    void Pause();
    void StopPreview();
    void PlayPause();
    void StepRow(bool forward);
    void Snapshot();
    void OpenSnapshotFolder();
    void Browse();
    void OpenOutputFolder();
    void Start();
    // Lines up the checked rows, each with its profile, tracks, edits and
    // output name, in the queue (main_window_queue.cpp).
    void AddToQueue();
    // The queue window.
    void OpenQueue();
    app::JobQueue& queue() { return queue_; }
    // Option > Conversion Options: OK gives the session the new options.
    void OpenOptions();
    // Option > Preferences: after OK the output field shows the stored folder.
    void OpenPreferences();
    // "Settings": the custom output settings of the current profile; OK makes
    // the edited copy current. Saved or deleted profiles show in the list.
    void OpenSettings();
    // File/Edit > Properties: the streams of the title in the preview (the
    // selected row's title is loaded, stopped, when none is); nothing when
    // the preview cannot describe them.
    void ShowProperties();
    void ShowHelp();
    // Help > Activity Log (main_window_queue.cpp).
    void ShowActivityLog();
    app::ActivityLog& activity_log() { return activity_; }
    void ShowAbout();

signals:
    // A snapshot file was written.
    void snapshotSaved(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildPreview();
    void BuildList();
    void BuildOutput();
    void BuildQueueControls();  // main_window_queue.cpp
    // The job of the checked rows with the output field's folder and the
    // merge box, as Start and Add to Queue make it; false with a message
    // when there is none.
    bool MakeJob(engine::OverwritePolicy overwrite, app::ConversionJob* job);
    void SetUpKeyboard();  // main_window_keys.cpp
    // A passing note clears itself after a few seconds or at the next
    // command that plays, stops or starts.
    void ShowStatus(const QString& text, bool passing = false);
    void LoadProfiles();
    void FillProfileList();
    bool LoadPreviewTitle();
    void FillRows();
    void SyncChecks();
    void FillStreams();
    void RefreshOutputNames();
    int RowOf(QTreeWidgetItem* item) const;
    void ItemChanged(QTreeWidgetItem* item, int column);
    void CurrentItemChanged(QTreeWidgetItem* item);
    void ProfileChosen(int index);
    void AudioChosen(int index);
    void SubtitleChosen(int index);
    void SliderAction();
    void PreviewTick();
    void DrainPreviewEvents();
    // What the preview controller shows.
    void ShowState(bool playing, bool ticking) override;
    void ShowStopped() override;
    void ClosePlayer();
    void OpenUrl(const QString& url);

    core::MessageSink* const messages_;
    core::SettingsStore* const settings_;
    engine::SystemActions* const actions_;
    app::Branding branding_;
    // Every message of the window and of the layers under it passes through
    // the log to the sink the window was given (messages_ is the log).
    app::ActivityLog activity_;
    app::DiscSession session_;
    app::JobQueue queue_;
    app::ConversionOptions options_;

    PreviewSurface* preview_ = nullptr;
    // Declared after the surface's owner (the window) is set up and closed in
    // the destructor before any widget goes.
    engine::PreviewPlayer player_;
    bool player_open_ = false;
    app::PreviewController preview_control_;
    QTimer preview_timer_;
    QTimer status_clear_;
    bool syncing_ = false;

    QTreeWidget* tree_ = nullptr;
    QTreeWidgetItem* root_ = nullptr;
    QStackedWidget* list_stack_ = nullptr;
    QComboBox* audio_ = nullptr;
    QComboBox* subtitles_ = nullptr;
    QComboBox* profiles_ = nullptr;
    SkinButton* settings_button_ = nullptr;
    QLineEdit* output_ = nullptr;
    QCheckBox* merge_ = nullptr;
    SkinButton* start_ = nullptr;
    QLabel* status_ = nullptr;
    bool skinned_ = false;
    SkinSlider* slider_ = nullptr;
    SkinButton* play_ = nullptr;
    SkinButton* pause_ = nullptr;
    SkinButton* stop_ = nullptr;
};

}  // namespace rizuvira::ui
