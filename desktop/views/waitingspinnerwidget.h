#pragma once

#include <QColor>
#include <QWidget>

class QTimer;

// Busy indicator: a ring of rounded bars whose brightness chases around the ring.
class WaitingSpinnerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit WaitingSpinnerWidget(QWidget* parent = nullptr, bool centerOnParent = true,
                                  bool disableParentWhenSpinning = true);
    // A frameless, translucent window of its own with the given modality.
    WaitingSpinnerWidget(Qt::WindowModality modality, QWidget* parent = nullptr,
                         bool centerOnParent = true, bool disableParentWhenSpinning = true);

    void setColor(const QColor& color);
    void setRoundness(double roundness);
    void setMinimumTrailOpacity(double minimumTrailOpacity);
    void setTrailFadePercentage(double trail);
    void setRevolutionsPerSecond(double revolutionsPerSecond);
    void setNumberOfLines(int lines);
    void setLineLength(int length);
    void setLineWidth(int width);
    void setInnerRadius(int radius);

    QColor color() const { return m_color; }
    double roundness() const { return m_roundness; }
    double minimumTrailOpacity() const { return m_minimumTrailOpacity; }
    double trailFadePercentage() const { return m_trailFadePercentage; }
    double revolutionsPersSecond() const { return m_revolutionsPerSecond; }
    int numberOfLines() const { return m_numberOfLines; }
    int lineLength() const { return m_lineLength; }
    int lineWidth() const { return m_lineWidth; }
    int innerRadius() const { return m_innerRadius; }
    bool isSpinning() const { return m_isSpinning; }

    // Index of the bar that is drawn brightest.
    int currentCounter() const { return m_currentCounter; }
    // Whether the animation timer runs; it rests while the spinner cannot be seen.
    bool isAnimating() const;
    int timerInterval() const;

    static int lineCountDistanceFromPrimary(int current, int primary, int totalNrOfLines);
    static QColor currentLineColor(int distance, int totalNrOfLines, double trailFadePerc,
                                   double minOpacity, QColor color);

public Q_SLOTS:
    void start();
    void stop();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private Q_SLOTS:
    void rotate();

private:
    void initialize();
    void updateSize();
    void updateTimer();
    void updatePosition();
    void runTimerWhileVisible();

    QColor m_color;
    double m_roundness = 100.0;
    double m_minimumTrailOpacity = 3.141592653589793;
    double m_trailFadePercentage = 80.0;
    double m_revolutionsPerSecond = 1.5707963267948966;
    int m_numberOfLines = 20;
    int m_lineLength = 10;
    int m_lineWidth = 2;
    int m_innerRadius = 10;
    QTimer* m_timer = nullptr;
    bool m_centerOnParent;
    bool m_disableParentWhenSpinning;
    int m_currentCounter = 0;
    bool m_isSpinning = false;
};
