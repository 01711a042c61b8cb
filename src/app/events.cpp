// The window's events reach their handlers here. Inputs (keys, clicks, the wheel, drops,
// commands) never nest: one that arrives while another is being handled (from inside a
// dialog's event loop) waits until that one is done, and while a step waits for its image,
// inputs that act on the shown image wait for it too. They then run in the order they
// came. Nothing a handler throws gets past this point.
#include "app/events.h"

#include "app/app.h"
#include "browse/navigation.h"
#include "browse/open.h"
#include "viewer.h"

namespace pavo {
namespace {

using InputHandler = std::function<void(Viewer&, int presses)>;

// Whether an input must wait: step keys move a jump's target instead.
bool inputWaits(const Viewer& viewer, bool steps) {
    if (viewer.input.handlerDepth > 0) return true;
    return stepUnderWay(viewer) && !(steps && stepKeysMoveTarget(viewer));
}

void handle(Viewer& viewer, int presses, const InputHandler& handler) {
    ++viewer.input.handlerDepth;
    runGuarded(viewer, [&] { handler(viewer, presses); });
    --viewer.input.handlerDepth;
}

// Presses of one key that wait one after another go together, as a held key's do.
void defer(Viewer& viewer, Key key, int presses, InputHandler handler) {
    std::deque<DeferredInput>& deferred = viewer.input.deferred;
    if (key != Key::Other && !deferred.empty() && deferred.back().key == key) {
        deferred.back().presses += presses;
        return;
    }
    deferred.push_back({[handler = std::move(handler)](Viewer& v, int n) { handle(v, n, handler); },
                        key, presses});
}

void input(Viewer& viewer, Key key, int presses, bool steps, InputHandler handler) {
    if (inputWaits(viewer, steps)) {
        defer(viewer, key, presses, std::move(handler));
        return;
    }
    handle(viewer, presses, handler);
    runDeferredInputs(viewer);
}

bool isModifier(Key key) {
    return key == Key::Shift || key == Key::Ctrl;
}

}  // namespace

void ViewerEvents::keyDown(Key key, int presses) {
    input(viewer_, key, presses, isStepKey(key), [key](Viewer& v, int n) { onKeyDown(v, key, n); });
}

void ViewerEvents::keyUp(Key key) {
    // Only a modifier's release changes what later inputs do: it keeps its place among them.
    if (!isModifier(key)) {
        runGuarded(viewer_, [&] { onKeyUp(viewer_, key); });
        return;
    }
    input(viewer_, Key::Other, 1, false, [key](Viewer& v, int) { onKeyUp(v, key); });
}

void ViewerEvents::command(int id) {
    input(viewer_, Key::Other, 1, false, [id](Viewer& v, int) { onCommand(v, id); });
}

void ViewerEvents::mouseButton(MouseButton button, MouseAction action) {
    const bool steps = button == MouseButton::Back || button == MouseButton::Forward;
    input(viewer_, Key::Other, 1, steps,
          [button, action](Viewer& v, int) { onMouseButton(v, button, action); });
}

void ViewerEvents::wheel(int delta, bool ctrl, bool shift) {
    input(viewer_, Key::Other, 1, !ctrl,
          [delta, ctrl, shift](Viewer& v, int) { onWheel(v, delta, ctrl, shift); });
}

void ViewerEvents::filesDropped(const QStringList& items) {
    input(viewer_, Key::Other, 1, false, [items](Viewer& v, int) { onDrop(v, items); });
}

void ViewerEvents::timer(int id) {
    runGuarded(viewer_, [&] { onTimer(viewer_, id); });
}
void ViewerEvents::resized() {
    runGuarded(viewer_, [&] { onSize(viewer_); });
}
void ViewerEvents::moved() {
    runGuarded(viewer_, [&] { onMove(viewer_); });
}
void ViewerEvents::paint(Painter& painter) {
    runGuarded(viewer_, [&] { onPaint(viewer_, painter); });
}
void ViewerEvents::focusChanged(bool gained) {
    runGuarded(viewer_, [&] { onFocusChange(viewer_, gained); });
}
void ViewerEvents::mouseMoved(int x, int y) {
    runGuarded(viewer_, [&] { onMouseMove(viewer_, x, y); });
}
void ViewerEvents::displayChanged() {
    runGuarded(viewer_, [&] { onDisplayChange(viewer_); });
}
void ViewerEvents::displayProfileChanged() {
    runGuarded(viewer_, [&] { onDisplayProfileChange(viewer_); });
}
void ViewerEvents::destroyed() {
    runGuarded(viewer_, [&] { onDestroy(viewer_); });
}
void ViewerEvents::sizing(SizingEdge edge, Rect& proposed) {
    runGuarded(viewer_, [&] { onSizing(viewer_, edge, proposed); });
}

}  // namespace pavo
