// The product's images: the tool bar's 32 x 32 pictures (normal and under the mouse) and the
// menu's 16 x 16 ones, drawn at run time so that they scale, and the splash and about pictures.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace Pictures {

// ilSiteBar, with the ilHotSideBar picture as the icon's Active mode; by the image index.
QIcon toolBarIcon(int index);
// ilMenuBar, by the image index; a null icon for an index without a picture.
QIcon menuIcon(int index);
// :/pictures/<name>.jpg
QPixmap picture(const QString &name);

} // namespace Pictures
