// SPDX-License-Identifier: GPL-2.0-or-later
// A list of messages that shows each one whole: long lines wrap, a path
// with no spaces breaks anywhere rather than being cut, the list scrolls,
// and each entry's tooltip repeats its text.
//
// Threads: the user-interface thread.
#pragma once

#include <QListWidget>

namespace rizuvira::ui {

class MessageList final : public QListWidget {
    Q_OBJECT
public:
    enum class Kind { kError, kWarning };

    explicit MessageList(QWidget* parent = nullptr);

    void Add(const QString& text, Kind kind = Kind::kError);
    QStringList texts() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace rizuvira::ui
