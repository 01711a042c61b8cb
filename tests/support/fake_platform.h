#pragma once

#include "platform/files.h"
#include "platform/platform.h"
#include "platform/trash.h"
#include "support/fake_dialogs.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace pavo::test {

struct RecordedBox {
    BoxOwner owner;
    QString text;
    QString caption;
};

struct RecordedInvalidation {
    Rect area;
    bool erase;
};

// Jobs that wait until the test runs one (oldest first by default) on a thread of its own:
// the order in which jobs end and hand their results back is the test's to choose.
class HeldJobs final : public JobRunner {
  public:
    void runJob(std::function<void()> work) override {
        const std::lock_guard lock(mutex_);
        held_.push_back(std::move(work));
    }
    bool runOne(std::size_t position = 0) {
        std::function<void()> work;
        {
            const std::lock_guard lock(mutex_);
            if (position >= held_.size()) return false;
            work = std::move(held_[position]);
            held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(position));
        }
        std::thread(std::move(work)).join();
        return true;
    }
    [[nodiscard]] std::size_t waiting() const {
        const std::lock_guard lock(mutex_);
        return held_.size();
    }

  private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> held_;
};

// A desktop that records what the logic asks of it: by default one 1920 x 1080 monitor
// with a 1920 x 1040 work area, and a window frame of 16 x 59 (borders, caption, menu
// bar). Like Qt, it reports geometry changes back at once (resized, then moved), frames
// the window only once it is shown, and keeps what other threads post to the
// user-interface thread queued until the test runs it.
// Jobs run on a real thread pool unless a test hands them to a runner of its own. Boxes and
// dialogs are modal: while one is open `modalLoop` runs (by default, the queue).
class FakePlatform : public Platform {
  public:
    void attach(WindowEvents& e, const WindowSetup& /*setup*/) override { events = &e; }
    void showInitial(const Rect& outer, bool maximise) override {
        setWindowRect(outer);
        if (maximise) changeGeometry([&] { maximized = true; });
    }
    void showMessageBox(BoxOwner owner, const QString& text, const QString& caption) override {
        boxes.push_back({owner, text, caption});
        runModalLoop();
    }
    void refreshGeometry() override {}
    void runJob(std::function<void()> work) override {
        jobRunner != nullptr ? jobRunner->runJob(std::move(work)) : pool.runJob(std::move(work));
    }
    [[nodiscard]] int jobsUnderWay() const { return pool.jobsUnderWay(); }
    bool runHeldJobs() {
        auto* held = dynamic_cast<HeldJobs*>(jobRunner);
        bool ran = false;
        while (held != nullptr && held->runOne()) ran = true;
        return ran;
    }
    void runModalLoop() { modalLoop ? modalLoop() : static_cast<void>(runQueued()); }
    void beep(BeepKind kind) override { beeps.push_back(kind); }
    // The boxes shown so far, each as "caption: text".
    [[nodiscard]] QStringList boxTexts() const {
        QStringList shown;
        for (const RecordedBox& box : boxes) shown << box.caption + ": " + box.text;
        return shown;
    }

    [[nodiscard]] std::optional<WindowPlacement> windowPlacement() const override {
        if (!placement) return std::nullopt;
        if (placement->normal != Rect{}) return placement;
        return WindowPlacement{normal, isMaximized() ? 3 : 1};
    }
    void restorePlacement(const WindowPlacement& p) override {
        restoredPlacements.push_back(p);
        changeGeometry([&] {
            normal = p.normal;
            maximized = p.showCommand == 3;
        });
    }

    [[nodiscard]] Rect windowRect() const {
        if (style == WindowStyle::Fullscreen) return monitor.monitor;
        if (maximized)
            return {monitor.work.left - 8, monitor.work.top - 8, monitor.work.right + 8,
                    monitor.work.bottom + 8};
        return normal;
    }
    [[nodiscard]] Size clientSize() const {
        const Rect outer = windowRect();
        const Size f = currentFrame();
        return {std::max(0, outer.width() - f.width), std::max(0, outer.height() - f.height)};
    }
    [[nodiscard]] bool isMaximized() const { return maximized || style == WindowStyle::Fullscreen; }
    [[nodiscard]] double refreshRate() const override { return 60.0; }

    void setWindowRect(const Rect& outer) override {
        windowRects.push_back(outer);
        changeGeometry([&] {
            shown = true;
            normal = outer;
            if (heightLimit) normal.bottom = std::min(normal.bottom, normal.top + *heightLimit);
            maximized = false;
        });
    }
    void moveWindow(int left, int top) override {
        moves.push_back({left, top});
        changeGeometry([&] { normal = {left, top, left + normal.width(), top + normal.height()}; });
    }
    void setWindowStyle(WindowStyle s) override {
        styles.push_back(s);
        changeGeometry([&] {
            style = s;
            if (s == WindowStyle::Fullscreen) maximized = false;
        });
    }
    void setTitle(const QString& t) override { titles.push_back(t); }

    void invalidate(const Rect& area, bool erase) override {
        invalidations.push_back({area, erase});
    }
    void redrawNow(const Rect& area) override { redraws.push_back(area); }

    void armTimer(int id, int milliseconds) override { timers[id] = milliseconds; }
    void killTimer(int id) override { timers.erase(id); }
    [[nodiscard]] bool timerPending(int id) const { return timers.contains(id); }
    [[nodiscard]] int timerPeriod(int id) const { return timers.at(id); }

    [[nodiscard]] GeometrySnapshot geometrySnapshot() const override {
        return {windowRect(), clientSize(), isMaximized(), monitor, monitor.monitor};
    }
    // Changes the geometry, then tells the handler what changed, as Qt does within the call.
    template <typename Change>
    void changeGeometry(Change change) {
        const GeometrySnapshot before = geometrySnapshot();
        change();
        const GeometrySnapshot after = geometrySnapshot();
        if (events == nullptr) return;
        if (after.client != before.client || after.maximized != before.maximized) events->resized();
        if (after.window.left != before.window.left || after.window.top != before.window.top)
            events->moved();
    }
    void runOnUiThread(std::function<void()> task) override {
        const std::lock_guard lock(mutex);
        queued.push_back(std::move(task));
    }
    // Runs what other threads posted to the user-interface thread, at most `most` tasks,
    // oldest first; false when nothing was waiting.
    bool runQueued(std::size_t most = SIZE_MAX) {
        std::vector<std::function<void()>> tasks;
        {
            const std::lock_guard lock(mutex);
            for (; tasks.size() < most && !queued.empty(); queued.pop_front())
                tasks.push_back(std::move(queued.front()));
        }
        for (auto& task : tasks) task();
        return !tasks.empty();
    }

    [[nodiscard]] Point cursorPosition() const override { return cursor; }
    [[nodiscard]] Point cursorInClient() const override {
        const Rect outer = windowRect();
        const Size f = currentFrame();
        return {cursor.x - outer.left - f.width / 2,
                cursor.y - outer.top - (f.height - f.width / 2)};
    }
    void captureMouse() override { captured = true; }
    void releaseMouse() override { captured = false; }
    void dragWindowTo(int left, int top) override { moveWindow(left, top); }
    [[nodiscard]] bool leftButtonHeld() const override { return leftDown; }
    [[nodiscard]] bool rightButtonHeld() const override { return rightDown; }

    int changeCursorCounter(bool show) override { return show ? ++cursorCounter : --cursorCounter; }
    [[nodiscard]] std::optional<bool> cursorShowing() const override {
        if (!cursorReadable) return std::nullopt;
        return cursorCounter >= 0;
    }
    [[nodiscard]] bool isActiveWindow() const override { return active; }
    [[nodiscard]] bool modifierHeld(Modifier /*key*/) const override { return false; }

    void postQuit(int code) override { quitCode = code; }
    void destroyWindow() override {}
    void bringToFront() override { ++broughtToFront; }
    void openUrl(const QString& url) override { openedUrls.push_back(url); }
    [[nodiscard]] QByteArray displayProfile(const Rect& /*area*/) const override {
        return displayIcc;
    }
    // Without a script of the test's the dialog opens and is cancelled.
    int runDialog(DialogId id, DialogHandler& handler) override {
        dialogsRun.push_back(id);
        runModalLoop();
        if (onDialog) return onDialog(id, handler);
        FakeDialogControls controls;
        handler.opened(controls);
        return handler.pressed(controls, kCancelButton).value_or(kCancelButton);
    }

    bool askYesNo(const QString& text, const QString& caption) override {
        questions.push_back({BoxOwner::MainWindow, text, caption});
        runModalLoop();
        return answerYes;
    }
    QStringList chooseFiles(const QString& title) override {
        fileDialogTitles.push_back(title);
        runModalLoop();
        return chosenFiles;
    }
    std::optional<QString> askPosition(std::int32_t position, std::int32_t count) override {
        positionsAsked.emplace_back(position, count);
        runModalLoop();
        return positionTyped;
    }
    // The file goes to the trash folder, or stays where it is when the trash refuses it.
    TrashResult moveToTrash(const QString& path) override {
        trashed.push_back(path);
        if (realTrash && !trashRefuses) return moveFileToTrash(path);
        if (trashRefuses || trashFolder.isEmpty()) return TrashResult::Refused;
        const QByteArray name = encodeFileName(path).mid(encodeFileName(path).lastIndexOf('/'));
        return std::rename(encodeFileName(path).constData(),
                           (encodeFileName(trashFolder) + name).constData()) == 0
                   ? TrashResult::Moved
                   : TrashResult::Refused;
    }
    [[nodiscard]] QString executableDirectory() const override { return programFolder; }

    // The frame of the current style; the window manager frames a window when it maps it.
    [[nodiscard]] Size currentFrame() const {
        if (!shown || style == WindowStyle::Fullscreen) return {0, 0};
        if (style == WindowStyle::ImageOnly) return {16, 16};
        if (style == WindowStyle::NoMenu) return {frame.width, frame.height - 20};
        return frame;
    }

    mutable std::mutex mutex;  // guards the queue, which jobs post to
    WindowEvents* events = nullptr;
    MonitorInfo monitor{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}};
    Size frame{16, 59};
    Rect normal{0, 0, 600, 800};
    bool shown = false;
    std::optional<int> heightLimit;  // a window manager that keeps windows this low
    bool maximized = false;
    WindowStyle style = WindowStyle::Normal;
    std::optional<WindowPlacement> placement = WindowPlacement{};  // zero: ask the window itself

    std::vector<RecordedBox> boxes;
    std::vector<BeepKind> beeps;
    std::vector<Rect> windowRects;
    std::vector<std::pair<int, int>> moves;
    std::vector<WindowStyle> styles;
    std::vector<WindowPlacement> restoredPlacements;
    std::vector<QString> titles;
    std::vector<RecordedInvalidation> invalidations;
    std::vector<Rect> redraws;
    std::map<int, int> timers;  // pending: id -> period
    int cursorCounter = 0;
    bool cursorReadable = true;
    bool active = true;
    std::optional<int> quitCode;
    QString programFolder = QStringLiteral("/opt/pavo/");
    int broughtToFront = 0;
    std::vector<RecordedBox> questions;
    bool answerYes = true;
    std::vector<QString> fileDialogTitles;
    QStringList chosenFiles;  // empty: the dialog is cancelled
    std::vector<std::pair<std::int32_t, std::int32_t>> positionsAsked;
    std::optional<QString> positionTyped;  // nothing: Cancel
    std::vector<QString> trashed;
    QString trashFolder;     // where trashed files go; empty: no trash
    bool realTrash = false;  // the desktop's own trash instead
    bool trashRefuses = false;
    std::vector<QString> openedUrls;
    QByteArray displayIcc;  // the monitor's colour profile; empty is sRGB
    std::vector<DialogId> dialogsRun;
    std::function<int(DialogId, DialogHandler&)> onDialog;
    std::deque<std::function<void()>> queued;
    std::function<void()> modalLoop;  // what runs while a box or dialog is open
    JobRunner* jobRunner = nullptr;   // where jobs run instead of the pool
    Point cursor;                     // screen coordinates
    bool captured = false;
    bool leftDown = false;
    bool rightDown = false;
    ThreadPool pool;  // last: it goes first, waiting for the jobs that post to this
};

}  // namespace pavo::test
