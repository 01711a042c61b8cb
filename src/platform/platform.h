#pragma once

#include "platform/any_thread.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/geometry.h"
#include "platform/jobs.h"
#include "platform/window.h"

namespace pavo {

// Everything the logic asks of the desktop, by role. The real implementation lives in
// platform/qt, the test fake in tests/support; logic never includes a widget header.
class Platform : public Window,
                 public WindowInput,
                 public Desktop,
                 public AnyThread,
                 public Dialogs,
                 public JobRunner {};

}  // namespace pavo
