// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/options_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/form_widgets.h"
#include "ui/qt_helpers.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {

OptionsWindow::OptionsWindow(app::ConversionOptions* options,
                             const std::vector<std::string>& sound_tracks, int chapters,
                             QWidget* parent)
    : QDialog(parent), options_(options) {
    setObjectName("optionsWindow");
    setWindowTitle(tr("Conversion Options"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(12);

    QGridLayout* picture = nullptr;
    QGroupBox* picture_group = FormGroup(tr("Picture"), &picture);
    deinterlace_ = new QComboBox;
    deinterlace_->setObjectName("deinterlaceList");
    deinterlace_->addItems(
        {tr("Automatic"), tr("Always"), tr("Never")});  // DeinterlaceMode's order
    deinterlace_->setCurrentIndex(static_cast<int>(options->cleanup.deinterlace));
    AddFormRow(picture, tr("Deinterlace:"), deinterlace_);
    auto_crop_ = new QCheckBox(tr("Crop the black borders of every title"));
    auto_crop_->setObjectName("autoCropBox");
    auto_crop_->setChecked(options->cleanup.auto_crop);
    picture->addWidget(auto_crop_, picture->rowCount(), 1);

    QGridLayout* tracks = nullptr;
    QGroupBox* tracks_group = FormGroup(tr("Tracks"), &tracks);
    subtitles_ = new QComboBox;
    subtitles_->setObjectName("subtitleModeList");
    subtitles_->addItems({tr("Drawn into the picture"), tr("Kept as subtitle tracks")});
    subtitles_->setCurrentIndex(options->soft_subtitles ? 1 : 0);
    AddFormRow(tracks, tr("Subtitles:"), subtitles_);
    sound_ = new QListWidget;
    sound_->setObjectName("soundTrackList");
    sound_->setToolTip(tr("Each ticked track is written; the first one is the default track"));
    for (size_t i = 0; i < sound_tracks.size(); ++i) {
        auto* item = new QListWidgetItem(Q(sound_tracks[i]), sound_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const int position = static_cast<int>(i) + 1;
        const auto& ticked = options->sound_tracks;
        item->setCheckState(std::find(ticked.begin(), ticked.end(), position) != ticked.end()
                                ? Qt::Checked
                                : Qt::Unchecked);
    }
    sound_->setMaximumHeight(110);
    AddFormRow(tracks, tr("Sound tracks:"), sound_);
    // The selected title's chapters: a range becomes its trim.
    first_chapter_ = new QSpinBox;
    first_chapter_->setObjectName("firstChapter");
    last_chapter_ = new QSpinBox;
    last_chapter_->setObjectName("lastChapter");
    for (QSpinBox* spin : {first_chapter_, last_chapter_}) {
        spin->setRange(1, std::max(chapters, 1));
        spin->setEnabled(chapters > 1);
        spin->setMinimumWidth(70);
        connect(spin, &QSpinBox::valueChanged, this, [this] { chapters_touched_ = true; });
    }
    last_chapter_->setValue(std::max(chapters, 1));
    chapters_touched_ = false;
    auto* range = new QWidget;
    auto* range_row = new QHBoxLayout(range);
    range_row->setContentsMargins(0, 0, 0, 0);
    range_row->addWidget(first_chapter_);
    range_row->addWidget(new QLabel(tr("to")));
    range_row->addWidget(last_chapter_);
    range_row->addStretch(1);
    AddFormRow(tracks, tr("Chapters:"), range);
    AlignLabelColumns({picture, tracks});

    layout->addWidget(picture_group);
    layout->addWidget(tracks_group);
    layout->addStretch(1);
    QHBoxLayout* buttons = AddSkinFooter(layout);
    buttons->addStretch(1);
    QPushButton* ok = FooterButton("ok2.png", "okButton", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    QPushButton* cancel = FooterButton("cancel.png", "cancelButton", this);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    SkinLayoutWindow(this, skin::options_window::kArt);
}

void OptionsWindow::accept() {
    options_->cleanup.deinterlace =
        static_cast<core::DeinterlaceMode>(deinterlace_->currentIndex());
    options_->cleanup.auto_crop = auto_crop_->isChecked();
    options_->soft_subtitles = subtitles_->currentIndex() == 1;
    options_->sound_tracks.clear();
    for (int i = 0; i < sound_->count(); ++i)
        if (sound_->item(i)->checkState() == Qt::Checked) options_->sound_tracks.push_back(i + 1);
    chapters_chosen_ = chapters_touched_ && first_chapter() <= last_chapter();
    QDialog::accept();
}

int OptionsWindow::first_chapter() const {
    return first_chapter_->value();
}

int OptionsWindow::last_chapter() const {
    return last_chapter_->value();
}

}  // namespace rizuvira::ui
