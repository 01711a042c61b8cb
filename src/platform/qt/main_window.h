#pragma once

#include "platform/geometry.h"
#include "platform/qt/image_view.h"
#include "platform/qt/key_batch.h"
#include "platform/window.h"

#include <QMainWindow>

#include <map>
#include <mutex>
#include <optional>

class QScreen;
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
    // Moves the outer window's top-left corner there, in device pixels.
    void moveOuterTo(QPoint topLeft);
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
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    void buildMenu(const WindowSetup& setup);
    void clientResized();
    void recordNormalOuter();
    QSize clientSize() const;
    // The inner geometry (inside the frame) in device pixels, and its size.
    QRect deviceGeometry() const;
    QSize deviceSize() const;
    void setDeviceGeometry(const QRect& inner);
    void correctFrameDrag(SizingEdge edge);
    void dragSettled();
    void displayChanged();
    void watchScreen(QScreen* screen);
    // The window manager's frame: around the window as it is now, and around a
    // window of the given style.
    QMargins frameMargins() const;
    QMargins frameOf(WindowStyle style) const;
    // Asks the window manager for the frame of a decorated window before it is mapped.
    void learnFrameBeforeMapping();

  public:
    // Brings Qt's idea of the window's place and size in line with the X server's.
    void syncGeometryWithServer();

  private:
    Qt::Edges borderEdgesAt(QPoint position) const;

    WindowEvents* events_ = nullptr;
    KeyBatch keys_{*this};
    ImageView* view_;
    QWidget* border_;  // holds the view; its margin is the sizing border of level 1
    std::map<int, QTimer*> timers_;
    WindowStyle style_ = WindowStyle::Normal;
    WindowStyle levelStyle_ = WindowStyle::Normal;  // the chrome level fullscreen returns to
    // Outer rectangles below are in device pixels.
    QRect expectedOuter_;  // the last geometry Pavo asked for itself
    QRect lastOuter_;      // the outer geometry at the previous size change
    // The outer rectangle of the window in its normal state, as last asked for or seen;
    // Qt's own record can catch a maximised size while its state lags the manager's.
    QRect normalOuter_;
    // A frame drag is corrected once it is over: 100 ms after a change with no button.
    QTimer* dragSettle_ = nullptr;
    SizingEdge lastDragEdge_ = SizingEdge::BottomRight;
    // The inner size the window system last reported, in device pixels, and the client
    // size the viewer last heard of.
    QSize reportedSize_;
    QSize notifiedClient_;
    // The frame of a decorated window: from the window manager before mapping, or
    // measured once the window was framed when the manager does not answer the request.
    mutable std::optional<QMargins> decoratedFrame_;
    mutable std::mutex snapshotMutex_;
    mutable GeometrySnapshot snapshot_;
};

}  // namespace pavo::qt
