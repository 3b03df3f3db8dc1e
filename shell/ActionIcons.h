// Toolbar pictures that the desktop's icon theme has no good name for, drawn here so that
// they stay sharp at any scale.
#pragma once

#include <QIcon>

namespace skimlet {

// A check list: boxes to tick beside the folders ("Выбор загружаемых рубрик").
QIcon ChecklistIcon();
// A picture with a down arrow: pictures are fetched with the news ("Загружать с рисунками").
QIcon PictureDownloadIcon();

}  // namespace skimlet
