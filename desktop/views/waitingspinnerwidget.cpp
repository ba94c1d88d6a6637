#include "waitingspinnerwidget.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

WaitingSpinnerWidget::WaitingSpinnerWidget(QWidget* parent, bool centerOnParent,
                                           bool disableParentWhenSpinning)
    : QWidget(parent), m_centerOnParent(centerOnParent),
      m_disableParentWhenSpinning(disableParentWhenSpinning)
{
    initialize();
}

WaitingSpinnerWidget::WaitingSpinnerWidget(Qt::WindowModality modality, QWidget* parent,
                                           bool centerOnParent, bool disableParentWhenSpinning)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint), m_centerOnParent(centerOnParent),
      m_disableParentWhenSpinning(disableParentWhenSpinning)
{
    initialize();
    setWindowModality(modality);
    setAttribute(Qt::WA_TranslucentBackground);
}

void WaitingSpinnerWidget::initialize()
{
    m_color = Qt::black;
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &WaitingSpinnerWidget::rotate);
    updateSize();
    updateTimer();
    hide();
}

void WaitingSpinnerWidget::paintEvent(QPaintEvent*)
{
    updatePosition();
    QPainter painter(this);
    painter.fillRect(rect(), Qt::transparent);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (m_currentCounter >= m_numberOfLines)
        m_currentCounter = 0;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < m_numberOfLines; ++i) {
        painter.save();
        painter.translate(m_innerRadius + m_lineLength, m_innerRadius + m_lineLength);
        painter.rotate(360.0 * i / m_numberOfLines);
        painter.translate(m_innerRadius, 0);
        const int distance = lineCountDistanceFromPrimary(i, m_currentCounter, m_numberOfLines);
        painter.setBrush(currentLineColor(distance, m_numberOfLines, m_trailFadePercentage,
                                          m_minimumTrailOpacity, m_color));
        painter.drawRoundedRect(QRect(0, -(m_lineWidth / 2), m_lineLength, m_lineWidth),
                                m_roundness, m_roundness, Qt::RelativeSize);
        painter.restore();
    }
}

void WaitingSpinnerWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    runTimerWhileVisible();
}

void WaitingSpinnerWidget::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    runTimerWhileVisible();
}

// Hidden in the tray or behind another page, the spinner would otherwise wake the process
// every few milliseconds for nothing.
void WaitingSpinnerWidget::runTimerWhileVisible()
{
    if (m_isSpinning && isVisible())
        m_timer->start();
    else
        m_timer->stop();
}

void WaitingSpinnerWidget::start()
{
    updatePosition();
    const bool wasSpinning = m_isSpinning;
    m_isSpinning = true;
    show();
    if (parentWidget() && m_disableParentWhenSpinning)
        parentWidget()->setEnabled(false);
    if (!wasSpinning)
        m_currentCounter = 0;
    runTimerWhileVisible();
}

void WaitingSpinnerWidget::stop()
{
    m_isSpinning = false;
    hide();
    if (parentWidget() && m_disableParentWhenSpinning)
        parentWidget()->setEnabled(true);
    m_timer->stop();
    m_currentCounter = 0;
}

bool WaitingSpinnerWidget::isAnimating() const
{
    return m_timer->isActive();
}

int WaitingSpinnerWidget::timerInterval() const
{
    return m_timer->interval();
}

void WaitingSpinnerWidget::setNumberOfLines(int lines)
{
    m_numberOfLines = lines;
    m_currentCounter = 0;
    updateTimer();
}

void WaitingSpinnerWidget::setLineLength(int length)
{
    m_lineLength = length;
    updateSize();
}

void WaitingSpinnerWidget::setLineWidth(int width)
{
    m_lineWidth = width;
    updateSize();
}

void WaitingSpinnerWidget::setInnerRadius(int radius)
{
    m_innerRadius = radius;
    updateSize();
}

void WaitingSpinnerWidget::setColor(const QColor& color)
{
    m_color = color;
}

void WaitingSpinnerWidget::setRoundness(double roundness)
{
    m_roundness = std::max(0.0, std::min(100.0, roundness));
}

void WaitingSpinnerWidget::setMinimumTrailOpacity(double minimumTrailOpacity)
{
    m_minimumTrailOpacity = minimumTrailOpacity;
}

void WaitingSpinnerWidget::setTrailFadePercentage(double trail)
{
    m_trailFadePercentage = trail;
}

void WaitingSpinnerWidget::setRevolutionsPerSecond(double revolutionsPerSecond)
{
    m_revolutionsPerSecond = revolutionsPerSecond;
    updateTimer();
}

void WaitingSpinnerWidget::rotate()
{
    ++m_currentCounter;
    if (m_currentCounter >= m_numberOfLines)
        m_currentCounter = 0;
    repaint();
}

void WaitingSpinnerWidget::updateSize()
{
    const int size = (m_innerRadius + m_lineLength) * 2;
    setFixedSize(size, size);
}

void WaitingSpinnerWidget::updateTimer()
{
    m_timer->setInterval(static_cast<int>(1000 / (m_numberOfLines * m_revolutionsPerSecond)));
}

void WaitingSpinnerWidget::updatePosition()
{
    if (parentWidget() && m_centerOnParent)
        move(parentWidget()->width() / 2 - width() / 2,
             parentWidget()->height() / 2 - height() / 2);
}

int WaitingSpinnerWidget::lineCountDistanceFromPrimary(int current, int primary, int totalNrOfLines)
{
    int distance = primary - current;
    if (distance < 0)
        distance += totalNrOfLines;
    return distance;
}

QColor WaitingSpinnerWidget::currentLineColor(int distance, int totalNrOfLines,
                                              double trailFadePerc, double minOpacity, QColor color)
{
    if (distance == 0)
        return color;
    const double minAlphaF = minOpacity / 100.0;
    const int distanceThreshold =
        static_cast<int>(std::ceil((totalNrOfLines - 1) * trailFadePerc / 100.0));
    if (distance > distanceThreshold) {
        color.setAlphaF(minAlphaF);
    } else {
        const double alphaDiff = color.alphaF() - minAlphaF;
        const double gradient = alphaDiff / static_cast<double>(distanceThreshold + 1);
        const double resultAlpha = color.alphaF() - gradient * distance;
        color.setAlphaF(std::min(1.0, std::max(0.0, resultAlpha)));
    }
    return color;
}
