// A drag source for the end-to-end drop checks: another X client, as a file manager would
// be. A left press in its small window at X,Y drags the paths as file URLs; when the drag
// ends it prints "drag ended: ACTION" and stays open, so the test can see which window is
// in front afterwards. Usage: pavo_drag_source X Y PATH...

#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <utility>

namespace {

class DragSource : public QWidget {
  public:
    explicit DragSource(QList<QUrl> urls) : urls_(std::move(urls)) {
        setWindowTitle(QStringLiteral("pavo drag source"));
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        auto* data = new QMimeData;
        data->setUrls(urls_);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
        const char* name = action == Qt::CopyAction   ? "copy"
                           : action == Qt::LinkAction ? "link"
                                                      : "ignored";
        std::printf("drag ended: %s\n", name);
        std::fflush(stdout);
    }

  private:
    QList<QUrl> urls_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: pavo_drag_source X Y PATH...\n");
        return 2;
    }
    QList<QUrl> urls;
    for (qsizetype i = 3; i < args.size(); ++i)
        urls.append(QUrl::fromLocalFile(QFileInfo(args[i]).absoluteFilePath()));
    DragSource source(urls);
    source.setGeometry(args[1].toInt(), args[2].toInt(), 160, 160);
    source.show();
    return QApplication::exec();
}
