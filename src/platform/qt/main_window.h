#pragma once

#include "platform/platform.h"

#include <QMainWindow>
#include <QRegion>
#include <QWidget>

#include <map>
#include <mutex>

class QTimer;

namespace pavo::qt {

// The client area: draws the display matrix through the viewer's paint handler.
class ImageView final : public QWidget {
    Q_OBJECT
  public:
    explicit ImageView(QWidget* parent);

    void setEvents(WindowEvents* events) { events_ = events; }
    // Marks an area; `erase` fills it with the background before the next paint.
    void invalidate(const QRect& area, bool erase);
    // Paints `area` (and what is marked) before returning.
    void redrawNow(const QRect& area);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void forwardButton(QMouseEvent* event, MouseAction action);

    WindowEvents* events_ = nullptr;
    QRegion pendingErase_;
    bool ownRedraw_ = false;
};

// The main window: menu bar, the image view as its client area, the viewer's timers,
// and every input forwarded to the window procedure.
class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow();

    void setEvents(WindowEvents* events);
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
    friend class ImageView;
    void buildMenu();
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

// Maps a key of the main keyboard block to its virtual-key code; 0 for keys the
// viewer does not handle (keypad keys, Alt combinations).
int virtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers);

}  // namespace pavo::qt
