#include "app/ShellServices.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/AppInfo.h"

namespace vantrel {

namespace {

// The picture a message box of that kind shows (NoIcon shows none).
QStyle::StandardPixmap standardPixmap(QMessageBox::Icon icon) {
    switch (icon) {
        case QMessageBox::Information:
            return QStyle::SP_MessageBoxInformation;
        case QMessageBox::Warning:
            return QStyle::SP_MessageBoxWarning;
        case QMessageBox::Critical:
            return QStyle::SP_MessageBoxCritical;
        case QMessageBox::Question:
        case QMessageBox::NoIcon:
            break;
    }
    return QStyle::SP_MessageBoxQuestion;
}

// Text to read and copy, never to edit.
class ReadOnlyText : public QPlainTextEdit {
  public:
    explicit ReadOnlyText(const QString& text) : QPlainTextEdit(text) { setReadOnly(true); }
};

// A list, a line each and wrapped where the box is too narrow, that asks
// for all the room its lines take: the box's own bounds then keep it within
// the screen, and it scrolls.
class ListText : public ReadOnlyText {
  public:
    explicit ListText(const QStringList& lines) : ReadOnlyText(lines.join(QLatin1Char('\n'))) {
        const QFontMetrics metrics = fontMetrics();
        for (const QString& line : lines) advances_.push_back(metrics.horizontalAdvance(line));
        // The frame, the document's margins and a vertical scroll bar.
        edges_ = 2 * (frameWidth() + int(std::ceil(document()->documentMargin()))) +
                 style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    }

    QSize sizeHint() const override {
        const int widest =
            advances_.empty() ? 0 : *std::max_element(advances_.begin(), advances_.end());
        return {widest + edges_, heightForWidth(widest + edges_)};
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        const int room = std::max(1, width - edges_);
        qint64 rows = 0;
        // A wrapped line may break at a space well before the edge: a row spare.
        for (int advance : advances_) rows += advance < room ? 1 : advance / room + 2;
        return int(std::min<qint64>(rows * fontMetrics().lineSpacing() + edges_, QWIDGETSIZE_MAX));
    }

  private:
    std::vector<int> advances_;
    int edges_ = 0;
};

// The most of the screen a box beside `parent` may take: its free part, less
// the title bar and borders of the parent's window, which the box gets too.
QSize roomBeside(const QWidget* parent) {
    const QWidget* window = parent != nullptr ? parent->window() : nullptr;
    const QScreen* screen = window != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    QSize room = screen->availableGeometry().size();
    if (window != nullptr) room -= window->frameGeometry().size() - window->geometry().size();
    return room;
}

// Gives the box the size its parts ask for up to two thirds of the room,
// beyond which the list scrolls; the room bounds what the user makes of it.
void fit(QDialog& box, const QSize& room) {
    box.setMaximumSize(room);
    const int width = std::min(box.sizeHint().width(), room.width() * 2 / 3);
    box.resize(width, std::min(box.layout()->totalHeightForWidth(width), room.height() * 2 / 3));
}

}  // namespace

void ShellServices::showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                const QString& details) {
    QMessageBox box(icon, kAppName, text, QMessageBox::Ok, parent);
    if (!details.isEmpty()) box.setDetailedText(details);
    box.exec();
}

void ShellServices::showList(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                             const QStringList& lines, const QString& details) {
    // A message box grows with its text past the bottom of the screen; this
    // one is laid out like it, but only the list grows, and it scrolls.
    QDialog box(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    box.setWindowTitle(kAppName);
    auto* layout = new QGridLayout(&box);
    if (icon != QMessageBox::NoIcon) {
        QStyle* style = box.style();
        const int side = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        auto* picture = new QLabel;
        picture->setPixmap(style->standardIcon(standardPixmap(icon), nullptr, &box)
                               .pixmap(QSize(side, side), box.devicePixelRatio()));
        layout->addWidget(picture, 0, 0, 2, 1, Qt::AlignTop);
    }
    auto* heading = new QLabel(text);
    heading->setWordWrap(true);
    layout->addWidget(heading, 0, 1);
    layout->addWidget(new ListText(lines), 1, 1);
    layout->setRowStretch(1, 1);

    const QSize room = roomBeside(parent);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    if (!details.isEmpty()) {
        auto* more = new ReadOnlyText(details);
        more->hide();
        layout->addWidget(more, 2, 0, 1, 2);
        QPushButton* toggle =
            buttons->addButton(QStringLiteral("Show Details..."), QDialogButtonBox::ActionRole);
        QObject::connect(toggle, &QPushButton::clicked, &box, [&box, layout, more, toggle, room] {
            const bool shown = more->isHidden();
            more->setVisible(shown);
            layout->setRowStretch(2, shown ? 1 : 0);
            toggle->setText(shown ? QStringLiteral("Hide Details...")
                                  : QStringLiteral("Show Details..."));
            fit(box, room);
            // Grown downwards, it may have to move up to stay on the screen.
            const QRect area = box.screen()->availableGeometry();
            const QRect frame = box.frameGeometry();
            if (frame.bottom() > area.bottom()) {
                box.move(frame.left(), std::max(area.top(), area.bottom() + 1 - frame.height()));
            }
        });
    }
    layout->addWidget(buttons, 3, 0, 1, 2);
    buttons->button(QDialogButtonBox::Ok)->setFocus();
    fit(box, room);
    box.exec();
}

bool ShellServices::openFile(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool notifiesBatchEnd(std::chrono::milliseconds duration, bool windowActive) {
    return duration > std::chrono::seconds(10) && !windowActive;
}

void ShellServices::notify(const QString& summary, const QString& body) {
    static const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kNotifications)) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kNotifications, QStringLiteral("/org/freedesktop/Notifications"), kNotifications,
        QStringLiteral("Notify"));
    // Application, id to replace, icon, summary, body, actions, hints, timeout (-1: the
    // server's own).
    call << kAppName << 0u << QStringLiteral("vantrel") << summary << body << QStringList()
         << QVariantMap() << -1;
    bus.send(call);
}

bool ShellServices::showInFolder(const QString& path) {
    // The file managers' common interface selects the file in its folder.
    static const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()->isServiceRegistered(kFileManager)) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kFileManager, QStringLiteral("/org/freedesktop/FileManager1"), kFileManager,
            QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
        if (bus.send(call)) return true;
    }
    return openFile(QFileInfo(path).absolutePath());
}

}  // namespace vantrel
