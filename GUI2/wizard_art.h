// The wizard's pictures, drawn rather than loaded: the program icon (501),
// the watermark (311) and header (312) bitmaps, and the frames of the
// connecting animation (502 to 509).
#pragma once

#include <QIcon>
#include <QPixmap>

QPixmap load_bitmap(int id);
QIcon load_icon(int id);
