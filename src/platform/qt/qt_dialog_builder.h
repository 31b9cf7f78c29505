#pragma once
// Private to the Qt skin: a dialog template turned into widgets. Each control
// becomes a widget at its converted rectangle, in template order, drawn with
// the dialog's font and style; group boxes and pictures lie beneath the
// controls, and group boxes let the mouse through. What the controls do is
// wired by the dialog's owner.

#include <QFont>
#include <QWidget>
#include <memory>
#include <vector>

#include "resources/dialog_template.h"
#include "platform/qt/qt_dialog_units.h"

namespace ressona {

struct DialogWidgets {
    QFont font;
    DialogUnits units;
    std::unique_ptr<DialogStyle> style;  // declared first: outlives the widgets
    std::unique_ptr<QWidget> window;
    std::vector<QWidget*> controls;      // in template order, owned by window
};

// Fills `window` with the template's controls, gives it the dialog's caption,
// the program's icon and the template's fixed size and position.
DialogWidgets buildDialog(const DialogTemplate& dialog, std::unique_ptr<QWidget> window);

// The caption of a push button, broken into lines when it is marked multi-line.
QString buttonCaption(const ControlTemplate& control, std::string_view caption,
                      const QFont& font, int width);

}  // namespace ressona
