// A small window that drags the paths named on its command line, as a file
// manager does, when the mouse is pressed on it: scripts/gui-check.sh drops
// folders on the window through the X server with it.
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

namespace {

class DragSource : public QLabel {
  public:
    explicit DragSource(QList<QUrl> urls)
        : QLabel(QStringLiteral("Drag me")), urls_(std::move(urls)) {}

  protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* data = new QMimeData;
        data->setUrls(urls_);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

  private:
    QList<QUrl> urls_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (const QString& path : app.arguments().mid(1)) urls << QUrl::fromLocalFile(path);
    DragSource source(urls);
    source.setWindowTitle(QStringLiteral("Drag source"));
    source.setAlignment(Qt::AlignCenter);
    source.resize(160, 80);
    source.show();
    return app.exec();
}
