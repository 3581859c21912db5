#pragma once

#include <QDialog>
#include <QMessageBox>

#include "convert/ConvertSettings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QVBoxLayout;

namespace vantrel {

class ShellServices;

// The Convert dialog: the options for one batch. The fields are checked when
// OK is pressed; a field that fails is reported and gets the focus again,
// and the dialog stays open. The compression choice goes into the settings
// the moment it is clicked, so it stays even after Cancel. The options that
// fit a movie to its player sit in a "More options" panel below the others,
// closed unless one of them is set. The dialog works on its own copy of the
// settings: OK stores the fields into it.
class CConvertDlg : public QDialog {
    Q_OBJECT

  public:
    CConvertDlg(const ConvertSettings& settings, ShellServices& shell, QWidget* parent = nullptr);

    // The settings as accepted with OK; after Cancel, those given with the
    // compression last clicked.
    const ConvertSettings& settings() const { return settings_; }

    void accept() override;

  private:
    bool exchangeFromControls();
    bool exchangeMoreOptions();
    void refuse(QLineEdit* field, QMessageBox::Icon icon, const std::string& message);
    void createMoreOptions();
    void showMoreOptions(bool shown);

    ConvertSettings settings_;
    ShellServices& shell_;

    QPushButton* ok_;
    QPushButton* cancel_;
    QRadioButton* jpeg_;
    QRadioButton* lossless_;
    QCheckBox* alpha_;
    QLineEdit* quality_;
    QLineEdit* rate_;
    QCheckBox* html_;

    QVBoxLayout* layout_;
    QToolButton* moreToggle_;
    // The More options panel and its fields, made when first opened.
    QWidget* more_ = nullptr;
    QLineEdit* maxWidth_ = nullptr;
    QLineEdit* maxHeight_ = nullptr;
    QLineEdit* targetSize_ = nullptr;
    QComboBox* targetUnit_ = nullptr;
    QLineEdit* start_ = nullptr;
    QLineEdit* end_ = nullptr;
    QCheckBox* streamSound_ = nullptr;
    QCheckBox* playOnce_ = nullptr;
};

}  // namespace vantrel
