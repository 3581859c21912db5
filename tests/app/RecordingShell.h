#pragma once

#include <QStringList>
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
    };

    void showMessage(QWidget*, QMessageBox::Icon icon, const QString& text,
                     const QString& details) override {
        messages.push_back({icon, text, details});
    }
    bool openFile(const QString& path) override {
        opened << path;
        return true;
    }

    QStringList texts() const {
        QStringList all;
        for (const Message& message : messages) all << message.text;
        return all;
    }

    std::vector<Message> messages;
    QStringList opened;
};

}  // namespace vantrel::test
