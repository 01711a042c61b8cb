#include "platform/qt/key_batch.h"

#include <QMetaObject>

namespace pavo::qt {
namespace {

bool isModifier(Key key) {
    return key == Key::Shift || key == Key::Ctrl;
}

}  // namespace

void KeyBatch::add(Key key, bool press) {
    if (events_ == nullptr) return;
    pending_.push_back({key, press});
    if (pending_.size() > 1) return;  // a delivery is already on its way
    QMetaObject::invokeMethod(
        &context_, [this] { deliver(); }, Qt::QueuedConnection);
}

void KeyBatch::deliver() {
    // A key's handler may open a dialog, whose event loop adds to a fresh batch.
    std::vector<Entry> batch;
    batch.swap(pending_);
    for (std::size_t i = 0; i < batch.size();) {
        const Entry entry = batch[i++];
        if (!entry.press) {
            events_->keyUp(entry.key);
            continue;
        }
        // Releases of the same key between its presses change nothing but the time of
        // the last activity; a modifier's release ends the run.
        int presses = 1;
        bool released = false;
        while (i < batch.size() && batch[i].key == entry.key &&
               (batch[i].press || !isModifier(entry.key))) {
            presses += batch[i].press ? 1 : 0;
            released = !batch[i].press;
            ++i;
        }
        events_->keyDown(entry.key, presses);
        if (released) events_->keyUp(entry.key);
    }
}

}  // namespace pavo::qt
