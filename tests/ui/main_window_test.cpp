// SPDX-License-Identifier: GPL-2.0-or-later
// The desktop program's windows on the offscreen platform, driven with
// synthetic clicks and keys: the sample disc's rows, the check marks, a
// profile change, the preview, a snapshot, and a whole conversion through
// the conversion window to the finished window.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"
#include "ui/conversion_window.h"
#include "ui/finished_window.h"
#include "ui/main_window.h"
#include "ui/preview_surface.h"
#include "ui/skin_layout.h"
#include "ui/skin_slider.h"
#include "ui/ui_driver.h"

namespace rizuvira::ui {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using testing::ClickCheckMark;
using testing::DialogWatch;
using testing::WaitFor;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("ui_test_" + std::to_string(::getpid()));
        fs::create_directories(folder_ / "out");
        fs::create_directories(folder_ / "snaps");
        store_.Load();
        store_.SetSnapFolder((folder_ / "snaps").string());
        store_.SetOutFolder((folder_ / "out").string());
        window_ = std::make_unique<MainWindow>(&messages_, &store_, &actions_);
        window_->show();
        ASSERT_TRUE(
            window_->OpenDisc(QString::fromStdString(fx::SampleDiscPath(fx::kNtscDisc.iso))));
        tree_ = window_->findChild<QTreeWidget*>("titleList");
        ASSERT_NE(tree_, nullptr);
        root_ = tree_->topLevelItem(0);
        ASSERT_NE(root_, nullptr);
    }
    void TearDown() override {
        window_.reset();
        fs::remove_all(folder_);
    }
    // What the windows of a batch showed at its end.
    struct Shown {
        QStringList files;   // the finished window's lines
        QStringList listed;  // the messages the conversion window listed
        QString header;      // the conversion window's header at the last item
    };
    // Presses Start and answers the windows of the batch.
    Shown RunStart() {
        Shown shown;
        QStringList &files = shown.files, &listed = shown.listed;
        DialogWatch running("conversionWindow", [&](QWidget* widget) {
            QObject::connect(
                static_cast<ConversionWindow*>(widget), &ConversionWindow::finishedShown, widget,
                [&, widget](QDialog* finished) {
                    shown.header = widget->findChild<QLabel*>("currentFile")->text();
                    auto* log = widget->findChild<QListWidget*>("messageList");
                    for (int i = 0; i < log->count(); ++i) listed << log->item(i)->text();
                    auto* list = finished->findChild<QListWidget*>("finishedFiles");
                    for (int i = 0; i < list->count(); ++i) files << list->item(i)->text();
                    QTimer::singleShot(0, finished, [finished] {
                        QTest::mouseClick(finished->findChild<QPushButton*>("finishedOk"),
                                          Qt::LeftButton);
                    });
                });
        });
        QTest::mouseClick(Find<QPushButton>("startButton"), Qt::LeftButton);
        return shown;
    }
    void CheckOnly(std::initializer_list<int> rows) {
        window_->CheckAll(false);
        for (int row : rows) ClickCheckMark(tree_, root_->child(row));
    }
    template <typename T>
    T* Find(const char* name) {
        T* widget = window_->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    fs::path folder_;
    core::CollectedMessages messages_;
    core::SettingsStore store_{fs::temp_directory_path() /
                               ("ui_test_" + std::to_string(::getpid())) / "settings.ini"};
    testing::RecordedActions actions_;
    std::unique_ptr<MainWindow> window_;
    QTreeWidget* tree_ = nullptr;
    QTreeWidgetItem* root_ = nullptr;
};

TEST_F(MainWindowTest, TheSampleIsoListsItsTitlesUnderTheRoot) {
    EXPECT_EQ(tree_->headerItem()->text(0), "Source file");
    EXPECT_EQ(tree_->headerItem()->text(1), "Original Length");
    EXPECT_EQ(tree_->headerItem()->text(2), "Trimmed Length");
    EXPECT_EQ(tree_->headerItem()->text(3), "Output Format");
    EXPECT_EQ(root_->text(0), "VIDEO_TS");
    // Title 2 lasts 2 s and is left out.
    ASSERT_EQ(root_->childCount(), 4);
    const QString ext = QString::fromUtf8(window_->session().profile().FormatExt);
    const char* names[] = {"Title_01", "Title_03", "Title_04", "Title_05"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(root_->child(i)->text(0), names[i]);
        EXPECT_EQ(root_->child(i)->text(3), names[i] + ext);
        EXPECT_EQ(root_->child(i)->text(1), root_->child(i)->text(2));
        EXPECT_EQ(root_->child(i)->checkState(0), Qt::Checked);
    }
    EXPECT_EQ(root_->child(0)->text(1), "00:01:00");
    EXPECT_EQ(root_->checkState(0), Qt::Checked);
    // Title_01's two sound tracks; its two subtitles and "None".
    EXPECT_EQ(Find<QComboBox>("audioList")->count(), 2);
    EXPECT_EQ(Find<QComboBox>("subtitleList")->count(), 3);
    // A click on a row shows its title's streams.
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {},
                      tree_->visualItemRect(root_->child(1)).center());
    EXPECT_EQ(window_->session().selected_row(), 1);
    EXPECT_EQ(Find<QComboBox>("audioList")->count(), 1);
    // The selected row's first cell is drawn blue, the others are not.
    const QRect row = tree_->visualItemRect(root_->child(1));
    const QImage shown = tree_->viewport()->grab().toImage();
    EXPECT_EQ(shown.pixelColor(tree_->columnWidth(0) - 4, row.center().y()), QColor(49, 106, 197));
    EXPECT_NE(shown.pixelColor(tree_->columnWidth(0) + 4, row.center().y()), QColor(49, 106, 197));
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(MainWindowTest, CheckMarksFollowClicksBetweenRootAndRows) {
    ClickCheckMark(tree_, root_->child(1));
    EXPECT_EQ(root_->child(1)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(root_->checkState(0), Qt::PartiallyChecked);
    ClickCheckMark(tree_, root_->child(1));
    EXPECT_EQ(root_->checkState(0), Qt::Checked);
    ClickCheckMark(tree_, root_);
    EXPECT_EQ(root_->checkState(0), Qt::Unchecked);
    for (int i = 0; i < root_->childCount(); ++i)
        EXPECT_EQ(root_->child(i)->checkState(0), Qt::Unchecked);
    EXPECT_TRUE(window_->session().CheckedRows().empty());
}

TEST_F(MainWindowTest, AnotherProfileRewritesTheOutputFormatColumn) {
    auto* profiles = Find<QComboBox>("profileList");
    const std::string first_ext = window_->session().profile().FormatExt;
    int target = -1;
    for (int i = profiles->currentIndex() + 1; i < profiles->count() && target < 0; ++i) {
        core::OutputProfile profile;
        if (window_->session().profiles().Find(profiles->itemData(i).toInt(), profile) &&
            first_ext != profile.FormatExt)
            target = i;
    }
    ASSERT_GE(target, 0);
    profiles->setFocus();
    while (profiles->currentIndex() < target) QTest::keyClick(profiles, Qt::Key_Down);
    const QString ext = QString::fromUtf8(window_->session().profile().FormatExt);
    EXPECT_NE(ext.toStdString(), first_ext);
    EXPECT_EQ(root_->child(0)->text(3), "Title_01" + ext);
    EXPECT_EQ(root_->child(3)->text(3), "Title_05" + ext);
}

// Without a catalogue there is no profile: Start says why instead of running a batch.
TEST_F(MainWindowTest, StartWithoutAProfileSaysWhyAndRunsNothing) {
    const fs::path broken = folder_ / "broken.xml";
    std::ofstream(broken) << "<Formats>";
    setenv("RIZUVIRA_CATALOGUE", broken.c_str(), 1);
    window_ = std::make_unique<MainWindow>(&messages_, &store_, &actions_);
    unsetenv("RIZUVIRA_CATALOGUE");
    window_->show();
    ASSERT_TRUE(window_->OpenDisc(QString::fromStdString(fx::SampleDiscPath(fx::kNtscDisc.iso))));
    messages_.messages.clear();
    QTest::mouseClick(Find<QPushButton>("startButton"), Qt::LeftButton);
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0].rfind("There is no output profile to convert to (Load "
                                          "Format.xml error: " +
                                              broken.string() + ": not well-formed XML",
                                          0),
              0u)
        << messages_.messages[0];
    EXPECT_TRUE(fs::is_empty(folder_ / "out"));
}

TEST_F(MainWindowTest, PlayShowsTheTitlesPicturesAndASnapshotIsWritten) {
    auto* surface = window_->preview();
    auto* slider = Find<SkinSlider>("positionSlider");
    auto* play = Find<QAbstractButton>("playButton");
    auto* pause = Find<QAbstractButton>("pauseButton");
    EXPECT_FALSE(pause->isVisible());
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(pause->isVisible());
    EXPECT_FALSE(play->isVisible());
    WaitFor([&] { return slider->value() > 0 && testing::FrameNumberShown(surface, 480) > 0; });
    const int first = testing::FrameNumberShown(surface, 480);
    WaitFor([&] { return testing::FrameNumberShown(surface, 480) > first + 5; });
    // Letter-boxed: a 4:3 picture keeps its shape in the widget.
    const QRect shown = surface->PictureRect();
    EXPECT_NEAR(shown.width() * 3.0 / shown.height(), 4.0, 0.05);

    QSignalSpy saved(window_.get(), &MainWindow::snapshotSaved);
    QTest::mouseClick(Find<QAbstractButton>("snapshotButton"), Qt::LeftButton);
    ASSERT_EQ(saved.count(), 1);
    const fs::path snapshot = saved.front().front().toString().toStdString();
    EXPECT_EQ(snapshot.parent_path(), folder_ / "snaps");
    EXPECT_GT(fs::file_size(snapshot), 720u * 480u);

    QTest::mouseClick(pause, Qt::LeftButton);
    EXPECT_TRUE(play->isVisible());
    // Dragging the slider to the middle seeks to the middle of the 60 s title.
    const QPoint middle(slider->width() / 2, slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, {}, middle);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, middle);
    double position = 0;
    WaitFor([&] { return window_->player().GetPlayPosition(&position) && position > 25; });
    EXPECT_NEAR(position, 30, 1);
    EXPECT_TRUE(Find<QLabel>("statusLabel")->text().startsWith("Snapshot saved: "));
    QTest::mouseClick(Find<QAbstractButton>("stopButton"), Qt::LeftButton);
    // The note of the snapshot leaves with the next command.
    EXPECT_EQ(Find<QLabel>("statusLabel")->text(), "");
    EXPECT_EQ(slider->value(), 0);
    EXPECT_FALSE(surface->has_picture());

    // Next plays the following row, back the one before.
    QTest::mouseClick(Find<QAbstractButton>("nextButton"), Qt::LeftButton);
    EXPECT_EQ(window_->session().selected_row(), 1);
    EXPECT_TRUE(pause->isVisible());
    QTest::mouseClick(Find<QAbstractButton>("backButton"), Qt::LeftButton);
    EXPECT_EQ(window_->session().selected_row(), 0);
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(MainWindowTest, SpacePlaysAndPausesAndCtrlQQuits) {
    QApplication::setActiveWindow(window_.get());
    QTest::keyClick(window_.get(), Qt::Key_Space);
    EXPECT_TRUE(Find<QAbstractButton>("pauseButton")->isVisible());
    QTest::keyClick(window_.get(), Qt::Key_Space);
    EXPECT_TRUE(Find<QAbstractButton>("playButton")->isVisible());
    QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, StartConvertsTheCheckedTitleThroughTheConversionWindow) {
    ClickCheckMark(tree_, root_);
    ClickCheckMark(tree_, root_->child(1));  // Title_03, 4 s
    ASSERT_EQ(root_->checkState(0), Qt::PartiallyChecked);
    auto* output = Find<QLineEdit>("outputField");
    output->clear();
    QTest::keyClicks(output, QString::fromStdString((folder_ / "out").string()));

    bool saw_progress = false, saw_picture = false;
    QStringList finished_files;
    DialogWatch running("conversionWindow", [&](QWidget* widget) {
        auto* window = static_cast<ConversionWindow*>(widget);
        QObject::connect(
            window, &ConversionWindow::finishedShown, window, [&, window](QDialog* finished) {
                saw_progress = window->findChild<QProgressBar*>("itemBar")->value() > 0;
                saw_picture = window->preview()->pictures_shown() > 0;
                auto* list = finished->findChild<QListWidget*>("finishedFiles");
                for (int i = 0; i < list->count(); ++i) finished_files << list->item(i)->text();
                QTimer::singleShot(0, finished, [finished] {
                    QTest::mouseClick(finished->findChild<QPushButton*>("finishedOk"),
                                      Qt::LeftButton);
                });
            });
    });
    QTest::mouseClick(Find<QPushButton>("startButton"),
                      Qt::LeftButton);  // returns when the window closed

    EXPECT_TRUE(saw_progress);
    EXPECT_TRUE(saw_picture);
    ASSERT_EQ(finished_files.size(), 1);
    const std::string name = "Title_03" + std::string(window_->session().profile().FormatExt);
    EXPECT_TRUE(finished_files[0].startsWith(QString::fromStdString(name)));
    const e2e::DecodedOutput decoded =
        e2e::DecodeOutput((folder_ / "out" / name).string(), 720, 480);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_FALSE(decoded.pictures.empty());
    EXPECT_EQ(decoded.pictures.front().band, 0);
    EXPECT_NEAR(decoded.pictures.back().time_s, 4.0, 0.3);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "out"), fs::directory_iterator()), 1);
    EXPECT_TRUE(messages_.messages.empty());
    EXPECT_EQ(actions_.shut_downs, 0);
}

// Receives what the window asks the desktop to open.
class OpenedUrls final : public QObject {
    Q_OBJECT
public:
    OpenedUrls() {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(scheme, this, "Open");
    }
    ~OpenedUrls() override {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

QAction* ActionOf(QWidget* menu, const QString& text) {
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    ADD_FAILURE() << text.toStdString();
    return nullptr;
}

// Answers the next file window with `path`.
DialogWatch ChooseInFileWindow(const QString& path, QStringList* filters = nullptr,
                               QString* opened_in = nullptr) {
    return DialogWatch("QFileDialog", [path, filters, opened_in](QWidget* widget) {
        auto* dialog = static_cast<QFileDialog*>(widget);
        if (filters != nullptr) *filters = dialog->nameFilters();
        if (opened_in != nullptr) *opened_in = dialog->directory().absolutePath();
        if (dialog->fileMode() == QFileDialog::Directory) {
            dialog->setDirectory(path);
        } else {
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(path);
        }
        QTimer::singleShot(0, dialog,
                           [dialog] { static_cast<QDialog*>(dialog)->done(QDialog::Accepted); });
    });
}

TEST_F(MainWindowTest, HeaderButtonsDropTheirMenusAndTheLoadCommandsOpenTheChosenDisc) {
    auto* button = Find<QPushButton>("fileMenuButton");
    auto* menu = Find<QMenu>("fileMenu");
    QTest::mouseClick(button, Qt::LeftButton);
    WaitFor([&] { return menu->isVisible(); });
    EXPECT_EQ(menu->pos(), button->mapToGlobal(QPoint(0, button->height())));
    menu->close();

    auto* add_menu = Find<QMenu>("addFileMenu");
    {
        auto answer =
            ChooseInFileWindow(QString::fromStdString(fx::SampleDiscPath(fx::kPalDisc.folder)));
        ActionOf(add_menu, "Load DVD Folder")->trigger();
    }
    EXPECT_EQ(tree_->topLevelItem(0)->childCount(), window_->session().row_count());
    EXPECT_TRUE(Find<QLabel>("statusLabel")->text().startsWith("pal:"));
    QStringList filters;
    QString opened_in;
    {
        auto answer = ChooseInFileWindow(
            QString::fromStdString(fx::SampleDiscPath(fx::kNtscDisc.iso)), &filters, &opened_in);
        ActionOf(add_menu, "Load ISO File")->trigger();
    }
    EXPECT_EQ(filters, QStringList({"Disc images (*.iso)", "All Files (*)"}));
    // The file window opens where the disc before was opened.
    EXPECT_EQ(opened_in.toStdString(),
              fs::path(fx::SampleDiscPath(fx::kPalDisc.folder)).parent_path().string());
    EXPECT_TRUE(Find<QLabel>("statusLabel")->text().startsWith("ntsc.iso:"));
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(MainWindowTest, AFileThatIsNoDiscLeavesTheOpenDiscAndItsPreview) {
    const fs::path notes = folder_ / "notes.txt";
    std::ofstream(notes) << "not a disc";
    QApplication::setActiveWindow(window_.get());
    {
        auto answer = ChooseInFileWindow(QString::fromStdString(notes.string()));
        QTest::keyClick(window_.get(), Qt::Key_O, Qt::ControlModifier);
    }
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0].rfind(notes.string() + " is not", 0), 0u)
        << messages_.messages[0];
    EXPECT_EQ(tree_->topLevelItem(0)->childCount(), 4);
    QTest::mouseClick(Find<QAbstractButton>("playButton"), Qt::LeftButton);
    ASSERT_TRUE(Find<QAbstractButton>("pauseButton")->isVisible());
    WaitFor([&] { return testing::FrameNumberShown(window_->preview(), 480) > 0; });
}

TEST_F(MainWindowTest, ClearAllLeavesTheRootUnchecked) {
    auto* menu = Find<QMenu>("editMenu");
    QTest::mouseClick(Find<QPushButton>("editMenuButton"), Qt::LeftButton);
    WaitFor([&] { return menu->isVisible(); });
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(ActionOf(menu, "Clear All")).center());
    QTreeWidgetItem* root = tree_->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->childCount(), 0);
    EXPECT_EQ(root->checkState(0), Qt::Unchecked);
    EXPECT_EQ(Find<QComboBox>("audioList")->count(), 0);
}

// A file manager deletes what it dropped when the drop is taken as a move
// (Shift proposes one): the window takes a copy, or a link, and never a
// source that offers only a move.
TEST_F(MainWindowTest, ADroppedDiscIsTakenAsACopyNeverAMove) {
    QMimeData data;
    data.setUrls(
        {QUrl::fromLocalFile(QString::fromStdString(fx::SampleDiscPath(fx::kPalDisc.iso)))});
    const QPoint at = window_->rect().center();
    const Qt::DropActions every = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent move_only(at, Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &move_only);
    EXPECT_FALSE(move_only.isAccepted());
    QDragEnterEvent link_only(at, Qt::LinkAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &link_only);
    EXPECT_TRUE(link_only.isAccepted());
    EXPECT_EQ(link_only.dropAction(), Qt::LinkAction);

    QDragEnterEvent enter(at, every, &data, Qt::LeftButton, Qt::ShiftModifier);
    ASSERT_EQ(enter.proposedAction(), Qt::MoveAction);
    QApplication::sendEvent(window_.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(at), every, &data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(window_.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    auto* status = Find<QLabel>("statusLabel");
    WaitFor([&] { return status->text().startsWith("pal.iso:"); });
}

TEST_F(MainWindowTest, HelpAboutAndFoldersOpenThroughTheDesktop) {
    OpenedUrls opened;
    ActionOf(Find<QMenu>("helpMenu"), "Help Content")->trigger();
    QTest::mouseClick(Find<QPushButton>("openFolderButton"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("snapshotFolderButton"), Qt::LeftButton);
    ASSERT_EQ(opened.urls.size(), 3);
    EXPECT_TRUE(opened.urls[0].toLocalFile().endsWith("/help.html"));
    EXPECT_TRUE(QFileInfo::exists(opened.urls[0].toLocalFile()));
    EXPECT_EQ(opened.urls[1].toLocalFile().toStdString(), (folder_ / "out").string());
    EXPECT_EQ(opened.urls[2].toLocalFile().toStdString(), (folder_ / "snaps").string());

    QString name;
    bool links = false;
    {
        DialogWatch about("aboutWindow", [&](QWidget* window) {
            name = window->findChild<QLabel*>("aboutName")->text();
            links = window->findChild<QLabel*>("homeLink")->isEnabled();
            QTest::mouseClick(window->findChild<QPushButton*>("aboutOk"), Qt::LeftButton);
        });
        ActionOf(Find<QMenu>("helpMenu"), "About")->trigger();
    }
    EXPECT_EQ(name, window_->windowTitle());
    EXPECT_TRUE(links);
}

TEST_F(MainWindowTest, BrowseChoosesTheOutputFolderAndRemembersIt) {
    const fs::path picked = folder_ / "picked";
    fs::create_directories(picked);
    {
        auto answer = ChooseInFileWindow(QString::fromStdString(picked.string()));
        QTest::mouseClick(Find<QPushButton>("browseButton"), Qt::LeftButton);
    }
    EXPECT_EQ(Find<QLineEdit>("outputField")->text().toStdString(), picked.string());
    EXPECT_EQ(store_.values().out_folder, picked.string());
}

TEST_F(MainWindowTest, ASoundTrackChosenWhilePlayingBecomesTheTitlesTrack) {
    auto* audio = Find<QComboBox>("audioList");
    ASSERT_EQ(audio->count(), 2);
    QTest::mouseClick(Find<QPushButton>("playButton"), Qt::LeftButton);
    audio->setFocus();
    QTest::keyClick(audio, Qt::Key_Down);
    EXPECT_EQ(window_->session().catalogue().current_audio_id(), audio->itemData(1).toInt());
    EXPECT_TRUE(Find<QPushButton>("pauseButton")->isVisible());
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(MainWindowTest, MergeWritesOneFileOfBothTitles) {
    CheckOnly({1, 2});  // Title_03 (4 s) and Title_04 (5 s)
    QTest::mouseClick(Find<QCheckBox>("mergeBox"), Qt::LeftButton);
    const auto [files, listed, header] = RunStart();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(listed.isEmpty());
    const std::string name = "Title_03" + std::string(window_->session().profile().FormatExt);
    // At the second item the header still names the file being written.
    EXPECT_EQ(header, QString::fromStdString(name + " (2 of 2)"));
    const e2e::DecodedOutput decoded =
        e2e::DecodeOutput((folder_ / "out" / name).string(), 720, 480);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(decoded.pictures.back().time_s, 9.0, 0.4);
}

TEST_F(MainWindowTest, AnItemThatFailsIsListedAndTheBatchGoesOn) {
    const std::string ext = window_->session().profile().FormatExt;
    const fs::path kept = folder_ / "out" / ("Title_03" + ext);
    { std::ofstream(kept) << "the user's own file"; }
    CheckOnly({1, 2});
    // The replace question is answered No.
    DialogWatch refuse("messageBox", [](QWidget* box) {
        QTimer::singleShot(0, box, [box] { box->findChild<QPushButton*>("noButton")->click(); });
    });
    const auto [files, listed, header] = RunStart();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_TRUE(listed[0].contains("was not replaced"));
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].startsWith(QString::fromStdString("Title_04" + ext)));
    EXPECT_EQ(fs::file_size(kept), std::string("the user's own file").size());
    const e2e::DecodedOutput decoded =
        e2e::DecodeOutput((folder_ / "out" / ("Title_04" + ext)).string(), 720, 480);
    ASSERT_TRUE(decoded.ok) << decoded.error;
}

// Where a picture of each shape lands in the main window: centred in the
// preview's place with even bars, and nothing drawn outside it.
TEST_F(MainWindowTest, APictureOfEveryShapeFitsThePreviewPlaceCentred) {
    const QRect place(skin::main_window::kPreview.x, skin::main_window::kPreview.y,
                      skin::main_window::kPreview.width, skin::main_window::kPreview.height);
    EXPECT_EQ(window_->preview()->geometry(), place);
    // A green 720 x 480 picture, shown at each display aspect.
    std::vector<uint8_t> luma(720 * 480, 145), cb(360 * 240, 54), cr(360 * 240, 34);
    decoders::VideoFrameView frame;
    frame.y = luma.data();
    frame.u = cb.data();
    frame.v = cr.data();
    frame.width = 720;
    frame.height = 480;
    frame.y_stride = 720;
    frame.uv_stride = 360;
    auto green = [](QColor c) { return c.green() > 180 && c.red() < 90 && c.blue() < 90; };
    for (const auto& [x, y] : {std::pair{4, 3}, std::pair{16, 9}, std::pair{235, 100}}) {
        SCOPED_TRACE(std::to_string(x) + ":" + std::to_string(y));
        frame.aspect_x = x;
        frame.aspect_y = y;
        const uint64_t before = window_->preview()->pictures_shown();
        window_->preview()->Present(frame);
        WaitFor([&] { return window_->preview()->pictures_shown() > before; });
        const QImage shown = window_->grab().toImage();
        const int dpr = qRound(shown.devicePixelRatio());
        auto at = [&](int px, int py) { return shown.pixelColor(px * dpr, py * dpr); };
        // The picture's extent along the middle row and column of the place,
        // and one pixel beyond the place on every side.
        int left = -1, right = -1, top = -1, bottom = -1;
        for (int px = place.left() - 1; px <= place.right() + 1; ++px) {
            if (!green(at(px, place.center().y()))) continue;
            if (left < 0) left = px;
            right = px;
        }
        for (int py = place.top() - 1; py <= place.bottom() + 1; ++py) {
            if (!green(at(place.center().x(), py))) continue;
            if (top < 0) top = py;
            bottom = py;
        }
        ASSERT_GE(left, place.left());
        EXPECT_LE(right, place.right());
        EXPECT_GE(top, place.top());
        EXPECT_LE(bottom, place.bottom());
        EXPECT_NEAR(left - place.left(), place.right() - right, 2);
        EXPECT_NEAR(top - place.top(), place.bottom() - bottom, 2);
        // The shape is kept.
        EXPECT_NEAR(double(right - left + 1) / (bottom - top + 1), double(x) / y, 0.03);
    }
}

// A profile whose encoder does not exist fails every item: the finished
// window says so under a red cross and gives each reason whole.
TEST_F(MainWindowTest, ABatchWhoseItemsAllFailSaysSoInTheFinishedWindow) {
    core::SetField(window_->session().output_settings().VideoCodecName, "no-such-encoder");
    CheckOnly({1, 2});
    QString headline;
    QStringList reasons, tips;
    QImage shown;
    // The items fail at once: the finished window may show before the
    // conversion window is seen, so it is watched for itself.
    DialogWatch finished("finishedWindow", [&](QWidget* window) {
        headline = window->findChild<QLabel*>("finishedHeadline")->text();
        auto* list = window->findChild<QListWidget*>("finishedMessages");
        for (int i = 0; i < list->count(); ++i) {
            reasons << list->item(i)->text();
            tips << list->item(i)->toolTip();
        }
        shown = window->grab().toImage();
        QTest::mouseClick(window->findChild<QPushButton*>("finishedOk"), Qt::LeftButton);
    });
    QTest::mouseClick(Find<QPushButton>("startButton"), Qt::LeftButton);
    EXPECT_EQ(headline, "None of the 2 items could be converted.");
    ASSERT_EQ(reasons.size(), 2);
    const QString out = QString::fromStdString((folder_ / "out").string());
    EXPECT_TRUE(reasons[0].startsWith("Cannot create the output file: " + out + "/Title_03"))
        << reasons[0].toStdString();
    EXPECT_TRUE(reasons[1].contains(out + "/Title_04"));
    EXPECT_EQ(tips, reasons);
    // The mark is drawn in the colour of failure, with a cross through its
    // middle; nothing green is left of a success picture.
    const skin::Rect mark = skin::finished_window::kMark;
    const int dpr = qRound(shown.devicePixelRatio());
    const QPoint centre((mark.x + mark.width / 2) * dpr, (mark.y + mark.height / 2) * dpr);
    EXPECT_EQ(shown.pixelColor(centre - QPoint(14 * dpr, 0)),
              FinishedWindow::MarkColour(app::Ending::kAllFailed));
    EXPECT_EQ(shown.pixelColor(centre), QColor(Qt::white));
    EXPECT_FALSE(fs::exists(folder_ / "out" /
                            ("Title_03" + std::string(window_->session().profile().FormatExt))));
}

TEST_F(MainWindowTest, TabWalksEveryControlInReadingOrderWithAVisibleFocus) {
    QApplication::setActiveWindow(window_.get());
    QWidget* first = Find<QWidget>("fileMenuButton");
    first->setFocus(Qt::TabFocusReason);
    QStringList walked{first->objectName()};
    for (int i = 0; i < 100 && QApplication::focusWidget() != nullptr; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == first) break;
        walked << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(
        walked,
        QStringList({"fileMenuButton",   "editMenuButton", "clipMenuButton", "optionMenuButton",
                     "helpMenuButton",   "minimiseButton", "closeButton",    "addFileButton",
                     "effectButton",     "cropButton",     "trimButton",     "preferencesButton",
                     "queueButton",      "positionSlider", "backButton",     "playButton",
                     "stopButton",       "nextButton",     "snapshotButton", "snapshotFolderButton",
                     "titleList",        "audioList",      "subtitleList",   "profileList",
                     "settingsButton",   "mergeBox",       "outputField",    "browseButton",
                     "openFolderButton", "startButton",    "addQueueButton"}));
    // The button with the focus shows it, and Space presses it rather than
    // playing.
    auto* start = Find<QPushButton>("startButton");
    auto* browse = Find<QPushButton>("browseButton");
    start->clearFocus();
    const QImage plain = start->grab().toImage();
    start->setFocus(Qt::TabFocusReason);
    EXPECT_NE(start->grab().toImage(), plain);
    QSignalSpy pressed(browse, &QAbstractButton::clicked);
    // Space goes to the button only while it has the focus in the active window; without,
    // it is the player's key.
    QApplication::setActiveWindow(window_.get());
    browse->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(browse->hasFocus());
    {
        auto answer = ChooseInFileWindow(QString::fromStdString((folder_ / "out").string()));
        QTest::keyClick(browse, Qt::Key_Space);
        WaitFor([&] { return pressed.count() == 1; });
    }
    EXPECT_FALSE(Find<QAbstractButton>("pauseButton")->isVisible());
}

TEST_F(MainWindowTest, AltAndTheLetterOrF10OpenTheHeaderMenus) {
    QApplication::setActiveWindow(window_.get());
    for (const auto& [key, modifiers, name] :
         {std::tuple{Qt::Key_F, Qt::AltModifier, "fileMenu"},
          std::tuple{Qt::Key_E, Qt::AltModifier, "editMenu"},
          std::tuple{Qt::Key_C, Qt::AltModifier, "clipMenu"},
          std::tuple{Qt::Key_O, Qt::AltModifier, "optionMenu"},
          std::tuple{Qt::Key_H, Qt::AltModifier, "helpMenu"},
          std::tuple{Qt::Key_F10, Qt::NoModifier, "fileMenu"}}) {
        SCOPED_TRACE(name);
        auto* menu = Find<QMenu>(name);
        QTest::keyClick(window_.get(), key, modifiers);
        WaitFor([&] { return menu->isVisible(); });
        menu->close();
    }
}

TEST_F(MainWindowTest, EveryButtonHasANameAndOneWithoutWordsATooltip) {
    for (QAbstractButton* button : window_->findChildren<QAbstractButton*>()) {
        SCOPED_TRACE(button->objectName().toStdString());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(accessible, nullptr);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty());
        if (button->text().isEmpty()) {
            EXPECT_FALSE(button->toolTip().isEmpty());
        }
    }
    QAccessibleInterface* slider =
        QAccessible::queryAccessibleInterface(Find<QWidget>("positionSlider"));
    EXPECT_EQ(slider->text(QAccessible::Name), "Position");
    // A list is labelled by the words before it.
    QAccessibleInterface* audio = QAccessible::queryAccessibleInterface(Find<QWidget>("audioList"));
    QStringList labels;
    for (const auto& [other, relation] : audio->relations(QAccessible::Label))
        labels << other->text(QAccessible::Name);
    EXPECT_EQ(labels, QStringList({"Audio Track:"}));
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

#include "main_window_test.moc"
