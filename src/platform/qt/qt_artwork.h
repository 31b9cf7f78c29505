#pragma once
// Private to the Qt skin: the logo bitmap and the program's icon painted from
// their shapes in resources/artwork.h.

#include <QIcon>
#include <QImage>

namespace ressona {

// The logo, 81 x 74 pixels of the 16-colour palette (drawn without smoothing).
QImage logoImage();
// The program's icon at each of its sizes.
QIcon programIcon();
QImage iconImage(int side);

}  // namespace ressona
