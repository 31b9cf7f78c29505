#pragma once
// Private to the Qt skin: the About box (dialog template 103) as a QDialog.

#include "platform/qt/qt_dialog_builder.h"

namespace ressona {

// The About box's widgets; its window is a QDialog that OK (or Return) accepts.
DialogWidgets buildAboutBox();

}  // namespace ressona
