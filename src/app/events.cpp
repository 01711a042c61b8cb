#include "app/events.h"

#include "app/app.h"
#include "viewer.h"

namespace pavo {

void ViewerEvents::keyDown(Key key, int presses) {
    onKeyDown(viewer_, key, presses);
}
void ViewerEvents::keyUp(Key key) {
    onKeyUp(viewer_, key);
}
void ViewerEvents::command(int id) {
    onCommand(viewer_, id);
}
void ViewerEvents::timer(int id) {
    onTimer(viewer_, id);
}
void ViewerEvents::resized() {
    onSize(viewer_);
}
void ViewerEvents::moved() {
    onMove(viewer_);
}
void ViewerEvents::paint(Painter& painter) {
    onPaint(viewer_, painter);
}
void ViewerEvents::focusChanged(bool gained) {
    onFocusChange(viewer_, gained);
}
void ViewerEvents::mouseMoved(int x, int y) {
    onMouseMove(viewer_, x, y);
}
void ViewerEvents::mouseButton(MouseButton button, MouseAction action) {
    onMouseButton(viewer_, button, action);
}
void ViewerEvents::wheel(int delta, bool ctrl, bool shift) {
    onWheel(viewer_, delta, ctrl, shift);
}
void ViewerEvents::displayChanged() {
    onDisplayChange(viewer_);
}
void ViewerEvents::destroyed() {
    onDestroy(viewer_);
}
void ViewerEvents::sizing(SizingEdge edge, Rect& proposed) {
    onSizing(viewer_, edge, proposed);
}

void ViewerEvents::filesDropped(const QStringList& items) {
    onDrop(viewer_, items);
}

}  // namespace pavo
