// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/custom_settings_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/form_widgets.h"
#include "ui/qt_helpers.h"
#include "ui/skin_input_dialog.h"
#include "ui/skin_message_box.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {

namespace {

struct ListRow {
    app::OutputList list;
    const char* label;
    const char* name;
};

constexpr ListRow kRows[app::kOutputListCount] = {
    {app::OutputList::kResolution, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Resolution:"),
     "resolutionList"},
    {app::OutputList::kFrameRate, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Frame Rate:"),
     "frameRateList"},
    {app::OutputList::kVideoEncoder, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Encoder:"),
     "videoEncoderList"},
    {app::OutputList::kVideoBitRate, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Bitrate:"),
     "videoBitRateList"},
    {app::OutputList::kSampleRate, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Sample Rate:"),
     "sampleRateList"},
    {app::OutputList::kChannels, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Channels:"),
     "channelsList"},
    {app::OutputList::kAudioEncoder, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Encoder:"),
     "audioEncoderList"},
    {app::OutputList::kAudioBitRate, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Bitrate:"),
     "audioBitRateList"},
    {app::OutputList::kQuality, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Quality:"),
     "qualityList"},
    {app::OutputList::kEncoderPreset, QT_TRANSLATE_NOOP("CustomSettingsWindow", "Speed:"),
     "encoderPresetList"},
};

}  // namespace

CustomSettingsWindow::CustomSettingsWindow(const core::OutputProfile& profile,
                                           app::ProfileLibrary* library,
                                           core::MessageSink* messages, QWidget* parent)
    : QDialog(parent), messages_(messages), form_(profile, library) {
    setObjectName("customSettingsWindow");
    setWindowTitle(tr("Settings"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(12);
    layout->addLayout(BuildPresets());
    auto* groups = new QHBoxLayout;
    groups->setSpacing(12);
    using app::OutputList;
    video_ = BuildGroup(
        tr("Video"), {OutputList::kResolution, OutputList::kFrameRate, OutputList::kVideoEncoder,
                      OutputList::kQuality, OutputList::kVideoBitRate, OutputList::kEncoderPreset});
    audio_ = BuildGroup(tr("Audio"), {OutputList::kSampleRate, OutputList::kChannels,
                                      OutputList::kAudioEncoder, OutputList::kAudioBitRate});
    groups->addWidget(video_, 1);
    groups->addWidget(audio_, 1);
    layout->addLayout(groups);
    AlignLabelColumns(
        {static_cast<QGridLayout*>(video_->layout()), static_cast<QGridLayout*>(audio_->layout())});

    auto* help = new QLabel(QCoreApplication::translate("settings", app::kOutputSettingsHelpText));
    help->setObjectName("helpText");
    help->setWordWrap(true);
    QPalette muted = help->palette();
    muted.setColor(QPalette::WindowText, muted.color(QPalette::PlaceholderText));
    help->setPalette(muted);
    layout->addWidget(help);
    layout->addStretch(1);
    AddSkinFooter(layout)->addLayout(BuildButtons());

    Refresh();
    SkinLayoutWindow(this, skin::settings_window::kArt);
}

QLayout* CustomSettingsWindow::BuildPresets() {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    presets_ = new QComboBox;
    presets_->setObjectName("presetList");
    presets_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    presets_->setMinimumContentsLength(24);
    connect(presets_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) Report(form_.ChoosePreset(presets_->itemData(index).toInt()));
        Refresh();
    });
    auto* label = new QLabel(tr("Format PreSet:"));
    label->setBuddy(presets_);
    QPushButton* save = FormButton(tr("Save as..."), "saveAsButton", "document-save-as");
    delete_ = FormButton(tr("Del"), "deleteButton", "edit-delete");
    connect(save, &QPushButton::clicked, this, qOverload<>(&CustomSettingsWindow::SaveAs));
    connect(delete_, &QPushButton::clicked, this, &CustomSettingsWindow::Delete);
    row->addWidget(label);
    row->addWidget(presets_, 1);
    row->addWidget(save);
    row->addWidget(delete_);
    return row;
}

QComboBox* CustomSettingsWindow::List(app::OutputList list) {
    auto* box = new QComboBox;
    box->setObjectName(QString::fromLatin1(kRows[static_cast<int>(list)].name));
    box->setMinimumContentsLength(12);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    if (list == app::OutputList::kResolution) {
        // Any typed size is taken; picking an entry puts its text in the field.
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        connect(box, &QComboBox::editTextChanged, this,
                [this](const QString& text) { form_.SetResolutionText(text.toStdString()); });
    }
    connect(box, &QComboBox::activated, this,
            [this, list](int index) { form_.Select(list, index); });
    lists_[static_cast<int>(list)] = box;
    return box;
}

QGroupBox* CustomSettingsWindow::BuildGroup(const QString& title,
                                            std::initializer_list<app::OutputList> lists) {
    QGridLayout* grid = nullptr;
    QGroupBox* group = FormGroup(title, &grid);
    for (app::OutputList list : lists) {
        const ListRow& row = kRows[static_cast<int>(list)];
        AddFormRow(grid, tr(row.label), List(row.list));
    }
    return group;
}

QLayout* CustomSettingsWindow::BuildButtons() {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    QPushButton* reset = FooterButton("default.png", "defaultButton", this);
    QPushButton* ok = FooterButton("ok2.png", "okButton", this);
    QPushButton* cancel = FooterButton("cancel.png", "cancelButton", this);
    ok->setDefault(true);
    connect(reset, &QPushButton::clicked, this, &CustomSettingsWindow::Default);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(reset);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

void CustomSettingsWindow::Refresh() {
    for (int i = 0; i < app::kOutputListCount; ++i) {
        QComboBox* box = lists_[i];
        const auto list = static_cast<app::OutputList>(i);
        const QSignalBlocker block(box);
        box->clear();
        for (const std::string& entry : form_.Entries(list)) box->addItem(Q(entry));
        box->setCurrentIndex(form_.Selection(list));
        if (list == app::OutputList::kResolution) box->setEditText(Q(form_.ResolutionText()));
    }
    const core::OutputSettings& s = form_.profile().Settings;
    video_->setEnabled(s.HasVideo == 1);
    audio_->setEnabled(s.HasAudio == 1);

    const QSignalBlocker block(presets_);
    presets_->clear();
    for (const app::CustomOutputSettings::Preset& preset : form_.Presets())
        presets_->addItem(Q(preset.name), preset.id);
    presets_->setCurrentIndex(form_.PresetSelection());
    delete_->setEnabled(form_.CanDelete());
}

bool CustomSettingsWindow::Report(const app::FormOutcome& outcome) {
    if (!outcome.ok && !outcome.message.empty()) messages_->ShowMessage(outcome.message);
    return outcome.ok;
}

void CustomSettingsWindow::Default() {
    Report(form_.Default());
    Refresh();
}

void CustomSettingsWindow::SaveAs() {
    SkinInputDialog ask(tr("Save as"), tr("Name of the new profile:"), {}, this);
    ask.setObjectName("profileNameDialog");
    if (ask.exec() != QDialog::Accepted) return;
    SaveAs(ask.textValue());
}

void CustomSettingsWindow::SaveAs(const QString& name) {
    Report(form_.SaveAs(name.toStdString()));
    Refresh();
}

void CustomSettingsWindow::Delete() {
    if (!form_.CanDelete()) return;
    SkinMessageBox ask(MessageKind::kQuestion, windowTitle(),
                       tr("Delete the profile \"%1\"?").arg(presets_->currentText()),
                       tr("A deleted profile cannot be brought back."), this);
    ask.setObjectName("deleteProfileQuestion");
    if (ask.exec() != QDialog::Accepted) return;
    Report(form_.Delete());
    Refresh();
}

void CustomSettingsWindow::accept() {
    if (!Report(form_.Ok())) return;
    QDialog::accept();
}

}  // namespace rizuvira::ui
