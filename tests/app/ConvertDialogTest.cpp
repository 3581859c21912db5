#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

#include "RecordingShell.h"
#include "app/ConvertDlg.h"
#include "support/MadeUpOption.h"

namespace vantrel {

class ConvertDialogTest : public QObject {
    Q_OBJECT

  private:
    template <typename Widget>
    static Widget* child(QDialog& dialog, const char* name) {
        auto* widget = dialog.findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) qFatal("no %s in the dialog", name);
        return widget;
    }
    static QPushButton* button(QDialog& dialog, const QString& text) {
        for (QPushButton* candidate : dialog.findChildren<QPushButton*>()) {
            if (candidate->text() == text) return candidate;
        }
        qFatal("no button %s", qPrintable(text));
    }
    static void open(QDialog& dialog) {
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
    }
    static QSize settledSize(QDialog& dialog) {
        dialog.layout()->activate();
        return dialog.size();
    }

  private slots:
    void firstOpeningShowsTheDefaults() {
        ConvertSettings settings;
        test::RecordingShell shell;
        CConvertDlg dialog(settings, shell);
        open(dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Convert"));
        QVERIFY(child<QRadioButton>(dialog, "jpeg")->isChecked());
        QVERIFY(!child<QRadioButton>(dialog, "lossless")->isChecked());
        QCOMPARE(child<QLineEdit>(dialog, "colorQuality")->text(), QStringLiteral("90"));
        QVERIFY(!child<QCheckBox>(dialog, "includeAlpha")->isChecked());
        QCOMPARE(child<QLineEdit>(dialog, "frameRate")->text(), QStringLiteral("15"));
        QVERIFY(child<QCheckBox>(dialog, "outputHtml")->isChecked());
        // The focus starts on the first control of the tab order, OK.
        QCOMPARE(QApplication::focusWidget(), button(dialog, QStringLiteral("OK")));
    }

    void tabOrderFollowsTheControls() {
        ConvertSettings settings;
        test::RecordingShell shell;
        CConvertDlg dialog(settings, shell);
        QList<QWidget*> order;
        QWidget* widget = button(dialog, QStringLiteral("OK"));
        do {
            if (widget->focusPolicy() & Qt::TabFocus) order << widget;
            widget = widget->nextInFocusChain();
        } while (widget != button(dialog, QStringLiteral("OK")));
        const QList<QWidget*> expected{
            button(dialog, QStringLiteral("OK")),     button(dialog, QStringLiteral("Cancel")),
            child<QRadioButton>(dialog, "jpeg"),      child<QRadioButton>(dialog, "lossless"),
            child<QCheckBox>(dialog, "includeAlpha"), child<QLineEdit>(dialog, "colorQuality"),
            child<QLineEdit>(dialog, "frameRate"),    child<QCheckBox>(dialog, "outputHtml")};
        QCOMPARE(order, expected);
    }

    void frameRateShowsSixSignificantDigits_data() {
        QTest::addColumn<float>("rate");
        QTest::addColumn<QString>("shown");
        QTest::newRow("whole") << 15.0f << "15";
        QTest::newRow("half") << 12.5f << "12.5";
        QTest::newRow("NTSC") << 29.97f << "29.97";
        QTest::newRow("third") << 1.0f / 3.0f << "0.333333";
    }
    void frameRateShowsSixSignificantDigits() {
        QFETCH(float, rate);
        QFETCH(QString, shown);
        ConvertSettings settings;
        settings.frameRate = rate;
        test::RecordingShell shell;
        CConvertDlg dialog(settings, shell);
        QCOMPARE(child<QLineEdit>(dialog, "frameRate")->text(), shown);
    }

    // OK with the given field texts: either the dialog closes with the
    // options, or it shows one message, stays open, and the offending field
    // has the focus with its text selected.
    void okChecksTheFields_data() {
        QTest::addColumn<QString>("quality");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<QString>("message");  // empty: accepted
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("acceptedQuality");
        QTest::addColumn<float>("acceptedRate");

        const QString integer = QStringLiteral("Please enter an integer.");
        const QString number = QStringLiteral("Please enter a number.");
        const QString qualityRange = QStringLiteral("Please enter an integer between 1 and 100.");
        const QString rateRange = QStringLiteral("Please enter a number between 0.01 and 255.");
        const int plain = QMessageBox::NoIcon, warning = QMessageBox::Warning;
        // clang-format off
        QTest::newRow("quality 0") << "0" << "15" << false << qualityRange << warning << "colorQuality" << 0 << 0.f;
        QTest::newRow("quality 101") << "101" << "15" << false << qualityRange << warning << "colorQuality" << 0 << 0.f;
        QTest::newRow("quality 1") << "1" << "15" << false << "" << 0 << "" << 1 << 15.f;
        QTest::newRow("quality 100") << "100" << "15" << false << "" << 0 << "" << 100 << 15.f;
        QTest::newRow("quality abc") << "abc" << "15" << false << integer << plain << "colorQuality" << 0 << 0.f;
        QTest::newRow("quality empty") << "" << "15" << false << integer << plain << "colorQuality" << 0 << 0.f;
        QTest::newRow("quality first") << "abc" << "abc" << false << integer << plain << "colorQuality" << 0 << 0.f;
        QTest::newRow("quality 50abc") << "50abc" << "15" << false << "" << 0 << "" << 50 << 15.f;
        QTest::newRow("quality with lossless") << "0" << "15" << true << qualityRange << warning << "colorQuality" << 0 << 0.f;
        QTest::newRow("rate abc") << "50" << "abc" << false << number << plain << "frameRate" << 0 << 0.f;
        QTest::newRow("rate 0") << "50" << "0" << false << rateRange << warning << "frameRate" << 0 << 0.f;
        QTest::newRow("rate -5") << "50" << "-5" << false << rateRange << warning << "frameRate" << 0 << 0.f;
        QTest::newRow("rate 256") << "50" << "256" << false << rateRange << warning << "frameRate" << 0 << 0.f;
        QTest::newRow("rate 0.01") << "50" << "0.01" << false << "" << 0 << "" << 50 << 0.01f;
        QTest::newRow("rate 12.5fps") << "50" << "12.5fps" << false << "" << 0 << "" << 50 << 12.5f;
        QTest::newRow("rate 255") << "50" << "255" << false << "" << 0 << "" << 50 << 255.f;
        // clang-format on
    }
    void okChecksTheFields() {
        QFETCH(QString, quality);
        QFETCH(QString, rate);
        QFETCH(bool, lossless);
        QFETCH(QString, message);
        QFETCH(int, icon);
        QFETCH(QString, field);
        QFETCH(int, acceptedQuality);
        QFETCH(float, acceptedRate);

        ConvertSettings settings;
        test::RecordingShell shell;
        CConvertDlg dialog(settings, shell);
        open(dialog);
        if (lossless) QTest::mouseClick(child<QRadioButton>(dialog, "lossless"), Qt::LeftButton);
        child<QLineEdit>(dialog, "colorQuality")->setText(quality);
        child<QLineEdit>(dialog, "frameRate")->setText(rate);
        QTest::mouseClick(button(dialog, QStringLiteral("OK")), Qt::LeftButton);

        if (message.isEmpty()) {
            QVERIFY(shell.messages.empty());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.settings().colorQuality, acceptedQuality);
            QCOMPARE(dialog.settings().frameRate, acceptedRate);
            return;
        }
        QCOMPARE(shell.texts(), QStringList{message});
        QCOMPARE(int(shell.messages[0].icon), icon);
        QVERIFY(dialog.isVisible());
        auto* offending = child<QLineEdit>(dialog, qPrintable(field));
        QCOMPARE(QApplication::focusWidget(), offending);
        QCOMPARE(offending->selectedText(), offending->text());
        // The settings change only when the dialog ends with OK.
        QCOMPARE(dialog.settings().colorQuality, 90);
        QCOMPARE(dialog.settings().frameRate, 15.0f);
    }

    // Closed, the More options toggle takes neither room nor a tab stop, and
    // its panel does not exist; Alt+M opens it below the others.
    void closedMoreOptionsLeaveTheDialogAsItWas() {
        ConvertSettings settings;
        test::RecordingShell shell;
        CConvertDlg dialog(settings, shell);
        open(dialog);
        auto* toggle = child<QToolButton>(dialog, "moreOptions");
        QCOMPARE(toggle->focusPolicy(), Qt::NoFocus);
        QCOMPARE(dialog.findChild<QGroupBox*>(QStringLiteral("moreOptionsPanel")), nullptr);
        const QSize closed = settledSize(dialog);
        toggle->hide();
        QCOMPARE(settledSize(dialog), closed);
        toggle->show();

        // As a button's mnemonic does, Alt+M clicks the toggle shortly after.
        QTest::keyClick(&dialog, Qt::Key_M, Qt::AltModifier);
        QTRY_VERIFY(toggle->isChecked());
        auto* panel = child<QGroupBox>(dialog, "moreOptionsPanel");
        QVERIFY(settledSize(dialog).height() > closed.height());
        QVERIFY(panel->y() > button(dialog, QStringLiteral("Cancel"))->geometry().bottom());
        QWidget* widget = child<QCheckBox>(dialog, "outputHtml");
        for (const char* name : {"maxWidth", "maxHeight", "targetSize", "targetUnit",
                                 "startSeconds", "endSeconds", "streamSound", "playOnce"}) {
            widget = widget->nextInFocusChain();
            QCOMPARE(widget, child<QWidget>(dialog, name));
        }
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(settledSize(dialog), closed);
    }

    // OK with More options filled in, Stream Sound checked and the panel
    // closed again: the settings take the values, or the first bad field is
    // refused as the others are, its panel opened again.
    void okChecksMoreOptions_data() {
        QTest::addColumn<QStringList>("fields");  // width, height, target, start, end
        QTest::addColumn<QString>("unit");        // "MB", "KB" or "lossless"
        QTest::addColumn<QString>("message");     // empty: accepted
        QTest::addColumn<QString>("stored");      // width height bytes start end, or the field
        const QString side = QStringLiteral("Please enter an integer between 1 and 65535.");
        // clang-format off
        QTest::newRow("all empty") << QStringList{"", "", "", "", ""} << "KB" << "" << "0 0 0 - -";
        QTest::newRow("all set") << QStringList{"1920", " 1080 ", "2.5", "1.5", "4"} << "MB" << "" << "1920 1080 2500000 1.5 4";
        QTest::newRow("kilobytes") << QStringList{"640", "", "500", "", "10"} << "KB" << "" << "640 0 500000 - 10";
        QTest::newRow("lossless") << QStringList{"", "", "abc", "", ""} << "lossless" << "" << "0 0 0 - -";
        QTest::newRow("width 0") << QStringList{"0", "", "", "", ""} << "KB" << side << "maxWidth";
        QTest::newRow("width x height") << QStringList{"1920x1080", "", "", "", ""} << "KB" << "Please enter an integer." << "maxWidth";
        QTest::newRow("0.5 KB") << QStringList{"", "", "0.5", "", ""} << "KB" << "Please enter a number between 1 and 4294000." << "targetSize";
        QTest::newRow("5000 MB") << QStringList{"", "", "5000", "", ""} << "MB" << "Please enter a number between 0.001 and 4294." << "targetSize";
        QTest::newRow("start -1") << QStringList{"", "", "", "-1", ""} << "KB" << "Please enter a number of seconds, 0 or more." << "startSeconds";
        QTest::newRow("end 1:30") << QStringList{"", "", "", "", "1:30"} << "KB" << "Please enter a number." << "endSeconds";
        QTest::newRow("end at start") << QStringList{"", "", "", "5", "5"} << "KB" << "Please enter an end after the start." << "endSeconds";
        // clang-format on
    }
    void okChecksMoreOptions() {
        QFETCH(QStringList, fields);
        QFETCH(QString, unit);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        ConvertSettings settings;
        test::RecordingShell shell;
        CConvertDlg dialog(settings, shell);
        open(dialog);
        auto* toggle = child<QToolButton>(dialog, "moreOptions");
        QTest::mouseClick(toggle, Qt::LeftButton);
        settledSize(dialog);
        const char* names[] = {"maxWidth", "maxHeight", "targetSize", "startSeconds", "endSeconds"};
        for (int i = 0; i < 5; ++i) child<QLineEdit>(dialog, names[i])->setText(fields[i]);
        child<QComboBox>(dialog, "targetUnit")->setCurrentText(unit);
        QTest::mouseClick(child<QCheckBox>(dialog, "streamSound"), Qt::LeftButton);
        const bool lossless = unit == QStringLiteral("lossless");
        if (lossless) QTest::mouseClick(child<QRadioButton>(dialog, "lossless"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(dialog, "targetSize")->isEnabled(), !lossless);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QTest::mouseClick(button(dialog, QStringLiteral("OK")), Qt::LeftButton);
        settings = dialog.settings();

        const auto seconds = [](const std::optional<double>& value) {
            return value ? QString::number(*value) : QStringLiteral("-");
        };
        const auto side = [](std::int32_t length) { return length == kUnlimitedSide ? 0 : length; };
        const QString values =
            QStringLiteral("%1 %2 %3 %4 %5")
                .arg(side(settings.maxSize.width))
                .arg(side(settings.maxSize.height))
                .arg(settings.targetSize)
                .arg(seconds(settings.cutStart > 0.0 ? std::optional(settings.cutStart)
                                                     : std::nullopt),
                     seconds(settings.cutEnd));
        QCOMPARE(shell.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(values, message.isEmpty() ? stored : QStringLiteral("0 0 0 - -"));
        QCOMPARE(settings.streamSound, message.isEmpty());
        if (message.isEmpty()) return;
        QVERIFY(toggle->isChecked());
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(dialog, qPrintable(stored)));
    }

    // Options set before open the panel with their values.
    void moreOptionsSetBeforeAreShown() {
        ConvertSettings settings;
        settings.targetSize = 1500;
        settings.cutStart = 0.25;
        test::RecordingShell shell;
        CConvertDlg dialog(settings, shell);
        QVERIFY(child<QToolButton>(dialog, "moreOptions")->isChecked());
        QCOMPARE(child<QLineEdit>(dialog, "targetSize")->text(), QStringLiteral("1.5"));
        QCOMPARE(child<QLineEdit>(dialog, "startSeconds")->text(), QStringLiteral("0.25"));
    }

    // An option the table gains is a row of the panel: shown with its value,
    // reached by Tab after the others, stored with OK.
    void aRowAddedToTheTableIsAPanelRow() {
        std::optional<double> fade = 2.5;
        const std::vector<OptionRow> rows = test::tableWithFade(fade);
        test::RecordingShell shell;
        CConvertDlg dialog(ConvertSettings{}, shell, nullptr, rows);
        open(dialog);
        QTest::mouseClick(child<QToolButton>(dialog, "moreOptions"), Qt::LeftButton);
        auto* field = child<QLineEdit>(dialog, "fadeSeconds");
        QCOMPARE(field->text(), QStringLiteral("2.5"));
        QCOMPARE(field->toolTip(), QStringLiteral("Empty: none"));
        QCOMPARE(child<QCheckBox>(dialog, "playOnce")->nextInFocusChain(), field);
        field->setText(QStringLiteral("4"));
        QTest::mouseClick(button(dialog, QStringLiteral("OK")), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(fade, std::optional(4.0));
    }

    void cancelKeepsOnlyTheCompressionClick() {
        ConvertSettings settings;
        test::RecordingShell shell;
        {
            CConvertDlg dialog(settings, shell);
            open(dialog);
            QTest::mouseClick(child<QRadioButton>(dialog, "lossless"), Qt::LeftButton);
            QCOMPARE(dialog.settings().compression, CompressionType::Lossless);  // at once
            child<QLineEdit>(dialog, "colorQuality")->setText(QStringLiteral("10"));
            child<QLineEdit>(dialog, "frameRate")->setText(QStringLiteral("30"));
            QTest::mouseClick(child<QCheckBox>(dialog, "includeAlpha"), Qt::LeftButton);
            QTest::mouseClick(button(dialog, QStringLiteral("Cancel")), Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            settings = dialog.settings();
        }
        QCOMPARE(settings.compression, CompressionType::Lossless);
        QCOMPARE(settings.colorQuality, 90);
        QCOMPARE(settings.frameRate, 15.0f);
        QVERIFY(!settings.includeAlpha);

        CConvertDlg again(settings, shell);
        QVERIFY(child<QRadioButton>(again, "lossless")->isChecked());
        QCOMPARE(child<QLineEdit>(again, "colorQuality")->text(), QStringLiteral("90"));
        QVERIFY(!child<QCheckBox>(again, "includeAlpha")->isChecked());
    }
};

}  // namespace vantrel

QTEST_MAIN(vantrel::ConvertDialogTest)
#include "ConvertDialogTest.moc"
