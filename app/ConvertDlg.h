#pragma once

#include <QDialog>
#include <QMessageBox>

#include "convert/ConvertDriver.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vantrel {

class ShellServices;

// The Convert dialog: the options for one batch. The fields are checked when
// OK is pressed; a field that fails is reported and gets the focus again,
// and the dialog stays open. The compression choice goes into the settings
// the moment it is clicked, so it stays even after Cancel.
class CConvertDlg : public QDialog {
    Q_OBJECT

  public:
    CConvertDlg(ConvertSettings& settings, ShellServices& shell, QWidget* parent = nullptr);

    // The options as accepted with OK.
    ConvertOptions options() const;

    void accept() override;

  private:
    bool exchangeFromControls();
    void refuse(QLineEdit* field, QMessageBox::Icon icon, const std::string& message);

    ConvertSettings& settings_;
    ShellServices& shell_;

    std::int32_t colorQuality_;
    bool includeAlpha_;
    float frameRate_;
    bool outputHtml_;

    QPushButton* ok_;
    QPushButton* cancel_;
    QRadioButton* jpeg_;
    QRadioButton* lossless_;
    QCheckBox* alpha_;
    QLineEdit* quality_;
    QLineEdit* rate_;
    QCheckBox* html_;
};

}  // namespace vantrel
