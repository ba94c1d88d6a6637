// The spinner, the About dialog and the pictures of the resource bundle.
#include "about.h"
#include "waitingspinnerwidget.h"

#include <QLabel>
#include <QPainter>
#include <QTextBrowser>
#include <QtTest>

#include <cmath>

namespace {

int alphaAt(WaitingSpinnerWidget& spinner, QPoint point)
{
    QImage image(spinner.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    spinner.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return qAlpha(image.pixel(point));
}

} // namespace

class WidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void spinnerDerivesSizeAndIntervalFromItsSettings_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<double>("revolutions");
        QTest::addColumn<int>("lineLength");
        QTest::addColumn<int>("innerRadius");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("side");
        QTest::newRow("defaults") << 20 << M_PI / 2 << 10 << 10 << 31 << 40;
        QTest::newRow("ten lines") << 10 << M_PI / 2 << 10 << 10 << 63 << 40;
        QTest::newRow("faster, longer") << 20 << 2.0 << 15 << 5 << 25 << 40;
        QTest::newRow("small ring") << 12 << 1.0 << 4 << 6 << 83 << 20;
    }
    void spinnerDerivesSizeAndIntervalFromItsSettings()
    {
        QFETCH(int, lines);
        QFETCH(double, revolutions);
        QFETCH(int, lineLength);
        QFETCH(int, innerRadius);
        WaitingSpinnerWidget spinner;
        spinner.setNumberOfLines(lines);
        spinner.setRevolutionsPerSecond(revolutions);
        spinner.setLineLength(lineLength);
        spinner.setInnerRadius(innerRadius);
        QTEST(spinner.timerInterval(), "interval");
        QFETCH(int, side);
        QCOMPARE(spinner.size(), QSize(side, side));
    }

    void spinnerKeepsItsDefaults()
    {
        WaitingSpinnerWidget spinner;
        QCOMPARE(spinner.minimumTrailOpacity(), M_PI);
        QCOMPARE(spinner.revolutionsPersSecond(), M_PI / 2);
        QCOMPARE(spinner.trailFadePercentage(), 80.0);
        QCOMPARE(spinner.roundness(), 100.0);
        QCOMPARE(spinner.color(), QColor(Qt::black));
        QVERIFY(!spinner.isVisible());
    }

    void roundnessIsClamped_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("stored");
        QTest::newRow("above") << 150.0 << 100.0;
        QTest::newRow("below") << -5.0 << 0.0;
        QTest::newRow("inside") << 42.5 << 42.5;
    }
    void roundnessIsClamped()
    {
        QFETCH(double, value);
        WaitingSpinnerWidget spinner;
        spinner.setRoundness(value);
        QTEST(spinner.roundness(), "stored");
    }

    // 20 lines, 80 % trail: up to 16 steps behind the leading line fade linearly.
    void lineColourFadesBehindTheLeadingLine_data()
    {
        QTest::addColumn<int>("distance");
        QTest::addColumn<double>("alpha");
        const double minimum = M_PI / 100;
        QTest::newRow("leading") << 0 << 1.0;
        QTest::newRow("one behind") << 1 << 1 - (1 - minimum) / 17;
        QTest::newRow("last fading") << 16 << 1 - 16 * (1 - minimum) / 17;
        QTest::newRow("trail end") << 17 << minimum;
        QTest::newRow("far") << 19 << minimum;
    }
    void lineColourFadesBehindTheLeadingLine()
    {
        QFETCH(int, distance);
        QFETCH(double, alpha);
        const QColor color =
            WaitingSpinnerWidget::currentLineColor(distance, 20, 80.0, M_PI, Qt::black);
        QVERIFY2(std::abs(color.alphaF() - alpha) < 0.002,
                 qPrintable(QString::number(color.alphaF())));
        QCOMPARE(color.rgb() & 0xffffff, 0u);
    }

    void distanceWrapsAroundTheRing()
    {
        QCOMPARE(WaitingSpinnerWidget::lineCountDistanceFromPrimary(3, 5, 20), 2);
        QCOMPARE(WaitingSpinnerWidget::lineCountDistanceFromPrimary(5, 3, 20), 18);
    }

    void paintingDrawsTheLeadingLineDarkest()
    {
        WaitingSpinnerWidget spinner;
        // Counter 0: line 0 points right and leads, line 10 (left) is 10 steps behind,
        // line 5 (down) 15 steps.
        const int right = alphaAt(spinner, QPoint(35, 20));
        const int left = alphaAt(spinner, QPoint(5, 20));
        const int down = alphaAt(spinner, QPoint(20, 35));
        QVERIFY2(right > 200 && left > down && down > 0 && left < right,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(right).arg(left).arg(down)));
        QCOMPARE(alphaAt(spinner, QPoint(20, 20)), 0);
    }

    void startAndStopTheParentAndTheCounter()
    {
        QWidget parent;
        parent.resize(200, 100);
        auto* spinner = new WaitingSpinnerWidget(&parent, true, true);
        parent.show();
        spinner->start();
        QVERIFY(spinner->isSpinning() && spinner->isAnimating());
        QVERIFY(!parent.isEnabled());
        QCOMPARE(spinner->pos(), QPoint(80, 30));
        QMetaObject::invokeMethod(spinner, "rotate");
        QMetaObject::invokeMethod(spinner, "rotate");
        spinner->start();
        QCOMPARE(spinner->currentCounter(), 2);
        spinner->stop();
        QVERIFY(parent.isEnabled());
        QVERIFY(!spinner->isVisible() && !spinner->isAnimating());
        QCOMPARE(spinner->currentCounter(), 0);
    }

    // A spinner on a hidden window (the application in the tray) must not wake the process.
    void timerRestsWhileTheSpinnerCannotBeSeen()
    {
        QWidget window;
        auto* spinner = new WaitingSpinnerWidget(&window, false, false);
        spinner->start();
        QVERIFY(spinner->isSpinning());
        QVERIFY(!spinner->isAnimating());
        window.show();
        QVERIFY(spinner->isAnimating());
        window.hide();
        QVERIFY(!spinner->isAnimating());
        window.show();
        QVERIFY(spinner->isAnimating());
        spinner->hide();
        QVERIFY(!spinner->isAnimating());
    }

    void aboutShowsNameVersionHomepageAndAFilledLicence()
    {
        About about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        const QString title = about.findChild<QLabel*>("lblTitle")->text();
        QVERIFY(title.contains("Kendrova Tresora Archive Tool<br/>Version: v1.2.0-g6cce2fd"));
        QVERIFY(title.contains(QStringLiteral("href=\"%1\"").arg(About::homepage)));
        const QString licence = about.findChild<QTextBrowser*>("licenseText")->toPlainText();
        for (const char* name :
             {"Kendrova Tresora Archive Tool (Vix)", "Kendrova Tresora Archive Card",
              "Tresora Archive Card", "Kendrova Data Systems GmbH"})
            QVERIFY2(licence.contains(name), name);
        QVERIFY(!licence.contains(QRegularExpression("%\\d")));
        QVERIFY(!about.findChild<QLabel*>("lblImage")->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(!(about.windowFlags() & Qt::WindowContextHelpButtonHint));
    }

    // Every picture exists at its size and shows something: not blank, not one colour.
    void picturesAreThereAndNotBlank_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::newRow("tick") << ":/icons/check_circle_60x60.png" << QSize(60, 60);
        QTest::newRow("attention") << ":/icons/attention_circle_60x60.png" << QSize(60, 60);
        QTest::newRow("back arrow") << ":/icons/arrow_left_black_64x96.png" << QSize(64, 96);
        QTest::newRow("application") << ":/app_icon" << QSize(256, 256);
        QTest::newRow("about") << ":/about_icon" << QSize(128, 128);
        QTest::newRow("micro SD") << ":/micro_sd_card" << QSize(220, 300);
        QTest::newRow("SD") << ":/sd_card" << QSize(240, 320);
    }
    void picturesAreThereAndNotBlank()
    {
        QFETCH(QString, path);
        const QImage image(path);
        QTEST(image.size(), "size");
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() >= 3, qPrintable(path));
    }
};

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
