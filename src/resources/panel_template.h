#pragma once
// The control panel's layout (dialog template 101) as data.

#include "resources/dialog_template.h"

namespace ressona {

const DialogTemplate& panelTemplate();

}  // namespace ressona
