#pragma once

#include "platform/geometry.h"

#include <QString>

namespace pavo {

struct Viewer;
class Painter;

// Where the display matrix's top-left pixel goes in the client area.
struct ImagePlacement {
    int x = 0;
    int y = 0;
    int sourceX = 0;
    int sourceY = 0;
};
ImagePlacement placeImage(Size client, Size display, int scrollX, int scrollY);

void drawImage(const Viewer& viewer, Painter& painter);
// Whether the overlay is on and there is an image under it to draw it over.
bool overlayDue(const Viewer& viewer);
QString overlayText(const Viewer& viewer);

struct ByteSizeText {
    QString number;
    QString unit;
};
ByteSizeText formatByteSize(float bytes);

}  // namespace pavo
