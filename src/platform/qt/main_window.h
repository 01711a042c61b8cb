#pragma once

#include "platform/geometry.h"
#include "platform/qt/image_view.h"
#include "platform/window.h"

#include <QMainWindow>

#include <map>
#include <mutex>

class QTimer;

namespace pavo::qt {

// The main window: menu bar, the image view as its client area, the viewer's timers,
// and every input forwarded to the window procedure.
class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow();

    // Connects the viewer's handler and builds the menu and the accelerator.
    void attach(WindowEvents& events, const WindowSetup& setup);
    ImageView* view() const { return view_; }

    void applyStyle(WindowStyle style);
    // Moves and sizes the outer window (frame included).
    void setOuterGeometry(const Rect& outer);
    Rect outerGeometry() const;
    Rect outerNormalGeometry() const;

    // The geometry as last published on the user-interface thread; any thread.
    GeometrySnapshot geometrySnapshot() const;
    // Publishes the current geometry for worker threads.
    void publishGeometry() const;

    void armTimer(int id, int milliseconds);
    void stopTimer(int id);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void buildMenu(const WindowSetup& setup);
    void clientResized();
    QMargins frameMargins() const;
    Qt::Edges borderEdgesAt(QPoint position) const;

    WindowEvents* events_ = nullptr;
    ImageView* view_;
    QWidget* border_;  // holds the view; its margin is the sizing border of level 1
    std::map<int, QTimer*> timers_;
    WindowStyle style_ = WindowStyle::Normal;
    QRect expectedOuter_;  // the last geometry Pavo asked for itself
    QRect lastOuter_;      // the outer geometry at the previous size change
    mutable std::map<WindowStyle, QMargins> framePerStyle_;  // as last seen while shown
    mutable std::mutex snapshotMutex_;
    mutable GeometrySnapshot snapshot_;
};

}  // namespace pavo::qt
