#pragma once
// The program's pictures, drawn rather than stored so that they stay sharp at
// any size and need no image files beside the program.
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace pressmark::gui {

// The picture covering the empty job list: an invitation to import.
QPixmap PanelPicture(QSize size);
// The splash window's picture: the product name over a stack of pages.
QPixmap SplashPicture(QSize size);
// The program's icon (the same artwork as the installed desktop icon).
QIcon ProgramIcon();

}  // namespace pressmark::gui
