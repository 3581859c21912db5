#include "app/ConvertDlg.h"

#include <QButtonGroup>
#include <algorithm>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ShellServices.h"
#include "convert/OptionText.h"

namespace vantrel {

namespace {

// The field texts are read up to these lengths, as the dialog always has.
constexpr int kQualityTextLength = 63;
constexpr int kRateTextLength = 399;
// The fields of More options hold short numbers.
constexpr int kMoreTextLength = 32;

QLineEdit* numberField(const QString& name, int maxLength, int widthInDigits) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setMaxLength(maxLength);
    field->setFixedWidth(
        field->fontMetrics().horizontalAdvance(QString(widthInDigits, QLatin1Char('0'))) + 16);
    return field;
}

QString label(OptionKey key) { return QString::fromUtf8(optionRow(key)->label); }

QString text(std::string_view view) {
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

bool isBlank(const QLineEdit* field) { return field->text().trimmed().isEmpty(); }

// A number as a field shows it: as short as it reads back exactly.
QString numberText(double value) { return QString::number(value, 'g', 15); }

}  // namespace

CConvertDlg::CConvertDlg(const ConvertSettings& settings, ShellServices& shell, QWidget* parent,
                         std::span<const OptionRow> rows)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      shell_(shell),
      rows_(rows) {
    request_.settings = settings;
    setWindowTitle(QStringLiteral("Convert"));

    ok_ = new QPushButton(QStringLiteral("OK"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"));
    jpeg_ = new QRadioButton(QStringLiteral("Jpeg Compression"));
    jpeg_->setObjectName(QStringLiteral("jpeg"));
    lossless_ = new QRadioButton(label(OptionKey::Lossless));
    lossless_->setObjectName(QStringLiteral("lossless"));
    alpha_ = new QCheckBox(label(OptionKey::Alpha));
    alpha_->setObjectName(QStringLiteral("includeAlpha"));
    quality_ = numberField(QStringLiteral("colorQuality"), kQualityTextLength, 5);
    rate_ = numberField(QStringLiteral("frameRate"), kRateTextLength, 7);
    html_ = new QCheckBox(label(OptionKey::NoHtml));
    html_->setObjectName(QStringLiteral("outputHtml"));

    auto* compression = new QButtonGroup(this);
    compression->addButton(jpeg_);
    compression->addButton(lossless_);

    auto* qualityRow = new QHBoxLayout;
    auto* qualityLabel = new QLabel(label(OptionKey::Quality));
    qualityLabel->setBuddy(quality_);
    qualityRow->addSpacing(16);
    qualityRow->addWidget(qualityLabel);
    qualityRow->addWidget(quality_);
    qualityRow->addStretch();
    auto* compressType = new QGroupBox(QStringLiteral("Compress Type"));
    auto* compressLayout = new QVBoxLayout(compressType);
    compressLayout->addWidget(jpeg_);
    compressLayout->addLayout(qualityRow);
    compressLayout->addWidget(lossless_);

    auto* rateRow = new QHBoxLayout;
    auto* rateLabel = new QLabel(label(OptionKey::Rate));
    rateLabel->setBuddy(rate_);
    rateRow->addWidget(rateLabel);
    rateRow->addWidget(rate_);
    rateRow->addStretch();

    auto* options = new QVBoxLayout;
    options->addWidget(alpha_);
    options->addWidget(compressType);
    options->addLayout(rateRow);
    options->addWidget(html_);

    // The toggle sits in the room below Cancel and takes the buttons' width,
    // and takes no tab stop (Alt+M reaches it); the panel is made when it is
    // first opened. So the dialog is as it always was while it is closed.
    moreToggle_ = new QToolButton;
    moreToggle_->setObjectName(QStringLiteral("moreOptions"));
    moreToggle_->setText(QStringLiteral("&More options"));
    moreToggle_->setCheckable(true);
    moreToggle_->setFocusPolicy(Qt::NoFocus);
    moreToggle_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addStretch();
    buttons->addWidget(moreToggle_);

    auto* top = new QHBoxLayout;
    top->addLayout(options);
    top->addSpacing(8);
    top->addLayout(buttons);

    layout_ = new QVBoxLayout(this);
    layout_->addLayout(top);
    layout_->setSizeConstraint(QLayout::SetFixedSize);

    QWidget::setTabOrder(ok_, cancel_);
    QWidget::setTabOrder(cancel_, jpeg_);
    QWidget::setTabOrder(jpeg_, lossless_);
    QWidget::setTabOrder(lossless_, alpha_);
    QWidget::setTabOrder(alpha_, quality_);
    QWidget::setTabOrder(quality_, rate_);
    QWidget::setTabOrder(rate_, html_);

    // Towards the controls, in the exchange's order; the frame rate with the
    // six significant digits of its float type.
    quality_->setText(QString::number(request_.settings.colorQuality));
    alpha_->setChecked(request_.settings.includeAlpha);
    rate_->setText(QString::number(static_cast<double>(request_.settings.frameRate), 'g', 6));
    html_->setChecked(request_.settings.outputHtml);
    jpeg_->setChecked(request_.settings.compression == CompressionType::Jpeg);
    lossless_->setChecked(request_.settings.compression == CompressionType::Lossless);
    // Options set before are shown, not hidden away.
    const BatchRequest defaults;
    for (const OptionRow& row : rows_) {
        if (row.group == OptionGroup::MoreOptions && row.value(request_) != row.value(defaults)) {
            showMoreOptions(true);
            break;
        }
    }

    connect(jpeg_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) request_.settings.compression = CompressionType::Jpeg;
        // A target size picks the JPEG quality: lossless pictures have none.
        for (const PanelRow& row : panelRows_) {
            if (row.option->kind != OptionKind::ByteSize) continue;
            for (QWidget* control : row.controls) control->setEnabled(on);
        }
    });
    connect(lossless_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) request_.settings.compression = CompressionType::Lossless;
    });
    connect(ok_, &QPushButton::clicked, this, &CConvertDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CConvertDlg::reject);
    connect(moreToggle_, &QToolButton::toggled, this, &CConvertDlg::showMoreOptions);
    ok_->setFocus();
}

void CConvertDlg::createMoreOptions() {
    std::vector<const OptionRow*> options;
    for (const OptionRow& option : rows_) {
        if (option.group == OptionGroup::MoreOptions) options.push_back(&option);
    }
    std::stable_sort(options.begin(), options.end(), [](const OptionRow* a, const OptionRow* b) {
        return a->panelPlace < b->panelPlace;
    });

    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    for (const OptionRow* option : options) {
        PanelRow row{option, {}};
        const QStringList names = text(option->fieldName).split(QLatin1Char(','));
        const int line = grid->rowCount();
        if (option->kind == OptionKind::Flag) {
            auto* box = new QCheckBox(text(option->label));
            box->setObjectName(names.value(0));
            grid->addWidget(box, line, 0, 1, 2, Qt::AlignLeft);
            row.controls.push_back(box);
        } else {
            // A box takes a field for each side, a size a field and its unit.
            auto* fields = new QHBoxLayout;
            auto* first = numberField(names.value(0), kMoreTextLength,
                                      option->kind == OptionKind::Box ? 5 : 7);
            fields->addWidget(first);
            row.controls.push_back(first);
            if (option->kind == OptionKind::Box) {
                auto* second = numberField(names.value(1), kMoreTextLength, 5);
                second->setToolTip(text(option->tooltip));
                fields->addWidget(new QLabel(QStringLiteral("x")));
                fields->addWidget(second);
                row.controls.push_back(second);
            } else if (option->kind == OptionKind::ByteSize) {
                auto* unit = new QComboBox;
                unit->setObjectName(names.value(1));
                unit->addItems({QStringLiteral("KB"), QStringLiteral("MB")});
                fields->addWidget(unit);
                row.controls.push_back(unit);
            }
            first->setToolTip(text(option->tooltip));
            fields->addStretch();
            auto* caption = new QLabel(text(option->label));
            caption->setBuddy(first);
            grid->addWidget(caption, line, 0);
            grid->addLayout(fields, line, 1);
        }
        if (option->kind == OptionKind::Flag) row.controls.front()->setToolTip(text(option->tooltip));
        showPanelRow(row);
        panelRows_.push_back(std::move(row));
    }

    more_ = new QGroupBox(QStringLiteral("More Options"));
    more_->setObjectName(QStringLiteral("moreOptionsPanel"));
    more_->setLayout(grid);
    layout_->addWidget(more_);
    // The order is set once the controls are in the dialog.
    QWidget* previous = html_;
    for (const PanelRow& row : panelRows_) {
        for (QWidget* control : row.controls) {
            QWidget::setTabOrder(previous, control);
            previous = control;
        }
    }
}

// Towards the controls: a value of 0 or none is an empty field.
void CConvertDlg::showPanelRow(const PanelRow& row) {
    const OptionValue value = row.option->value(request_);
    const auto field = [&row](std::size_t i) { return static_cast<QLineEdit*>(row.controls[i]); };
    switch (row.option->kind) {
        case OptionKind::Flag:
            static_cast<QCheckBox*>(row.controls[0])->setChecked(std::get<bool>(value));
            break;
        case OptionKind::Box:
            if (const auto* box = std::get_if<PictureBox>(&value)) {
                const std::int32_t sides[2] = {box->width, box->height};
                for (std::size_t i = 0; i < 2; ++i) {
                    if (sides[i] > 0 && sides[i] != kUnlimitedSide) {
                        field(i)->setText(QString::number(sides[i]));
                    }
                }
            }
            break;
        case OptionKind::ByteSize:
            if (const auto* bytes = std::get_if<std::int64_t>(&value)) {
                const bool megabytes = *bytes % 1000000 == 0;
                static_cast<QComboBox*>(row.controls[1])->setCurrentIndex(megabytes ? 1 : 0);
                field(0)->setText(numberText(static_cast<double>(*bytes) / (megabytes ? 1e6 : 1e3)));
            }
            for (QWidget* control : row.controls) control->setEnabled(jpeg_->isChecked());
            break;
        default:
            if (const auto* number = std::get_if<double>(&value); number && *number > 0.0) {
                field(0)->setText(numberText(*number));
            }
            break;
    }
}

void CConvertDlg::showMoreOptions(bool shown) {
    if (shown && more_ == nullptr) createMoreOptions();
    moreToggle_->setChecked(shown);
    if (more_ != nullptr) more_->setVisible(shown);
}

void CConvertDlg::accept() {
    if (exchangeFromControls()) QDialog::accept();
}

// From the controls, in order; the first field that fails stops the exchange.
bool CConvertDlg::exchangeFromControls() {
    std::string message;
    const std::optional<std::int32_t> quality =
        parseQuality(quality_->text().toStdString(), message, NumberText::Leading);
    if (!quality) {
        refuse(quality_, message == kEnterInteger ? QMessageBox::NoIcon : QMessageBox::Warning,
               message);
        return false;
    }
    const bool alpha = alpha_->isChecked();
    const std::optional<float> rate =
        parseFrameRate(rate_->text().toStdString(), message, NumberText::Leading);
    if (!rate) {
        refuse(rate_, message == kEnterNumber ? QMessageBox::NoIcon : QMessageBox::Warning,
               message);
        return false;
    }
    if (!exchangeMoreOptions()) return false;
    request_.settings.colorQuality = *quality;
    request_.settings.includeAlpha = alpha;
    request_.settings.frameRate = *rate;
    request_.settings.outputHtml = html_->isChecked();
    return true;
}

// From a panel row's controls into the request; false, with the message
// and the field to point at, when a field fails. An empty field is the
// option's default; the rest must be numbers as a whole, so that a typo such
// as "1920x1080" in one field is caught.
bool CConvertDlg::readPanelRow(const PanelRow& row, std::string& message, QLineEdit*& refused) {
    const auto field = [&row](std::size_t i) { return static_cast<QLineEdit*>(row.controls[i]); };
    OptionValue value;
    switch (row.option->kind) {
        case OptionKind::Flag:
            value = static_cast<QCheckBox*>(row.controls[0])->isChecked();
            break;
        case OptionKind::Box: {
            std::int32_t sides[2] = {0, 0};
            for (std::size_t i = 0; i < 2; ++i) {
                if (isBlank(field(i))) continue;
                const std::optional<std::int32_t> side =
                    parseStageSide(field(i)->text().toStdString(), message);
                if (!side) return (refused = field(i)), false;
                sides[i] = *side;
            }
            if (const PictureBox box = boxOfSides(sides[0], sides[1]); box.limits()) value = box;
            break;
        }
        case OptionKind::ByteSize: {
            if (!jpeg_->isChecked() || isBlank(field(0))) break;
            const SizeUnit unit = static_cast<QComboBox*>(row.controls[1])->currentIndex() == 1
                                      ? SizeUnit::Megabytes
                                      : SizeUnit::Kilobytes;
            const std::optional<std::uint64_t> bytes =
                parseTargetSize(field(0)->text().toStdString(), unit, message);
            if (!bytes) return (refused = field(0)), false;
            value = static_cast<std::int64_t>(*bytes);
            break;
        }
        default: {
            if (isBlank(field(0))) break;
            const std::optional<OptionValue> read =
                parseOptionText(row.option->kind, field(0)->text().toStdString(), message);
            if (!read) return (refused = field(0)), false;
            value = *read;
            break;
        }
    }
    row.option->assign(request_, value);
    return true;
}

// The settings change only once every field is good; a panel never opened
// leaves them as they are.
bool CConvertDlg::exchangeMoreOptions() {
    if (more_ == nullptr) return true;
    BatchRequest before = request_;
    std::string message;
    QLineEdit* refused = nullptr;
    for (const PanelRow& row : panelRows_) {
        if (!readPanelRow(row, message, refused)) break;
    }
    const ConvertSettings& read = request_.settings;
    if (refused == nullptr && read.cutEnd && *read.cutEnd <= read.cutStart) {
        message = kEndAfterStart;
        refused = panelField(OptionKey::End);
    }
    if (refused == nullptr) return true;
    request_ = std::move(before);
    refuse(refused,
           message == kEnterInteger || message == kEnterNumber ? QMessageBox::NoIcon
                                                               : QMessageBox::Warning,
           message);
    return false;
}

QLineEdit* CConvertDlg::panelField(OptionKey key) const {
    for (const PanelRow& row : panelRows_) {
        if (row.option->key == key) return static_cast<QLineEdit*>(row.controls.front());
    }
    return nullptr;
}

void CConvertDlg::refuse(QLineEdit* field, QMessageBox::Icon icon, const std::string& message) {
    // A field of the closed panel is shown before it is pointed at.
    if (more_ != nullptr && more_->isAncestorOf(field)) showMoreOptions(true);
    shell_.showMessage(this, icon, QString::fromStdString(message));
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

}  // namespace vantrel
