#pragma once
// The About box's layout (dialog template 103) as data.

#include "resources/dialog_template.h"

namespace ressona {

inline constexpr int kAboutOkButton = 1;  // the dialog's OK command

const DialogTemplate& aboutTemplate();

}  // namespace ressona
