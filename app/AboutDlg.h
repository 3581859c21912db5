#pragma once

#include <QDialog>

namespace vantrel {

// The About box: the icon, the program's name and version, OK.
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace vantrel
