#pragma once

#include <QStringList>
#include <functional>
#include <vector>

#include "app/ShellServices.h"

namespace vantrel::test {

// Records the message boxes and files the window would show, instead of
// showing them.
class RecordingShell : public ShellServices {
  public:
    struct Message {
        QMessageBox::Icon icon;
        QString text;
        QString details;
        QStringList lines;  // those of showList
    };

    void showMessage(QWidget*, QMessageBox::Icon icon, const QString& text,
                     const QString& details) override {
        if (onMessage) onMessage();
        messages.push_back({icon, text, details, {}});
    }
    void showList(QWidget*, QMessageBox::Icon icon, const QString& text, const QStringList& lines,
                  const QString& details) override {
        if (onMessage) onMessage();
        messages.push_back({icon, text, details, lines});
    }
    bool openFile(const QString& path) override {
        opened << path;
        return true;
    }

    bool showInFolder(const QString& path) override {
        shownInFolder << path;
        return true;
    }

    void notify(const QString& summary, const QString& body) override {
        notifications << summary + QStringLiteral(": ") + body;
    }

    QStringList texts() const {
        QStringList all;
        for (const Message& message : messages) all << message.text;
        return all;
    }

    // Called as each box would show, while the window waits for it.
    std::function<void()> onMessage;
    std::vector<Message> messages;
    QStringList opened;
    QStringList shownInFolder;
    QStringList notifications;  // "summary: body"
};

}  // namespace vantrel::test
