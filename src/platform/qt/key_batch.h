#pragma once

#include "platform/window.h"

#include <QObject>

#include <vector>

namespace pavo::qt {

// Holds the main window's key events until the window-system events that came with
// them have been handled, then passes them on in order. Presses of one key that
// follow each other go as one keyDown with their count: a held key's repeats that
// queued while the viewer decoded reach it together instead of one slow step each.
class KeyBatch {
  public:
    explicit KeyBatch(QObject& context) : context_(context) {}

    void attach(WindowEvents& events) { events_ = &events; }
    void press(Key key) { add(key, true); }
    void release(Key key) { add(key, false); }

  private:
    struct Entry {
        Key key;
        bool press;
    };
    void add(Key key, bool press);
    void deliver();

    QObject& context_;
    WindowEvents* events_ = nullptr;
    std::vector<Entry> pending_;
};

}  // namespace pavo::qt
