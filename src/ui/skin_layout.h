// SPDX-License-Identifier: GPL-2.0-or-later
// One description of each skinned window: the size of its background
// picture, the panels and words drawn on it, and where each button picture
// goes. The skin painter (tools/skin_painter.cpp) draws the pictures from it
// at build time, and the windows place their controls by it, so a picture and
// the control standing on it cannot drift apart.
//
// Plain data, no Qt: the painter and the windows both include it.
#pragma once

#include <cstring>
#include <span>

// The words of the pictures are marked for the translator; the skin painter
// draws a copy of each picture for every translation it is given.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, source) source
#endif

namespace rizuvira::ui::skin {

struct Rect {
    int x, y, width, height;
};

// How a button picture is drawn. Every button picture holds four frames side
// by side: normal, mouse over, pressed (or current), disabled.
enum class Look {
    kTool,     // icon above its label, on the window's face
    kMedia,    // a round icon button
    kMenu,     // words on the dark header band
    kCaption,  // minimise, on the header band
    kClose,    // close, on the header band; red under the mouse
    kPush,     // a framed button with icon and label
    kAccent,   // the button that does the window's main work
    kTab,      // a page tab; pressed is the current page
};

struct ButtonArt {
    const char* file;
    int width, height;  // of one frame
    Look look;
    const char* label;
    const char* icon;  // icon name of the theme, or nullptr
};

// Every button picture, once: windows that share a picture share its look.
inline constexpr ButtonArt kButtons[] = {
    {"addfile.png", 108, 56, Look::kTool, QT_TRANSLATE_NOOP("skin", "Add File"), "list-add"},
    {"effect.png", 108, 56, Look::kTool, QT_TRANSLATE_NOOP("skin", "Effect"), "color-management"},
    {"crop.png", 108, 56, Look::kTool, QT_TRANSLATE_NOOP("skin", "Crop"), "transform-crop"},
    {"trim.png", 108, 56, Look::kTool, QT_TRANSLATE_NOOP("skin", "Trim"), "edit-cut"},
    {"Preferences.png", 108, 56, Look::kTool, QT_TRANSLATE_NOOP("skin", "Preferences"),
     "configure"},
    {"back.png", 36, 36, Look::kMedia, "", "media-skip-backward"},
    {"play.png", 36, 36, Look::kMedia, "", "media-playback-start"},
    {"pause.png", 36, 36, Look::kMedia, "", "media-playback-pause"},
    {"stop.png", 36, 36, Look::kMedia, "", "media-playback-stop"},
    {"next.png", 36, 36, Look::kMedia, "", "media-skip-forward"},
    {"snap.png", 36, 36, Look::kMedia, "", "camera-photo"},
    {"open.png", 36, 36, Look::kMedia, "", "folder-pictures"},
    {"settings.png", 96, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Settings"),
     "settings-configure"},
    {"browse.png", 96, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Browse.."), "folder-open"},
    {"openfolder.png", 116, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Open Folder"), "folder"},
    {"star.png", 120, 56, Look::kAccent, QT_TRANSLATE_NOOP("skin", "Start"),
     "media-playback-start"},
    {"min.png", 26, 20, Look::kCaption, "", "window-minimize"},
    {"close.png", 26, 20, Look::kClose, "", "window-close"},
    {"file.png", 64, 34, Look::kMenu, QT_TRANSLATE_NOOP("skin", "File"), nullptr},
    {"edit.png", 84, 34, Look::kMenu, QT_TRANSLATE_NOOP("skin", "Edit"), nullptr},
    {"clip.png", 60, 34, Look::kMenu, QT_TRANSLATE_NOOP("skin", "Clip"), nullptr},
    {"option.png", 80, 34, Look::kMenu, QT_TRANSLATE_NOOP("skin", "Option"), nullptr},
    {"help.png", 64, 34, Look::kMenu, QT_TRANSLATE_NOOP("skin", "Help"), nullptr},
    {"ok2.png", 76, 28, Look::kAccent, QT_TRANSLATE_NOOP("skin", "OK"), nullptr},
    {"cancel.png", 76, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Cancel"), nullptr},
    {"Pause2.png", 100, 30, Look::kPush, QT_TRANSLATE_NOOP("skin", "Pause"),
     "media-playback-pause"},
    {"continue2.png", 100, 30, Look::kPush, QT_TRANSLATE_NOOP("skin", "Continue"),
     "media-playback-start"},
    {"Cancel.png", 100, 30, Look::kPush, QT_TRANSLATE_NOOP("skin", "Cancel"), "dialog-cancel"},
    {"queue.png", 108, 56, Look::kTool, QT_TRANSLATE_NOOP("skin", "Queue"), "view-list-details"},
    {"addqueue.png", 120, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Add to Queue"), "list-add"},
    {"queueup.png", 84, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Up"), "go-up"},
    {"queuedown.png", 84, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Down"), "go-down"},
    {"queueremove.png", 100, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Remove"), "list-remove"},
    {"queueclear.png", 130, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Clear Ended"),
     "edit-clear-history"},
    {"queuestart.png", 130, 28, Look::kAccent, QT_TRANSLATE_NOOP("skin", "Start Queue"),
     "media-playback-start"},
    {"yes.png", 76, 28, Look::kAccent, QT_TRANSLATE_NOOP("skin", "Yes"), nullptr},
    {"no.png", 76, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "No"), nullptr},
    {"reset.png", 96, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Reset"), "edit-reset"},
    {"default.png", 96, 28, Look::kPush, QT_TRANSLATE_NOOP("skin", "Default"), "edit-undo"},
};

constexpr const ButtonArt* FindButton(const char* file) {
    for (const ButtonArt& art : kButtons)
        if (std::strcmp(art.file, file) == 0) return &art;
    return nullptr;
}

// A button picture at its top-left point in the window.
struct Place {
    const char* file;
    int x, y;
};

enum class PanelKind {
    kScreen,  // the dark frame a picture plays in
    kSheet,   // a white sheet with a thin border (lists)
    kCard,    // a raised group of controls
    kRule,    // a one-pixel line across the rectangle's top
    kFooter,  // a darker strip under a line, behind a window's buttons
};

struct Panel {
    Rect rect;
    PanelKind kind;
};

// Words that belong to the picture itself.
struct Words {
    Rect rect;
    const char* text;
    int point_size;
    bool bold;
    bool light;  // white on the header band, else the face's text colour
};

struct WindowArt {
    const char* file;
    int width, height;
    int header_height;  // the dark band across the top
    const char* icon;   // drawn at the band's left, or nullptr
    std::span<const Panel> panels;
    std::span<const Words> words;
    std::span<const Place> buttons;
};

// --- The main window ----------------------------------------------------------

namespace main_window {

inline constexpr Rect kTitle{44, 0, 300, 34};
inline constexpr Rect kPreview{32, 110, 296, 209};
inline constexpr Rect kSlider{32, 326, 296, 20};
inline constexpr Rect kList{335, 110, 454, 238};
inline constexpr Rect kStatus{335, 356, 454, 36};
inline constexpr int kLabelX = 32;
inline constexpr int kFieldX = 116;
inline constexpr int kFieldWidth = 304;
inline constexpr int kRowHeight = 26;
inline constexpr int kAudioY = 400;
inline constexpr int kSubtitleY = 428;
inline constexpr int kProfileY = 457;
inline constexpr int kOutputY = 492;
inline constexpr Rect kMerge{534, 459, 138, 24};

inline constexpr Place kButtons[] = {
    {"addfile.png", 19, 40},    {"effect.png", 134, 40},      {"crop.png", 248, 40},
    {"trim.png", 363, 40},      {"Preferences.png", 477, 40}, {"queue.png", 591, 40},
    {"addqueue.png", 674, 491}, {"back.png", 39, 356},        {"play.png", 80, 356},
    {"pause.png", 80, 356},     {"stop.png", 121, 356},       {"next.png", 162, 356},
    {"snap.png", 224, 356},     {"open.png", 265, 356},       {"settings.png", 428, 456},
    {"browse.png", 428, 491},   {"openfolder.png", 532, 491}, {"star.png", 674, 416},
    {"min.png", 755, 9},        {"close.png", 787, 9},        {"file.png", 360, 0},
    {"edit.png", 424, 0},       {"clip.png", 508, 0},         {"option.png", 568, 0},
    {"help.png", 648, 0},
};

inline constexpr Panel kPanels[] = {
    {{0, 104, 820, 1}, PanelKind::kRule},
    {kPreview, PanelKind::kScreen},
    {{kList.x - 1, kList.y - 1, kList.width + 2, kList.height + 2}, PanelKind::kSheet},
    {{20, 392, 780, 136}, PanelKind::kCard},
};

inline constexpr WindowArt kArt{"maindlg.png",         820,     540, 34,
                                "media-optical-video", kPanels, {},  kButtons};

}  // namespace main_window

// --- The conversion window ----------------------------------------------------

namespace conversion_window {

inline constexpr Rect kFile{20, 42, 454, 28};
inline constexpr Rect kPreview{86, 78, 322, 242};
inline constexpr Rect kShowPreview{86, 326, 200, 24};
inline constexpr int kLabelX = 36;
inline constexpr int kValueX = 150;
inline constexpr int kBarWidth = 308;
inline constexpr int kItemBarY = 362;
inline constexpr int kBatchBarY = 390;
inline constexpr int kTimeY = 418;
inline constexpr int kLengthY = 442;
inline constexpr int kShutDownY = 476;
inline constexpr int kOpenFolderY = 500;
inline constexpr Rect kMessages{86, 214, 322, 106};

inline constexpr Place kButtons[] = {
    {"Pause2.png", 36, 540},
    {"continue2.png", 36, 540},
    {"Cancel.png", 358, 540},
    {"close.png", 462, 9},
};

inline constexpr Panel kPanels[] = {
    {kPreview, PanelKind::kScreen},
    {{20, 352, 454, 174}, PanelKind::kCard},
};

inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Converting"), 11, true, true},
};

inline constexpr WindowArt kArt{"convertingbk.png",    494,     586,    34,
                                "media-optical-video", kPanels, kWords, kButtons};

}  // namespace conversion_window

// --- The queue window -----------------------------------------------------------

namespace queue_window {

inline constexpr Rect kList{20, 48, 700, 300};
inline constexpr Rect kStatus{20, 356, 700, 22};

inline constexpr Place kButtons[] = {
    {"queueup.png", 20, 388},     {"queuedown.png", 110, 388},  {"queueremove.png", 200, 388},
    {"queueclear.png", 306, 388}, {"queuestart.png", 590, 388}, {"close.png", 706, 7},
};

inline constexpr Panel kPanels[] = {
    {{kList.x - 1, kList.y - 1, kList.width + 2, kList.height + 2}, PanelKind::kSheet},
};

inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Queue"), 11, true, true},
};

inline constexpr WindowArt kArt{"queuedlg.png", 740, 430, 34, nullptr, kPanels, kWords, kButtons};

}  // namespace queue_window

// --- The About window ---------------------------------------------------------

namespace about_window {

inline constexpr Rect kName{150, 70, 270, 34};
inline constexpr Rect kVersion{150, 104, 270, 22};
inline constexpr Rect kHomeLink{150, 230, 270, 22};
inline constexpr Rect kSupportLink{150, 256, 270, 22};

inline constexpr Place kButtons[] = {
    {"ok2.png", 340, 315},
    {"close.png", 410, 8},
};

inline constexpr Panel kPanels[] = {
    {{20, 216, 400, 0}, PanelKind::kRule},
};

inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "About"), 11, true, true},
    {{150, 136, 270, 72},
     QT_TRANSLATE_NOOP("skin",
                       "Converts the titles of a DVD into files for every player, to the frame."),
     10,
     false,
     false},
};

inline constexpr WindowArt kArt{"aboutdlg.png", 446, 360, 34, nullptr, kPanels, kWords, kButtons};

// The large picture on the left of the window.
inline constexpr Rect kEmblem{26, 66, 104, 104};
inline constexpr const char* kEmblemIcon = "media-optical-video";

}  // namespace about_window

// --- The conversion-finished window -------------------------------------------

namespace finished_window {

// The picture carries no words about the outcome: the window writes what
// happened and draws its mark (a check, a cross, a warning or a stop) itself.
inline constexpr Rect kMark{22, 48, 44, 44};
inline constexpr Rect kHeadline{80, 44, 364, 26};
inline constexpr Rect kDetail{80, 70, 364, 34};
// The files written; with messages to show, the upper part of the place
// only, the messages below it.
inline constexpr Rect kFiles{20, 110, 420, 144};
inline constexpr int kFilesWithMessagesHeight = 56;
inline constexpr Rect kMessages{20, 172, 420, 82};

inline constexpr Place kButtons[] = {
    {"openfolder.png", 20, 264},
    {"ok2.png", 364, 264},
    {"close.png", 426, 7},
};

inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Conversion"), 11, true, true},
};

inline constexpr WindowArt kArt{"converterok_bg.png", 460, 304, 34, nullptr, {}, kWords, kButtons};

}  // namespace finished_window

// --- Windows whose controls stand in a layout ----------------------------------
//
// Their pictures are drawn at the size the layout takes with the desktop's
// usual font. A larger font makes the window larger: the plain face stretches
// (the band keeps its height, the footer its place at the bottom, and the
// header buttons their distance from the right edge).

// The header buttons of a window `width` wide: close at the right, minimise
// left of it.
constexpr Place CloseAt(int width) {
    return {"close.png", width - 34, 7};
}
constexpr Place MinimiseAt(int width) {
    return {"min.png", width - 62, 7};
}
// The footer behind the row of buttons at the window's bottom.
inline constexpr int kFooterHeight = 52;
constexpr Panel FooterOf(int width, int height) {
    return {{0, height - kFooterHeight, width, kFooterHeight}, PanelKind::kFooter};
}

namespace editor_window {
inline constexpr int kWidth = 826, kHeight = 657;
inline constexpr Place kButtons[] = {MinimiseAt(kWidth), CloseAt(kWidth)};
inline constexpr Panel kPanels[] = {FooterOf(kWidth, kHeight)};
inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Edit"), 11, true, true}};
inline constexpr WindowArt kArt{"cropbk.png",     kWidth,  kHeight, 34,
                                "transform-crop", kPanels, kWords,  kButtons};
// The name of the row being edited, on the band after the title.
inline constexpr Rect kSourceName{96, 0, 600, 34};
}  // namespace editor_window

namespace preferences_window {
inline constexpr int kWidth = 620, kHeight = 432;
inline constexpr Place kButtons[] = {CloseAt(kWidth)};
inline constexpr Panel kPanels[] = {FooterOf(kWidth, kHeight)};
inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Preferences"), 11, true, true}};
inline constexpr WindowArt kArt{"ProferencesDlg.png", kWidth,  kHeight, 34,
                                "configure",          kPanels, kWords,  kButtons};
}  // namespace preferences_window

namespace settings_window {
inline constexpr int kWidth = 600, kHeight = 420;
inline constexpr Place kButtons[] = {CloseAt(kWidth)};
inline constexpr Panel kPanels[] = {FooterOf(kWidth, kHeight)};
inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Settings"), 11, true, true}};
inline constexpr WindowArt kArt{"setdlgbk.png",       kWidth,  kHeight, 34,
                                "settings-configure", kPanels, kWords,  kButtons};
}  // namespace settings_window

namespace properties_window {
inline constexpr int kWidth = 400, kHeight = 330;
inline constexpr Place kButtons[] = {CloseAt(kWidth)};
inline constexpr Panel kPanels[] = {FooterOf(kWidth, kHeight)};
inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Properties"), 11, true, true}};
inline constexpr WindowArt kArt{"propertiesbk.png",    kWidth,  kHeight, 34,
                                "document-properties", kPanels, kWords,  kButtons};
}  // namespace properties_window

namespace log_window {
inline constexpr int kWidth = 760, kHeight = 454;
inline constexpr Place kButtons[] = {CloseAt(kWidth)};
inline constexpr Panel kPanels[] = {FooterOf(kWidth, kHeight)};
inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Activity Log"), 11, true, true}};
inline constexpr WindowArt kArt{"logbk.png",    kWidth,  kHeight, 34,
                                "view-history", kPanels, kWords,  kButtons};
}  // namespace log_window

namespace options_window {
inline constexpr int kWidth = 440, kHeight = 400;
inline constexpr Place kButtons[] = {CloseAt(kWidth)};
inline constexpr Panel kPanels[] = {FooterOf(kWidth, kHeight)};
inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Conversion Options"), 11, true, true}};
inline constexpr WindowArt kArt{"optionsbk.png", kWidth,  kHeight, 34,
                                "configure",     kPanels, kWords,  kButtons};
}  // namespace options_window

// The program's message box; the kind's mark stands left of the words.
namespace message_box {
inline constexpr int kWidth = 440, kHeight = 170;
inline constexpr Place kButtons[] = {CloseAt(kWidth)};
inline constexpr Panel kPanels[] = {FooterOf(kWidth, kHeight)};
inline constexpr Words kWords[] = {{{20, 0, 300, 34}, "Rizuvira DVD Converter", 11, true, true}};
inline constexpr WindowArt kArt{"msgbox.png",          kWidth,  kHeight, 34,
                                "media-optical-video", kPanels, kWords,  kButtons};
// The marks, in the order of MessageKind: error, warning, question,
// information.
inline constexpr int kMarkSize = 40;
inline constexpr const char* kMarks[] = {"msgerror.png", "msgwarning.png", "msgquestion.png",
                                         "msginformation.png"};
inline constexpr const char* kMarkIcons[] = {"dialog-error", "dialog-warning", "dialog-question",
                                             "dialog-information"};
}  // namespace message_box

// The minute before the computer shuts down.
namespace shutdown_window {
inline constexpr int kWidth = 420, kHeight = 170;
inline constexpr Place kButtons[] = {CloseAt(kWidth)};
inline constexpr Panel kPanels[] = {FooterOf(kWidth, kHeight)};
inline constexpr Words kWords[] = {
    {{20, 0, 300, 34}, QT_TRANSLATE_NOOP("skin", "Shut Down"), 11, true, true}};
inline constexpr WindowArt kArt{"shutdownbk.png",  kWidth,  kHeight, 34,
                                "system-shutdown", kPanels, kWords,  kButtons};
inline constexpr int kMarkSize = 40;
inline constexpr const char* kMark = "shutdownmark.png";
inline constexpr const char* kMarkIcon = "system-shutdown";
}  // namespace shutdown_window

// --- Pictures that are not windows --------------------------------------------

// The splash picture ("starup.jpg"), with the program's name and version
// written on it at start.
namespace splash {
inline constexpr int kWidth = 480;
inline constexpr int kHeight = 280;
inline constexpr Rect kName{40, 150, 400, 44};
inline constexpr Rect kLine{40, 196, 400, 24};
inline constexpr Rect kEmblem{188, 36, 104, 104};
}  // namespace splash

// Slider pictures: a track, the fill over the marked part, and a thumb.
struct SliderArt {
    const char* track;
    const char* fill;
    int width, height;
};
inline constexpr SliderArt kSliders[] = {
    {"sliderbk_main1.png", "sliderbk_main2.png", main_window::kSlider.width, 20},
    {"sliderbk_crop1.png", "sliderbk_crop2.png", 780, 20},
    {"sliderbk1.png", "sliderbk2.png", 100, 20},
};
inline constexpr int kThumbWidth = 14;
inline constexpr int kThumbHeight = 20;

// Progress fills, tiled across the bar.
inline constexpr const char* kProgressFills[] = {"progress1.png", "progress2.png"};
inline constexpr int kProgressHeight = 18;

// The face colours the windows use for words they draw themselves.
inline constexpr unsigned kHeaderText = 0xf2f5f9;
inline constexpr unsigned kFaceText = 0x1f2933;
inline constexpr unsigned kAccent = 0x316ac5;

}  // namespace rizuvira::ui::skin
