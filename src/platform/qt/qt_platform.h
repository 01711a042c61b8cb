#pragma once

#include "platform/platform.h"
#include "platform/qt/main_window.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace pavo::qt {

// The desktop as Qt on Linux offers it.
class QtPlatform final : public Platform {
  public:
    QtPlatform();
    ~QtPlatform() override;
    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;
    QtPlatform(QtPlatform&&) = delete;
    QtPlatform& operator=(QtPlatform&&) = delete;

    MainWindow& window() { return *window_; }
    // Whether postQuit was called, and with which code.
    [[nodiscard]] bool quitRequested() const { return quitRequested_; }
    [[nodiscard]] int quitCode() const { return quitCode_; }

    void attach(WindowEvents& events, const WindowSetup& setup) override;
    void showInitial(const Rect& outer, bool maximized) override;
    void refreshGeometry() override;
    void runJob(std::function<void()> work) override;
    void showMessageBox(BoxOwner owner, const QString& text, const QString& caption) override;
    void beep(BeepKind kind) override;
    [[nodiscard]] std::optional<WindowPlacement> windowPlacement() const override;
    void restorePlacement(const WindowPlacement& placement) override;
    [[nodiscard]] double refreshRate() const override;
    void setWindowRect(const Rect& outer) override;
    void moveWindow(int left, int top) override;
    void dragWindowTo(int left, int top) override;
    void setWindowStyle(WindowStyle style) override;
    void setTitle(const QString& title) override;
    void invalidate(const Rect& area, bool erase) override;
    void redrawNow(const Rect& area) override;
    void armTimer(int id, int milliseconds) override;
    void killTimer(int id) override;
    int changeCursorCounter(bool show) override;
    [[nodiscard]] std::optional<bool> cursorShowing() const override;
    [[nodiscard]] bool isActiveWindow() const override;
    [[nodiscard]] bool modifierHeld(Modifier key) const override;
    [[nodiscard]] GeometrySnapshot geometrySnapshot() const override;
    void runOnUiThread(std::function<void()> task) override;
    [[nodiscard]] Point cursorPosition() const override;
    [[nodiscard]] Point cursorInClient() const override;
    void captureMouse() override;
    void releaseMouse() override;
    [[nodiscard]] bool leftButtonHeld() const override;
    [[nodiscard]] bool rightButtonHeld() const override;
    void postQuit(int code) override;
    void destroyWindow() override;
    [[nodiscard]] QString executableDirectory() const override;
    bool askYesNo(const QString& text, const QString& caption) override;
    QStringList chooseFiles(const QString& title) override;
    std::optional<QString> askPosition(std::int32_t position, std::int32_t count) override;
    TrashResult moveToTrash(const QString& path) override;
    void bringToFront() override;
    void openUrl(const QString& url) override;
    [[nodiscard]] QByteArray displayProfile(const Rect& area) const override;
    int runDialog(DialogId id, DialogHandler& handler) override;

  private:
    [[nodiscard]] QWidget* dialogOwner() const;
    void runUiTasks();

    std::unique_ptr<MainWindow> window_;
    std::mutex uiTasksMutex_;
    std::vector<std::function<void()>> uiTasks_;  // asked for by other threads
    int cursorCounter_ = 0;
    bool quitRequested_ = false;
    int quitCode_ = 0;
    ThreadPool jobs_;  // last: it goes first, waiting for the jobs that post to this
};

}  // namespace pavo::qt
