// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/shutdown_window.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/qt_helpers.h"
#include "ui/skin.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {

ShutdownWindow::ShutdownWindow(std::unique_ptr<app::ShutdownCountdown> countdown,
                               std::function<void()> shut_down, QWidget* parent)
    : QDialog(parent), countdown_(std::move(countdown)), shut_down_(std::move(shut_down)) {
    setObjectName("shutdownWindow");
    setWindowTitle(tr("Shut Down"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    namespace art = skin::shutdown_window;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 12);
    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    auto* icon = new QLabel(this);
    QPixmap mark = SkinPicture(QString::fromUtf8(art::kMark));
    if (mark.isNull())
        mark = style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(art::kMarkSize);
    icon->setPixmap(mark);
    icon->setFixedSize(art::kMarkSize, art::kMarkSize);
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* words = new QVBoxLayout;
    words->setSpacing(4);
    words->addWidget(new QLabel(tr("The conversion has ended."), this));
    text_ = new QLabel(this);
    text_->setObjectName("countdownText");
    QFont bold = text_->font();
    bold.setBold(true);
    text_->setFont(bold);
    words->addWidget(text_);
    words->addWidget(new QLabel(tr("Press Cancel to keep the computer running."), this));
    row->addLayout(words, 1);
    layout->addLayout(row);
    layout->addStretch(1);
    QHBoxLayout* buttons = AddSkinFooter(layout);
    buttons->addStretch(1);
    QPushButton* cancel = FooterButton("cancel.png", "cancelButton", this);
    connect(cancel, &QPushButton::clicked, this, &ShutdownWindow::reject);
    buttons->addWidget(cancel);
    cancel->setDefault(true);
    cancel->setFocus();
    SkinLayoutWindow(this, art::kArt);

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ShutdownWindow::Tick);
    timer->start(250);
    Tick();
}

void ShutdownWindow::Tick() {
    if (countdown_->TakeDue()) {
        text_->setText(tr("Shutting down..."));
        shut_down_();
        close();
        return;
    }
    text_->setText(Q(countdown_->Text()));
}

void ShutdownWindow::reject() {
    countdown_->Cancel();
    QDialog::reject();
}

CountdownActions::CountdownActions(engine::SystemActions* system, core::MessageSink* messages,
                                   std::function<int64_t()> now_ms)
    : system_(system), messages_(messages), now_ms_(std::move(now_ms)) {}

CountdownActions::~CountdownActions() {
    delete window_.data();
}

bool CountdownActions::ShutDown(std::string*) {
    // The batch's end is reported after this call, and the conversion
    // window then shows the finished window, which is modal. Showing the
    // countdown one turn of the event loop after that puts it above the
    // finished window, so its Cancel stays within reach.
    QMetaObject::invokeMethod(
        qApp,
        [this] {
            QMetaObject::invokeMethod(
                qApp, [this] { OpenWindow(); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return true;
}

void CountdownActions::OpenWindow() {
    if (window_ != nullptr) return;
    auto shut_down = [this] {
        std::string error;
        if (!system_->ShutDown(&error))
            messages_->ShowMessage(engine::kCannotShutDownMessage + error);
    };
    window_ = new ShutdownWindow(
        std::make_unique<app::ShutdownCountdown>(app::kShutDownCountdownSeconds, now_ms_),
        shut_down);
    window_->setWindowModality(Qt::ApplicationModal);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool CountdownActions::OpenFolder(const std::filesystem::path& folder, std::string* error) {
    return system_->OpenFolder(folder, error);
}

}  // namespace rizuvira::ui
