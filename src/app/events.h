#pragma once

#include "platform/window.h"

namespace pavo {

struct Viewer;

// The viewer's window procedure: each event of the main window goes to its handler.
class ViewerEvents final : public WindowEvents {
  public:
    explicit ViewerEvents(Viewer& viewer) : viewer_(viewer) {}

    void keyDown(Key key, int presses) override;
    void keyUp(Key key) override;
    void command(int id) override;
    void timer(int id) override;
    void resized() override;
    void moved() override;
    void paint(Painter& painter) override;
    void focusChanged(bool gained) override;
    void mouseMoved(int x, int y) override;
    void mouseButton(MouseButton button, MouseAction action) override;
    void wheel(int delta, bool ctrl, bool shift) override;
    void displayChanged() override;
    void displayProfileChanged() override;
    void destroyed() override;
    void sizing(SizingEdge edge, Rect& proposed) override;
    void filesDropped(const QStringList& items) override;

  private:
    Viewer& viewer_;
};

}  // namespace pavo
