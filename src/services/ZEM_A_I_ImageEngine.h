#pragma once

#include "zem_appkit_export.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

/**
 * The compositing view: three side-by-side bands of a third of its width each, showing
 * the source (the custom image), the destination (the background image, or the
 * destination colour) and the result (the source drawn over the destination with the
 * current operation; numbers as in ZEM_A_Y_NSImage.h).
 *
 * The band images are drawn on demand: a change only marks the images that depend on it,
 * and they are redrawn when next read or painted. The bands are fixed when the view is
 * created.
 */
class ZEM_APPKIT_EXPORT ZEM_A_I_ImageEngine : public QWidget
{
    Q_OBJECT
public:
    /** A view of \a size (fixed); the bands are cut from it. */
    explicit ZEM_A_I_ImageEngine(const QSize &size, QWidget *parent = nullptr);
    ~ZEM_A_I_ImageEngine() override;

    /** The current operation; 11 (plus-darker) at first. */
    int compositingOperator() const { return m_operator; }
    /** Takes \a operation when it is 0 to 13 and answers true; others change nothing. */
    Q_INVOKABLE bool setOperator(int operation);

    /**
     * Makes \a image, resized to the band size, the custom image. Answers false, keeping
     * the previous one, for no image or one that cannot be resized.
     */
    Q_INVOKABLE bool changeCustomImageTo(const QImage &image);
    /**
     * Makes \a image, resized to the band size, the background image. No image clears the
     * background image (the destination colour shows again) and answers false; so does an
     * image that cannot be resized, keeping the previous one.
     */
    Q_INVOKABLE bool changeBackgroundImageTo(const QImage &image);

    QColor sourceColor() const { return m_sourceColor; }
    Q_INVOKABLE void setSourceColor(const QColor &color);
    /** The fill of the destination band when there is no background image. */
    QColor destColor() const { return m_destColor; }
    Q_INVOKABLE void setDestColor(const QColor &color);
    /** The view's own fill behind the bands. */
    QColor backgroundColor() const { return m_backgroundColor; }
    Q_INVOKABLE void setBackColor(const QColor &color);

    QImage customImage() const { return m_customImage; }
    QImage backgroundImage() const { return m_backgroundImage; }

    QImage source() const;
    QImage destination() const;
    QImage result() const;
    /** A copy of the result image, which the caller may keep and change. */
    Q_INVOKABLE QImage returnResult() const;

    QRect sRect() const { return m_sRect; }
    QRect dRect() const { return m_dRect; }
    QRect rRect() const { return m_rRect; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    enum Part { Source = 1, Destination = 2, Result = 4 };
    void invalidate(int parts);
    QImage blankBand() const;

    QRect m_sRect;
    QRect m_dRect;
    QRect m_rRect;
    QImage m_customImage;
    QImage m_backgroundImage;
    QColor m_sourceColor = Qt::transparent;
    QColor m_destColor = Qt::transparent;
    QColor m_backgroundColor = Qt::transparent;
    int m_operator = 11;

    mutable QImage m_source;
    mutable QImage m_destination;
    mutable QImage m_result;
    mutable int m_dirty = Source | Destination | Result;
};
