#pragma once
// The dialog's two pictures, drawn rather than loaded so that the plug-in
// carries no image files: the 49 x 49 header logo and the 16 x 16 window icon.
#include <QIcon>
#include <QPixmap>

namespace orbisk::qt {

QPixmap DrawLogo();
QIcon DrawWindowIcon();

}  // namespace orbisk::qt
