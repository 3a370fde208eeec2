// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/properties_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/form_widgets.h"
#include "ui/qt_helpers.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {

namespace {

// A value that can be selected and copied.
QLabel* Value(const std::string& text, const char* name) {
    auto* label = new QLabel(Q(text));
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(160);
    return label;
}

}  // namespace

PropertiesWindow::PropertiesWindow(const engine::StreamInfoList& streams, QWidget* parent,
                                   const std::string& bluray_title)
    : QDialog(parent) {
    setObjectName("propertiesWindow");
    setWindowTitle(tr("Properties"));
    setModal(true);
    const app::PropertiesTexts texts = app::MakePropertiesTexts(streams);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(12);

    QGridLayout* video = nullptr;
    QGroupBox* video_group = FormGroup(tr("Video Information"), &video);
    AddFormRow(video, tr("Resolution:"), Value(texts.resolution, "resolutionValue"));
    AddFormRow(video, tr("Video Bitrate:"), Value(texts.video_bitrate, "videoBitrateValue"));
    AddFormRow(video, tr("Frame Rate:"), Value(texts.frame_rate, "frameRateValue"));

    QGridLayout* audio = nullptr;
    QGroupBox* audio_group = FormGroup(tr("Audio Information"), &audio);
    AddFormRow(audio, tr("Audio Bitrate:"), Value(texts.audio_bitrate, "audioBitrateValue"));
    AddFormRow(audio, tr("Audio Sample Rate:"),
               Value(texts.audio_sample_rate, "audioSampleRateValue"));
    AddFormRow(audio, tr("Channels:"), Value(texts.channels, "channelsValue"));
    QGridLayout* title = nullptr;
    QGroupBox* title_group = nullptr;
    if (!bluray_title.empty()) {
        title_group = FormGroup(tr("Blu-ray Title"), &title);
        AddFormRow(title, tr("Playlist:"), Value(bluray_title, "playlistValue"));
        AlignLabelColumns({video, audio, title});
    } else {
        AlignLabelColumns({video, audio});
    }

    if (title_group) layout->addWidget(title_group);
    layout->addWidget(video_group);
    layout->addWidget(audio_group);
    layout->addStretch(1);
    QHBoxLayout* buttons = AddSkinFooter(layout);
    buttons->addStretch(1);
    QPushButton* ok = FooterButton("ok2.png", "okButton", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(ok);
    SkinLayoutWindow(this, skin::properties_window::kArt);
}

}  // namespace rizuvira::ui
