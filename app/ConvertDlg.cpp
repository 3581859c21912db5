#include "app/ConvertDlg.h"

#include <QButtonGroup>
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

bool isBlank(const QLineEdit* field) { return field->text().trimmed().isEmpty(); }

// A number as a field shows it: as short as it reads back exactly.
QString numberText(double value) { return QString::number(value, 'g', 15); }

}  // namespace

CConvertDlg::CConvertDlg(const ConvertSettings& settings, ShellServices& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      shell_(shell) {
    setWindowTitle(QStringLiteral("Convert"));

    ok_ = new QPushButton(QStringLiteral("OK"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"));
    jpeg_ = new QRadioButton(QStringLiteral("Jpeg Compression"));
    jpeg_->setObjectName(QStringLiteral("jpeg"));
    lossless_ = new QRadioButton(QStringLiteral("Lossless Compression"));
    lossless_->setObjectName(QStringLiteral("lossless"));
    alpha_ = new QCheckBox(QStringLiteral("Include Alpha Channel"));
    alpha_->setObjectName(QStringLiteral("includeAlpha"));
    quality_ = numberField(QStringLiteral("colorQuality"), kQualityTextLength, 5);
    rate_ = numberField(QStringLiteral("frameRate"), kRateTextLength, 7);
    html_ = new QCheckBox(QStringLiteral("Output HTML"));
    html_->setObjectName(QStringLiteral("outputHtml"));

    auto* compression = new QButtonGroup(this);
    compression->addButton(jpeg_);
    compression->addButton(lossless_);

    auto* qualityRow = new QHBoxLayout;
    auto* qualityLabel = new QLabel(QStringLiteral("Color Quality(1-100)"));
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
    auto* rateLabel = new QLabel(QStringLiteral("Frame Rate (Per Second)"));
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
    quality_->setText(QString::number(settings_.colorQuality));
    alpha_->setChecked(settings_.includeAlpha);
    rate_->setText(QString::number(static_cast<double>(settings_.frameRate), 'g', 6));
    html_->setChecked(settings_.outputHtml);
    jpeg_->setChecked(settings_.compression == CompressionType::Jpeg);
    lossless_->setChecked(settings_.compression == CompressionType::Lossless);
    // Options set before are shown, not hidden away.
    if (settings_.maxSize.limits() || settings_.targetSize > 0 || settings_.streamSound ||
        settings_.playOnce || settings_.cut()) {
        showMoreOptions(true);
    }

    connect(jpeg_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) settings_.compression = CompressionType::Jpeg;
        if (more_ != nullptr) {
            targetSize_->setEnabled(on);
            targetUnit_->setEnabled(on);
        }
    });
    connect(lossless_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) settings_.compression = CompressionType::Lossless;
    });
    connect(ok_, &QPushButton::clicked, this, &CConvertDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CConvertDlg::reject);
    connect(moreToggle_, &QToolButton::toggled, this, &CConvertDlg::showMoreOptions);
    ok_->setFocus();
}

void CConvertDlg::createMoreOptions() {
    maxWidth_ = numberField(QStringLiteral("maxWidth"), kMoreTextLength, 5);
    maxHeight_ = numberField(QStringLiteral("maxHeight"), kMoreTextLength, 5);
    targetSize_ = numberField(QStringLiteral("targetSize"), kMoreTextLength, 7);
    targetUnit_ = new QComboBox;
    targetUnit_->setObjectName(QStringLiteral("targetUnit"));
    targetUnit_->addItems({QStringLiteral("KB"), QStringLiteral("MB")});
    start_ = numberField(QStringLiteral("startSeconds"), kMoreTextLength, 7);
    end_ = numberField(QStringLiteral("endSeconds"), kMoreTextLength, 7);
    streamSound_ = new QCheckBox(QStringLiteral("Stream Sound"));
    streamSound_->setObjectName(QStringLiteral("streamSound"));
    playOnce_ = new QCheckBox(QStringLiteral("Play Once"));
    playOnce_->setObjectName(QStringLiteral("playOnce"));

    maxWidth_->setToolTip(QStringLiteral("Empty: no limit"));
    maxHeight_->setToolTip(QStringLiteral("Empty: no limit"));
    targetSize_->setToolTip(
        QStringLiteral("The JPEG quality is chosen so the movie fits. Empty: none"));
    start_->setToolTip(QStringLiteral("For videos. Empty: from the start"));
    end_->setToolTip(QStringLiteral("For videos. Empty: to the end"));
    streamSound_->setToolTip(
        QStringLiteral("The sound keeps pace: a slow player skips pictures instead"));
    playOnce_->setToolTip(QStringLiteral("Stop at the last frame instead of looping"));

    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    const auto addRow = [&](const QString& text, QWidget* buddy,
                            std::initializer_list<QWidget*> fields) {
        auto* label = new QLabel(text);
        label->setBuddy(buddy);
        auto* line = new QHBoxLayout;
        for (QWidget* field : fields) line->addWidget(field);
        line->addStretch();
        grid->addWidget(label, row, 0);
        grid->addLayout(line, row, 1);
        ++row;
    };
    addRow(QStringLiteral("Maximum Size (Pixels)"), maxWidth_,
           {maxWidth_, new QLabel(QStringLiteral("x")), maxHeight_});
    addRow(QStringLiteral("Target Size"), targetSize_, {targetSize_, targetUnit_});
    addRow(QStringLiteral("Start (Seconds)"), start_, {start_});
    addRow(QStringLiteral("End (Seconds)"), end_, {end_});
    grid->addWidget(streamSound_, row++, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(playOnce_, row, 0, 1, 2, Qt::AlignLeft);

    more_ = new QGroupBox(QStringLiteral("More Options"));
    more_->setObjectName(QStringLiteral("moreOptionsPanel"));
    more_->setLayout(grid);
    layout_->addWidget(more_);

    QWidget::setTabOrder(html_, maxWidth_);
    QWidget::setTabOrder(maxWidth_, maxHeight_);
    QWidget::setTabOrder(maxHeight_, targetSize_);
    QWidget::setTabOrder(targetSize_, targetUnit_);
    QWidget::setTabOrder(targetUnit_, start_);
    QWidget::setTabOrder(start_, end_);
    QWidget::setTabOrder(end_, streamSound_);
    QWidget::setTabOrder(streamSound_, playOnce_);

    // Towards the controls: a value of 0 or none is an empty field.
    const auto showSide = [](QLineEdit* field, std::int32_t side) {
        if (side > 0 && side != kUnlimitedSide) field->setText(QString::number(side));
    };
    showSide(maxWidth_, settings_.maxSize.width);
    showSide(maxHeight_, settings_.maxSize.height);
    if (settings_.targetSize > 0) {
        const bool megabytes = settings_.targetSize % 1000000 == 0;
        targetUnit_->setCurrentIndex(megabytes ? 1 : 0);
        targetSize_->setText(
            numberText(static_cast<double>(settings_.targetSize) / (megabytes ? 1e6 : 1e3)));
    }
    if (settings_.cutStart > 0.0) start_->setText(numberText(settings_.cutStart));
    if (settings_.cutEnd) end_->setText(numberText(*settings_.cutEnd));
    streamSound_->setChecked(settings_.streamSound);
    playOnce_->setChecked(settings_.playOnce);
    // A target size picks the JPEG quality: lossless pictures have none.
    targetSize_->setEnabled(jpeg_->isChecked());
    targetUnit_->setEnabled(jpeg_->isChecked());
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
    settings_.colorQuality = *quality;
    settings_.includeAlpha = alpha;
    settings_.frameRate = *rate;
    settings_.outputHtml = html_->isChecked();
    return true;
}

// Empty fields are the defaults; the rest must be numbers as a whole, so a
// typo such as "1920x1080" in one field is caught. The settings change only
// once every field is good; a panel never opened leaves them as they are.
bool CConvertDlg::exchangeMoreOptions() {
    if (more_ == nullptr) return true;
    std::string message;
    const auto refused = [&](QLineEdit* field) {
        refuse(field,
               message == kEnterInteger || message == kEnterNumber ? QMessageBox::NoIcon
                                                                   : QMessageBox::Warning,
               message);
        return false;
    };
    std::int32_t side[2] = {0, 0};
    QLineEdit* const sideFields[2] = {maxWidth_, maxHeight_};
    for (int i = 0; i < 2; ++i) {
        if (isBlank(sideFields[i])) continue;
        const std::optional<std::int32_t> value =
            parseStageSide(sideFields[i]->text().toStdString(), message);
        if (!value) return refused(sideFields[i]);
        side[i] = *value;
    }
    std::uint64_t targetBytes = 0;
    if (jpeg_->isChecked() && !isBlank(targetSize_)) {
        const SizeUnit unit =
            targetUnit_->currentIndex() == 1 ? SizeUnit::Megabytes : SizeUnit::Kilobytes;
        const std::optional<std::uint64_t> value =
            parseTargetSize(targetSize_->text().toStdString(), unit, message);
        if (!value) return refused(targetSize_);
        targetBytes = *value;
    }
    std::optional<double> seconds[2];
    QLineEdit* const secondFields[2] = {start_, end_};
    for (int i = 0; i < 2; ++i) {
        if (isBlank(secondFields[i])) continue;
        seconds[i] = parseSeconds(secondFields[i]->text().toStdString(), message);
        if (!seconds[i]) return refused(secondFields[i]);
    }
    if (seconds[1] && *seconds[1] <= seconds[0].value_or(0.0)) {
        message = kEndAfterStart;
        return refused(end_);
    }
    settings_.maxSize = boxOfSides(side[0], side[1]);
    settings_.targetSize = targetBytes;
    settings_.cutStart = seconds[0].value_or(0.0);
    settings_.cutEnd = seconds[1];
    settings_.streamSound = streamSound_->isChecked();
    settings_.playOnce = playOnce_->isChecked();
    return true;
}

void CConvertDlg::refuse(QLineEdit* field, QMessageBox::Icon icon, const std::string& message) {
    // A field of the closed panel is shown before it is pointed at.
    if (more_ != nullptr && more_->isAncestorOf(field)) showMoreOptions(true);
    shell_.showMessage(this, icon, QString::fromStdString(message));
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

}  // namespace vantrel
