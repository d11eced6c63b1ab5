#include "ZEM_A_I_ImageEngine.h"

#include "ZEM_A_E_Image.h"
#include "ZEM_A_Y_NSImage.h"

#include <QPainter>

ZEM_A_I_ImageEngine::ZEM_A_I_ImageEngine(const QSize &size, QWidget *parent) : QWidget(parent)
{
    setFixedSize(size);
    const int third = size.width() / 3;
    m_sRect = QRect(0, 0, third, size.height());
    m_dRect = QRect(third, 0, third, size.height());
    m_rRect = QRect(2 * third, 0, third, size.height());
}

ZEM_A_I_ImageEngine::~ZEM_A_I_ImageEngine() = default;

bool ZEM_A_I_ImageEngine::setOperator(int operation)
{
    if (!isCompositingOperation(operation))
        return false;
    m_operator = operation;
    invalidate(Result);
    update(m_rRect);
    return true;
}

bool ZEM_A_I_ImageEngine::changeCustomImageTo(const QImage &image)
{
    if (image.isNull())
        return false;
    const QImage sized = ZEM_A_E_Image::resized(image, m_sRect.size());
    if (sized.isNull())
        return false;
    m_customImage = sized;
    invalidate(Source | Result);
    update();
    return true;
}

bool ZEM_A_I_ImageEngine::changeBackgroundImageTo(const QImage &image)
{
    if (image.isNull()) {
        if (!m_backgroundImage.isNull()) {
            m_backgroundImage = QImage();
            invalidate(Destination | Result);
            update();
        }
        return false;
    }
    const QImage sized = ZEM_A_E_Image::resized(image, m_dRect.size());
    if (sized.isNull())
        return false;
    m_backgroundImage = sized;
    invalidate(Destination | Result);
    update();
    return true;
}

void ZEM_A_I_ImageEngine::setSourceColor(const QColor &color)
{
    m_sourceColor = color;
    invalidate(Source | Result);
    update();
}

void ZEM_A_I_ImageEngine::setDestColor(const QColor &color)
{
    m_destColor = color;
    invalidate(Destination | Result);
    update();
}

void ZEM_A_I_ImageEngine::setBackColor(const QColor &color)
{
    m_backgroundColor = color;
    update();
}

void ZEM_A_I_ImageEngine::invalidate(int parts)
{
    m_dirty |= parts;
}

QImage ZEM_A_I_ImageEngine::blankBand() const
{
    QImage band(m_sRect.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    band.fill(Qt::transparent);
    return band;
}

QImage ZEM_A_I_ImageEngine::source() const
{
    if (m_dirty & Source) {
        m_source = blankBand();
        if (!m_customImage.isNull())
            compositeImage(m_source, QPoint(0, 0), m_customImage, 2);
        m_dirty &= ~Source;
    }
    return m_source;
}

QImage ZEM_A_I_ImageEngine::destination() const
{
    if (m_dirty & Destination) {
        m_destination = blankBand();
        if (!m_backgroundImage.isNull())
            compositeImage(m_destination, QPoint(0, 0), m_backgroundImage, 2);
        else if (m_destColor.isValid())
            m_destination.fill(m_destColor);
        m_dirty &= ~Destination;
    }
    return m_destination;
}

QImage ZEM_A_I_ImageEngine::result() const
{
    if (m_dirty & Result) {
        m_result = blankBand();
        compositeImage(m_result, QPoint(0, 0), destination(), 1);
        compositeImage(m_result, QPoint(0, 0), source(), m_operator);
        m_dirty &= ~Result;
    }
    return m_result;
}

QImage ZEM_A_I_ImageEngine::returnResult() const
{
    return result().copy();
}

void ZEM_A_I_ImageEngine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_backgroundColor);
    const std::pair<QRect, QImage> bands[] = {
        {m_sRect, source()}, {m_dRect, destination()}, {m_rRect, result()}};
    for (const auto &[band, image] : bands) {
        painter.drawImage(band.topLeft(), image);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(band.adjusted(0, 0, -1, -1));
    }
}
