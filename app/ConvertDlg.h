#pragma once

#include <QDialog>
#include <QMessageBox>

#include <span>
#include <vector>

#include "convert/OptionTable.h"

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
    // The More options panel has a row for each of `rows` in that group.
    CConvertDlg(const ConvertSettings& settings, ShellServices& shell, QWidget* parent = nullptr,
                std::span<const OptionRow> rows = optionTable());

    // The settings as accepted with OK; after Cancel, those given with the
    // compression last clicked.
    const ConvertSettings& settings() const { return request_.settings; }

    void accept() override;

  private:
    bool exchangeFromControls();
    bool exchangeMoreOptions();
    void refuse(QLineEdit* field, QMessageBox::Icon icon, const std::string& message);
    void createMoreOptions();
    void showMoreOptions(bool shown);

    // A panel row: its option, and its controls in tab order.
    struct PanelRow {
        const OptionRow* option;
        std::vector<QWidget*> controls;
    };

    void showPanelRow(const PanelRow& row);
    bool readPanelRow(const PanelRow& row, std::string& message, QLineEdit*& refused);
    QLineEdit* panelField(OptionKey key) const;

    BatchRequest request_;
    ShellServices& shell_;
    std::span<const OptionRow> rows_;

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
    std::vector<PanelRow> panelRows_;
};

}  // namespace vantrel
