// SPDX-License-Identifier: GPL-2.0-or-later
// The program's message box, on the skin: the mark of its kind, the
// message, a line saying what to do next when the caller knows one, and OK
// (or Yes and No for a question).
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace rizuvira::ui {

class SkinButton;

enum class MessageKind { kError, kWarning, kQuestion, kInformation };

// exec() returns Accepted for OK or Yes, Rejected for No, Escape or the
// header's close. A question's default button is No; any other box's is OK.
// The window is named "messageBox" unless the caller names it otherwise.
class SkinMessageBox final : public QDialog {
    Q_OBJECT
public:
    SkinMessageBox(MessageKind kind, const QString& title, const QString& message,
                   const QString& next_step = {}, QWidget* parent = nullptr);

    MessageKind kind() const { return kind_; }
    // The message as given; the box shows it with break chances after each
    // '/', so a long path wraps instead of widening the box.
    const QString& message() const { return message_; }

    // Asks `question`; true when the user answers Yes.
    static bool Ask(QWidget* parent, const QString& title, const QString& question,
                    const QString& next_step = {});
    // Shows a message with OK and waits until it is closed.
    static void Tell(QWidget* parent, MessageKind kind, const QString& title,
                     const QString& message, const QString& next_step = {});

private:
    MessageKind kind_;
    QString message_;
};

}  // namespace rizuvira::ui
