// The properties window: the picture and sound of the title loaded in the
// preview, in words (app::MakePropertiesTexts), and an OK button.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>

#include "app/properties.h"

namespace rizuvira::ui {

class PropertiesWindow final : public QDialog {
    Q_OBJECT
public:
    PropertiesWindow(const engine::StreamInfoList& streams, QWidget* parent = nullptr);
};

}  // namespace rizuvira::ui
