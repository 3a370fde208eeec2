// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/editor_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

#include "ui/form_widgets.h"
#include "ui/preview_surface.h"
#include "ui/qt_helpers.h"
#include "ui/range_select.h"
#include "ui/skin_slider.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {
namespace {

constexpr int kTickMs = 100;
// Each picture area, in its own surface's pixels.
constexpr RECT kPictureArea{0, 0, 380, 284};
// The range control reaches half a thumb beyond the time slider on each side, so that its
// thumbs stand over the slider's marks.
constexpr int kRangeOverhang = 9;

app::EditorLayout SurfaceLayout() {
    app::EditorLayout layout;
    layout.left_area = kPictureArea;
    layout.right_area = kPictureArea;
    return layout;
}

QToolButton* TransportButton(const QString& tip, const QIcon& icon, const char* name) {
    auto* button = new QToolButton;
    button->setIcon(icon);
    button->setIconSize(QSize(22, 22));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QPushButton* PlainButton(const QString& text, const char* name) {
    auto* button = new QPushButton(text);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QIcon Swatch(uint32_t colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.setBrush(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    painter.drawRect(0, 0, 15, 15);
    return QIcon(pixmap);
}

Qt::CursorShape CursorShape(app::TrackerCursor cursor) {
    switch (cursor) {
        case app::TrackerCursor::kSizeDiagonal:
            return Qt::SizeFDiagCursor;
        case app::TrackerCursor::kSizeVertical:
            return Qt::SizeVerCursor;
        case app::TrackerCursor::kSizeAntiDiagonal:
            return Qt::SizeBDiagCursor;
        case app::TrackerCursor::kSizeHorizontal:
            return Qt::SizeHorCursor;
        case app::TrackerCursor::kMove:
            return Qt::SizeAllCursor;
        case app::TrackerCursor::kArrow:
            break;
    }
    return Qt::ArrowCursor;
}

}  // namespace

EditorWindow::EditorWindow(core::ConvertItem* row, const core::OutputSettings& output,
                           app::EditorPage mode, const EditorSource& source,
                           const core::Watermark& watermark, core::MessageSink* messages,
                           QWidget* parent)
    : QDialog(parent),
      row_(row),
      output_(output),
      source_(source),
      editor_(*row, output, mode, source.picture, SurfaceLayout()),
      graph_(messages),
      preview_control_(
          &graph_, [this] { return LoadPreview(); }, this) {
    setObjectName("editorWindow");
    setWindowTitle(source.name.empty() ? tr("Edit") : tr("Edit %1").arg(Q(source.name)));
    setModal(true);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    editor_.SetWatermark(watermark);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);
    layout->addWidget(BuildPictures());
    layout->addWidget(BuildTimeline());
    layout->addWidget(BuildTransport());
    layout->addSpacing(4);
    layout->addWidget(BuildTabs());
    pages_ = new QStackedWidget;
    pages_->setObjectName("editorPages");
    pages_->addWidget(BuildTrimPage());
    pages_->addWidget(BuildCropPage());
    pages_->addWidget(BuildEffectPage());
    pages_->addWidget(BuildWatermarkPage());
    pages_->setMinimumHeight(110);
    layout->addWidget(pages_);
    layout->addStretch(1);
    AddSkinFooter(layout)->addWidget(BuildButtons());
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (SkinLayoutWindow(this, skin::editor_window::kArt).close != nullptr &&
        !source.name.empty()) {
        // After the band's title as the skin painter draws it (its icon, then
        // the words in bold 11 points), whatever the language's word.
        const skin::Rect place = skin::editor_window::kSourceName;
        const skin::Words& title = skin::editor_window::kWords[0];
        QFont band(QStringLiteral("DejaVu Sans"));
        band.setPixelSize(qRound(title.point_size * 96.0 / 72.0));
        band.setBold(true);
        const int after =
            title.rect.x + 30 +
            QFontMetrics(band).horizontalAdvance(QCoreApplication::translate("skin", title.text)) +
            16;
        const int x = std::max(place.x, after);
        auto* name = new QLabel(Q(source.name), this);
        name->setObjectName("headerText");
        name->setGeometry(x, place.y, place.x + place.width - x, place.height);
        QPalette light = name->palette();
        light.setColor(QPalette::WindowText, QColor(0xb8, 0xc4, 0xd4));
        name->setPalette(light);
    }

    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &EditorWindow::Tick);

    RefreshAll();
    ShowPage(mode);
    ShowState(false, false);
}

EditorWindow::~EditorWindow() {
    StopPreview();
}

// --- Layout ------------------------------------------------------------------

QWidget* EditorWindow::BuildPictures() {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    const QSize size(RectWidth(kPictureArea), RectHeight(kPictureArea));
    auto make = [&](const char* name, const QString& caption) {
        auto* column = new QVBoxLayout;
        column->setSpacing(4);
        auto* surface = new PreviewSurface;
        surface->setObjectName(QString::fromLatin1(name));
        surface->setFixedSize(size);
        surface->SetPlaceholderText(source_.dvd_handle != 0 ? tr("Loading the preview…")
                                                            : tr("No preview for this source"));
        auto* label = new QLabel(caption);
        label->setAlignment(Qt::AlignHCenter);
        label->setForegroundRole(QPalette::PlaceholderText);
        column->addWidget(surface);
        column->addWidget(label);
        row->addLayout(column);
        return surface;
    };
    left_ = make("sourcePicture", tr("Source: drag the frame to crop"));
    right_ = make("resultPicture", tr("Result"));
    left_->setMouseTracking(true);
    left_->installEventFilter(this);
    return box;
}

QWidget* EditorWindow::BuildTimeline() {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    time_slider_ = new SkinSlider;
    time_slider_->setObjectName("timeSlider");
    time_slider_->SetMode(SkinSlider::Mode::kSeparateMarks);
    time_slider_->SetRange(0, app::kTimeSliderRange);
    time_slider_->SetPictures("sliderbk_crop1.png", "sliderbk_crop2.png", "thumb.png");
    connect(time_slider_, &SkinSlider::released, this,
            [this](int value) { preview_control_.SeekSlider(value); });
    auto* slider_row = new QHBoxLayout;
    slider_row->setContentsMargins(kRangeOverhang, 0, kRangeOverhang, 0);
    slider_row->addWidget(time_slider_);
    column->addLayout(slider_row);

    range_ = new RangeSelect;
    range_->setObjectName("trimRange");
    range_->SetRange(app::kRangeControlRange);
    range_->SetPictures(QString(), "select.png");
    connect(range_, &RangeSelect::rangeChanging, this, [this](int start, int end) {
        editor_.DragRange(start, end, range_->range());
        RefreshTrim();
    });
    column->addWidget(range_);
    return box;
}

QWidget* EditorWindow::BuildTransport() {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    play_ = TransportButton(tr("Play"), ThemeIcon("media-playback-start", QStyle::SP_MediaPlay),
                            "editorPlay");
    pause_ = TransportButton(tr("Pause"), ThemeIcon("media-playback-pause", QStyle::SP_MediaPause),
                             "editorPause");
    auto* to_start = TransportButton(tr("Go to the start of the range"),
                                     ThemeIcon("media-skip-backward", QStyle::SP_MediaSkipBackward),
                                     "rangeStartButton");
    auto* mark_in = TransportButton(tr("Mark in: the slider's start mark at the range's start"),
                                    ThemeIcon("zone-in", QStyle::SP_ArrowRight), "markInButton");
    auto* mark_out = TransportButton(tr("Mark out: the slider's end mark at the range's end"),
                                     ThemeIcon("zone-out", QStyle::SP_ArrowLeft), "markOutButton");
    connect(play_, &QToolButton::clicked, this, &EditorWindow::Play);
    connect(pause_, &QToolButton::clicked, this, &EditorWindow::Pause);
    connect(to_start, &QToolButton::clicked, this, [this] {
        preview_control_.SeekTo(editor_.RangeStartSeconds(preview_control_.Duration()));
    });
    connect(mark_in, &QToolButton::clicked, this, [this] {
        editor_.MarkIn();
        RefreshTrim();
    });
    connect(mark_out, &QToolButton::clicked, this, [this] {
        editor_.MarkOut();
        RefreshTrim();
    });
    for (QToolButton* button : {play_, pause_, to_start, mark_in, mark_out}) row->addWidget(button);
    row->addSpacing(12);
    time_text_ = new QLabel(Q(app::EditorTimeText(0, 0)));
    time_text_->setObjectName("timeText");
    QFont mono = time_text_->font();
    mono.setFamily("DejaVu Sans Mono");
    mono.setStyleHint(QFont::Monospace);
    time_text_->setFont(mono);
    row->addWidget(time_text_);
    row->addStretch(1);

    auto* speaker = new QLabel;
    speaker->setPixmap(
        ThemeIcon("audio-volume-high", QStyle::SP_MediaVolume).pixmap(QSize(18, 18)));
    speaker->setToolTip(tr("Volume"));
    row->addWidget(speaker);
    volume_ = new SkinSlider;
    volume_->setObjectName("volumeSlider");
    volume_->SetRange(0, 512);
    volume_->setFixedWidth(100);  // the plain look's width; a track picture sets its own
    volume_->SetPictures("sliderbk1.png", "sliderbk2.png", "thumb.png");
    connect(volume_, &SkinSlider::valueChanging, this,
            [this](int value) { editor_.SetVolume(value); });
    row->addWidget(volume_);
    return box;
}

QWidget* EditorWindow::BuildTabs() {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    tabs_ = new QButtonGroup(this);
    tabs_->setExclusive(true);
    struct Tab {
        app::EditorPage page;
        QString text;
        const char* icon;
        const char* name;
    };
    const Tab tabs[] = {
        {app::EditorPage::kCrop, tr("Crop"), "transform-crop", "cropTab"},
        {app::EditorPage::kTrim, tr("Trim"), "edit-cut", "trimTab"},
        {app::EditorPage::kEffect, tr("Effect"), "color-management", "effectTab"},
        {app::EditorPage::kWatermark, tr("Watermark"), "insert-text", "watermarkTab"}};
    for (const Tab& tab : tabs) {
        auto* button = new QToolButton;
        button->setObjectName(QString::fromLatin1(tab.name));
        button->setText(tab.text);
        button->setIcon(ThemeIcon(tab.icon, QStyle::SP_FileIcon));
        button->setIconSize(QSize(18, 18));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setCheckable(true);
        button->setMinimumWidth(96);
        tabs_->addButton(button, static_cast<int>(tab.page));
        row->addWidget(button);
    }
    row->addStretch(1);
    connect(tabs_, &QButtonGroup::idClicked, this,
            [this](int id) { ShowPage(static_cast<app::EditorPage>(id)); });
    return box;
}

QWidget* EditorWindow::BuildTrimPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(8, 10, 8, 4);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    auto field = [](const char* name) {
        auto* edit = new QLineEdit;
        edit->setObjectName(QString::fromLatin1(name));
        edit->setPlaceholderText(tr("hh:mm:ss"));
        edit->setMaximumWidth(110);
        return edit;
    };
    start_field_ = field("startField");
    end_field_ = field("endField");
    length_field_ = field("lengthField");
    length_field_->setReadOnly(true);
    auto* apply_start = PlainButton(tr("Apply"), "applyStartButton");
    auto* apply_end = PlainButton(tr("Apply"), "applyEndButton");
    auto start = [this] {
        editor_.ApplyStartText(start_field_->text().toStdString());
        RefreshTrim();
    };
    auto end = [this] {
        editor_.ApplyEndText(end_field_->text().toStdString());
        RefreshTrim();
    };
    connect(apply_start, &QPushButton::clicked, this, start);
    connect(start_field_, &QLineEdit::returnPressed, this, start);
    connect(apply_end, &QPushButton::clicked, this, end);
    connect(end_field_, &QLineEdit::returnPressed, this, end);
    grid->addWidget(new QLabel(tr("Start Time:")), 0, 0);
    grid->addWidget(start_field_, 0, 1);
    grid->addWidget(apply_start, 0, 2);
    grid->addWidget(new QLabel(tr("End Time:")), 0, 4);
    grid->addWidget(end_field_, 0, 5);
    grid->addWidget(apply_end, 0, 6);
    grid->addWidget(new QLabel(tr("Select Length:")), 1, 0);
    grid->addWidget(length_field_, 1, 1);
    auto* hint =
        new QLabel(tr("Drag the pointers under the time line, or type a time and apply it."));
    hint->setForegroundRole(QPalette::PlaceholderText);
    grid->addWidget(hint, 2, 0, 1, 7);
    grid->setColumnMinimumWidth(3, 24);
    grid->setColumnStretch(7, 1);
    grid->setRowStretch(3, 1);
    return page;
}

QWidget* EditorWindow::BuildCropPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(8, 10, 8, 4);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    zoom_ = new QComboBox;
    zoom_->setObjectName("zoomList");
    for (const char* name : app::kZoomModeNames)
        zoom_->addItem(QCoreApplication::translate("editor", name));
    connect(zoom_, &QComboBox::activated, this, [this](int index) {
        editor_.SetZoomMode(index);
        RefreshCrop();
    });
    grid->addWidget(new QLabel(tr("Zoom Mode")), 0, 0);
    grid->addWidget(zoom_, 0, 1, 1, 3);

    const QString labels[4] = {tr("Left"), tr("Top"), tr("Right"), tr("Bottom")};
    const char* names[4] = {"cropLeft", "cropTop", "cropRight", "cropBottom"};
    const app::Editor::CropSide sides[4] = {
        app::Editor::CropSide::kLeft, app::Editor::CropSide::kTop, app::Editor::CropSide::kRight,
        app::Editor::CropSide::kBottom};
    const int limits[4] = {source_.picture.width, source_.picture.height, source_.picture.width,
                           source_.picture.height};
    for (int i = 0; i < 4; ++i) {
        auto* spin = new QSpinBox;
        spin->setObjectName(QString::fromLatin1(names[i]));
        // The editor pulls a typed number inside its neighbours; the box only bounds the typing.
        spin->setRange(0, std::max(limits[i], 1));
        spin->setKeyboardTracking(false);
        spin->setMinimumWidth(80);
        const app::Editor::CropSide side = sides[i];
        connect(spin, &QSpinBox::valueChanged, this,
                [this, side](int value) { CropTyped(side, value); });
        crop_[i] = spin;
        grid->addWidget(new QLabel(labels[i]), 1 + i / 2, (i % 2) * 2);
        grid->addWidget(spin, 1 + i / 2, (i % 2) * 2 + 1);
    }
    // Auto: the title's black borders become the crop.
    QPushButton* automatic = FormButton(tr("Auto"), "cropAuto", "zoom-fit-best");
    automatic->setToolTip(tr("Crop the black borders of the title"));
    automatic->setAutoDefault(false);
    automatic->setEnabled(!source_.disc_path.empty());
    connect(automatic, &QPushButton::clicked, this, &EditorWindow::AutoCrop);
    grid->addWidget(automatic, 1, 4, Qt::AlignLeft);
    crop_hint_ = new QLabel(tr("Source pixels of the %1 × %2 picture.")
                                .arg(source_.picture.width)
                                .arg(source_.picture.height));
    crop_hint_->setObjectName("cropHint");
    crop_hint_->setForegroundRole(QPalette::PlaceholderText);
    grid->addWidget(crop_hint_, 3, 0, 1, 5);
    grid->setColumnMinimumWidth(2, 60);
    grid->setColumnStretch(4, 1);
    return page;
}

QWidget* EditorWindow::BuildEffectPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(8, 10, 8, 4);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    struct Row {
        QString label;
        const char* name;
        int maximum;
        SkinSlider** slider;
    };
    const Row rows[3] = {{tr("Brightness"), "brightnessSlider", 256, &brightness_},
                         {tr("Contrast"), "contrastSlider", 360, &contrast_},
                         {tr("Saturation"), "saturationSlider", 128, &saturation_}};
    for (int i = 0; i < 3; ++i) {
        auto* slider = new SkinSlider;
        slider->setObjectName(QString::fromLatin1(rows[i].name));
        slider->SetRange(0, rows[i].maximum);
        slider->setMinimumWidth(300);
        slider->SetPictures("bg2-2.png", QString(), "kuang-2.png");
        *rows[i].slider = slider;
        effect_values_[i] = new QLabel;
        effect_values_[i]->setMinimumWidth(40);
        grid->addWidget(new QLabel(rows[i].label), i, 0);
        grid->addWidget(slider, i, 1);
        grid->addWidget(effect_values_[i], i, 2);
    }
    connect(brightness_, &SkinSlider::valueChanging, this, [this](int value) {
        editor_.SetBrightness(value);
        RefreshEffect();
    });
    connect(contrast_, &SkinSlider::valueChanging, this, [this](int value) {
        editor_.SetContrastSlider(value);
        RefreshEffect();
    });
    connect(saturation_, &SkinSlider::valueChanging, this, [this](int value) {
        editor_.SetSaturation(value);
        RefreshEffect();
    });
    grid->setColumnStretch(3, 1);
    return page;
}

QWidget* EditorWindow::BuildWatermarkPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(8, 10, 8, 4);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    mark_text_ = new QLineEdit;
    mark_text_->setObjectName("watermarkText");
    mark_text_->setPlaceholderText(tr("No watermark"));
    mark_text_->setMaxLength(core::kMaxWatermarkUnits);
    mark_text_->setClearButtonEnabled(true);
    connect(mark_text_, &QLineEdit::textEdited, this, &EditorWindow::WatermarkEdited);
    mark_font_ = PlainButton(QString(), "watermarkFont");
    mark_font_->setIcon(ThemeIcon("font", QStyle::SP_FileDialogDetailedView));
    connect(mark_font_, &QPushButton::clicked, this, &EditorWindow::ChooseFont);
    mark_colour_ = PlainButton(tr("Colour"), "watermarkColour");
    connect(mark_colour_, &QPushButton::clicked, this, &EditorWindow::ChooseColour);
    grid->addWidget(new QLabel(tr("Text:")), 0, 0);
    grid->addWidget(mark_text_, 0, 1, 1, 5);
    grid->addWidget(new QLabel(tr("Font:")), 1, 0);
    grid->addWidget(mark_font_, 1, 1, 1, 2);
    grid->addWidget(mark_colour_, 1, 3);

    auto position = [this](const char* name, int maximum) {
        auto* spin = new QSpinBox;
        spin->setObjectName(QString::fromLatin1(name));
        spin->setRange(0, std::max(maximum, 0));
        spin->setSuffix(tr(" px"));
        spin->setKeyboardTracking(false);
        connect(spin, &QSpinBox::valueChanged, this, &EditorWindow::WatermarkEdited);
        return spin;
    };
    // Inside the output frame; a place outside it would draw nothing.
    mark_x_ = position("watermarkX", output_.Width - 1);
    mark_y_ = position("watermarkY", output_.Height - 1);
    mark_opacity_ = new SkinSlider;
    mark_opacity_->setObjectName("watermarkOpacity");
    mark_opacity_->SetRange(0, 100);
    mark_opacity_->setMinimumWidth(160);
    mark_opacity_->SetPictures("bg2-2.png", QString(), "kuang-2.png");
    connect(mark_opacity_, &SkinSlider::valueChanging, this, &EditorWindow::WatermarkEdited);
    mark_opacity_text_ = new QLabel;
    mark_opacity_text_->setMinimumWidth(40);
    grid->addWidget(new QLabel(tr("x:")), 2, 0);
    grid->addWidget(mark_x_, 2, 1);
    grid->addWidget(new QLabel(tr("y:")), 2, 2, Qt::AlignRight);
    grid->addWidget(mark_y_, 2, 3);
    grid->addWidget(new QLabel(tr("Opacity:")), 2, 4, Qt::AlignRight);
    auto* opacity = new QHBoxLayout;
    opacity->addWidget(mark_opacity_);
    opacity->addWidget(mark_opacity_text_);
    grid->addLayout(opacity, 2, 5);
    grid->setColumnStretch(5, 1);
    return page;
}

QWidget* EditorWindow::BuildButtons() {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    QPushButton* reset = FooterButton("reset.png", "resetButton", box);
    QPushButton* ok = FooterButton("ok2.png", "okButton", box);
    QPushButton* cancel = FooterButton("cancel.png", "cancelButton", box);
    for (QPushButton* button : {reset, ok, cancel}) button->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, this, [this] {
        editor_.Reset();
        RefreshAll();
    });
    connect(ok, &QPushButton::clicked, this, &EditorWindow::accept);
    connect(cancel, &QPushButton::clicked, this, &EditorWindow::reject);
    row->addWidget(reset);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return box;
}

// --- Pages -------------------------------------------------------------------

void EditorWindow::ShowPage(app::EditorPage page) {
    editor_.ShowPage(page);
    pages_->setCurrentIndex(static_cast<int>(page));
    if (QAbstractButton* tab = tabs_->button(static_cast<int>(page))) tab->setChecked(true);
}

void EditorWindow::RefreshAll() {
    RefreshTrim();
    RefreshCrop();
    RefreshEffect();
    RefreshWatermark();
    volume_->SetValue(editor_.values().edit.volume);
}

void EditorWindow::RefreshTrim() {
    start_field_->setText(Q(editor_.StartText()));
    end_field_->setText(Q(editor_.EndText()));
    length_field_->setText(Q(editor_.LengthText()));
    const app::Editor::Thumbs marks = editor_.SliderMarks();
    time_slider_->SetMarks(marks.start, marks.end);
    const app::Editor::Thumbs thumbs = editor_.RangeThumbs();
    const double range = app::kRangeControlRange;
    // While a thumb is dragged it keeps its own place; the editor's trim follows it.
    if (!range_->dragging()) range_->SetFractions(thumbs.start / range, thumbs.end / range);
}

void EditorWindow::RefreshCrop() {
    const core::EditSettings& edit = editor_.values().edit;
    {
        const QSignalBlocker block(zoom_);
        zoom_->setCurrentIndex(std::clamp(edit.zoom_mode, 0, zoom_->count() - 1));
    }
    const int values[4] = {edit.crop_left, edit.crop_top, edit.crop_right, edit.crop_bottom};
    for (int i = 0; i < 4; ++i) {
        const QSignalBlocker block(crop_[i]);
        crop_[i]->setValue(values[i]);
    }
}

void EditorWindow::RefreshEffect() {
    const core::EditSettings& edit = editor_.values().edit;
    brightness_->SetValue(edit.brightness);
    contrast_->SetValue(editor_.ContrastSlider());
    saturation_->SetValue(edit.saturation);
    effect_values_[0]->setText(QString::number(edit.brightness));
    effect_values_[1]->setText(QString::number(edit.hue_degrees) + "°");
    effect_values_[2]->setText(QString::number(edit.saturation));
}

void EditorWindow::RefreshWatermark() {
    const core::Watermark& mark = editor_.watermark();
    if (mark_text_->text() != Q(mark.text)) mark_text_->setText(Q(mark.text));
    mark_font_->setText(tr("%1, %2 px").arg(Q(mark.font_family)).arg(mark.font_size_px));
    mark_colour_->setIcon(Swatch(mark.colour));
    for (auto [spin, value] : {std::pair{mark_x_, mark.x}, std::pair{mark_y_, mark.y}}) {
        const QSignalBlocker block(spin);
        spin->setValue(value);
    }
    const int percent = static_cast<int>(std::lround(mark.alpha * 100));
    mark_opacity_->SetValue(percent);
    mark_opacity_text_->setText(QString::number(percent) + " %");
}

void EditorWindow::AutoCrop() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool found =
        editor_.ApplyMeasuredCrop(app::MeasureDiscBorders(source_.disc_path, source_.title));
    QApplication::restoreOverrideCursor();
    crop_hint_->setText(found ? tr("Auto: the crop keeps the picture inside the black borders.")
                              : tr("Auto: the title could not be measured; the crop is kept."));
    RefreshCrop();
}

void EditorWindow::CropTyped(app::Editor::CropSide side, int value) {
    editor_.TypeCropNumber(side, value);
    RefreshCrop();
}

void EditorWindow::WatermarkEdited() {
    core::Watermark mark = editor_.watermark();
    mark.text = mark_text_->text().toStdString();
    mark.x = mark_x_->value();
    mark.y = mark_y_->value();
    mark.alpha = static_cast<float>(mark_opacity_->value()) / 100.0f;
    editor_.SetWatermark(mark);
    RefreshWatermark();
}

void EditorWindow::ChooseFont() {
    core::Watermark mark = editor_.watermark();
    QFont current(Q(mark.font_family));
    current.setPixelSize(std::max(mark.font_size_px, 1));
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, current, this, tr("Watermark Font"));
    if (!ok) return;
    mark.font_family = chosen.family().toStdString();
    const int pixels = chosen.pixelSize() > 0
                           ? chosen.pixelSize()
                           : static_cast<int>(std::lround(chosen.pointSizeF() * 96.0 / 72.0));
    mark.font_size_px = std::clamp(pixels, 4, 400);
    editor_.SetWatermark(mark);
    RefreshWatermark();
}

void EditorWindow::ChooseColour() {
    core::Watermark mark = editor_.watermark();
    const uint32_t c = mark.colour;
    const QColor chosen = QColorDialog::getColor(
        QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF), this, tr("Watermark Colour"));
    if (!chosen.isValid()) return;
    mark.colour = static_cast<uint32_t>(chosen.red()) | static_cast<uint32_t>(chosen.green()) << 8 |
                  static_cast<uint32_t>(chosen.blue()) << 16;
    editor_.SetWatermark(mark);
    RefreshWatermark();
}

// --- Crop tracker ------------------------------------------------------------

bool EditorWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == left_ && TrackerEvent(event)) return true;
    return QDialog::eventFilter(watched, event);
}

bool EditorWindow::TrackerEvent(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint at = mouse->position().toPoint();
    const app::Point p{at.x(), at.y()};
    switch (type) {
        case QEvent::MouseButtonPress:
            if (mouse->button() != Qt::LeftButton || !editor_.PressTracker(p)) return false;
            break;
        case QEvent::MouseMove:
            if (editor_.tracking()) {
                editor_.DragTracker(p);
                RefreshCrop();
            } else {
                left_->setCursor(CursorShape(app::CursorForZone(editor_.HitTest(p))));
            }
            break;
        default:
            if (mouse->button() != Qt::LeftButton || !editor_.tracking()) return false;
            editor_.ReleaseTracker(p);
            RefreshCrop();
            break;
    }
    return true;
}

// --- Preview -----------------------------------------------------------------

void EditorWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (preview_started_) return;
    preview_started_ = true;
    // Once the window is up: the pictures start playing.
    QTimer::singleShot(0, this, &EditorWindow::Play);
}

void EditorWindow::StartPreview() {
    if (graph_open_ || source_.dvd_handle == 0) return;
    const RECT left = editor_.LeftPictureRect();
    const RECT right = editor_.RightPictureRect();
    graph_.SetArea(source_.title, source_.chapter);
    graph_open_ = graph_.Open(source_.dvd_handle, left_, &left, right_, &right,
                              source_.picture.width, source_.picture.height, [this] {
                                  QMetaObject::invokeMethod(this, &EditorWindow::DrainEvents,
                                                            Qt::QueuedConnection);
                              });
    if (!graph_open_) {
        graph_.Close();
        left_->SetPlaceholderText(tr("No preview: the title cannot be played"));
        right_->SetPlaceholderText(tr("The values can still be edited and saved"));
        return;
    }
    editor_.AttachPreview(&graph_, source_.audio_id, source_.subtitle_id);
}

bool EditorWindow::LoadPreview() {
    if (!graph_open_)
        StartPreview();
    else if (graph_.IsStopped())
        editor_.AttachPreview(&graph_, source_.audio_id, source_.subtitle_id);
    return graph_open_;
}

void EditorWindow::Play() {
    preview_control_.Play();
}

void EditorWindow::Pause() {
    preview_control_.Pause();
}

bool EditorWindow::playing() const {
    return preview_control_.playing();
}

void EditorWindow::ShowState(bool playing, bool ticking) {
    play_->setVisible(!playing);
    pause_->setVisible(playing);
    if (!ticking)
        timer_.stop();
    else if (!timer_.isActive())
        timer_.start();
}

void EditorWindow::ShowStopped() {
    time_slider_->SetValue(0);
}

void EditorWindow::Tick() {
    const std::optional<app::PreviewPosition> at = preview_control_.Position();
    if (!at) return;
    if (at->slider != time_slider_->value()) time_slider_->SetValue(at->slider);
    time_text_->setText(Q(app::EditorTimeText(at->position_seconds, at->duration_seconds)));
}

void EditorWindow::DrainEvents() {
    preview_control_.TakeEvents();
}

void EditorWindow::StopPreview() {
    preview_control_.Unload();
    editor_.DetachPreview();
    if (graph_open_) graph_.Close();
    graph_open_ = false;
}

// --- Closing -----------------------------------------------------------------

void EditorWindow::accept() {
    editor_.Accept(*row_);
    QDialog::accept();
}

void EditorWindow::done(int result) {
    StopPreview();
    QDialog::done(result);
}

}  // namespace rizuvira::ui
