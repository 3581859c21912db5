#include "app/ConvertDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/ShellServices.h"
#include "convert/OptionText.h"

namespace vantrel {

namespace {

// The field texts are read up to these lengths, as the dialog always has.
constexpr int kQualityTextLength = 63;
constexpr int kRateTextLength = 399;

QLineEdit* numberField(const QString& name, int maxLength, int widthInDigits) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setMaxLength(maxLength);
    field->setFixedWidth(
        field->fontMetrics().horizontalAdvance(QString(widthInDigits, QLatin1Char('0'))) + 16);
    return field;
}

}  // namespace

CConvertDlg::CConvertDlg(ConvertSettings& settings, ShellServices& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      shell_(shell),
      colorQuality_(settings.colorQuality),
      includeAlpha_(settings.includeAlpha),
      frameRate_(settings.frameRate),
      outputHtml_(settings.outputHtml) {
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

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(options);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    QWidget::setTabOrder(ok_, cancel_);
    QWidget::setTabOrder(cancel_, jpeg_);
    QWidget::setTabOrder(jpeg_, lossless_);
    QWidget::setTabOrder(lossless_, alpha_);
    QWidget::setTabOrder(alpha_, quality_);
    QWidget::setTabOrder(quality_, rate_);
    QWidget::setTabOrder(rate_, html_);

    // Towards the controls, in the exchange's order; the frame rate with the
    // six significant digits of its float type.
    quality_->setText(QString::number(colorQuality_));
    alpha_->setChecked(includeAlpha_);
    rate_->setText(QString::number(static_cast<double>(frameRate_), 'g', 6));
    html_->setChecked(outputHtml_);
    jpeg_->setChecked(settings_.compression == CompressionType::Jpeg);
    lossless_->setChecked(settings_.compression == CompressionType::Lossless);

    connect(jpeg_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) settings_.compression = CompressionType::Jpeg;
    });
    connect(lossless_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) settings_.compression = CompressionType::Lossless;
    });
    connect(ok_, &QPushButton::clicked, this, &CConvertDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CConvertDlg::reject);
    ok_->setFocus();
}

ConvertOptions CConvertDlg::options() const {
    return ConvertOptions{includeAlpha_, colorQuality_, frameRate_, outputHtml_};
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
    colorQuality_ = *quality;
    includeAlpha_ = alpha;
    frameRate_ = *rate;
    outputHtml_ = html_->isChecked();
    return true;
}

void CConvertDlg::refuse(QLineEdit* field, QMessageBox::Icon icon, const std::string& message) {
    shell_.showMessage(this, icon, QString::fromStdString(message));
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

}  // namespace vantrel
