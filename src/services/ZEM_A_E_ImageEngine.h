#pragma once

#include "ZEM_A_I_ImageEngine.h"
#include "foundation/ZEM_F_B_Securitry.h"
#include "zem_appkit_export.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QString>

/**
 * Image tinting and compositing. The compose operations that combine an image with a
 * colour or a background image go through one compositing view (ZEM_A_I_ImageEngine),
 * created on first use, and answer images of its band size (48 × 48). Operation numbers
 * are those of ZEM_A_Y_NSImage.h.
 *
 * An image that is null or an operation outside 0 to 13 gives a null image, and leaves
 * the view as it was.
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_ImageEngine : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_A_E_ImageEngine *shared();

    /** The size of the compositing view: three bands of 48 × 48. */
    static constexpr QSize viewSize() { return QSize(3 * 48, 48); }

    /**
     * Creates the compositing view unless it exists, and answers it; null without a
     * QApplication.
     */
    ZEM_A_I_ImageEngine *loadImageEngine();
    /** The compositing view, or null before loadImageEngine(). */
    ZEM_A_I_ImageEngine *imageEngine() const { return m_imageEngine; }

    /**
     * \a image drawn by \a type over a destination filled with \a destColor (no background
     * image).
     */
    Q_INVOKABLE QImage composeImage(const QImage &image, const QColor &destColor, int type);
    /**
     * \a image drawn by \a type over \a backgroundImage. Without a background image the
     * destination colour last set shows instead.
     */
    Q_INVOKABLE QImage composeBackgroundImage(const QImage &image, const QImage &backgroundImage,
                                              int type);
    /**
     * \a image tinted with \a destColor by \a type: composeImageViewWithColor(), at the
     * image's size.
     */
    Q_INVOKABLE QImage composeImageNoBackGroundColor(const QImage &image, const QColor &destColor,
                                                     int type) const;
    /**
     * \a image tinted by source-in (3) with the host's colour for \a colorKey. When the host
     * has no such colour the image comes back untinted (as a copy).
     */
    Q_INVOKABLE QImage composeDefaultImage(const QImage &image, const QString &colorKey) const;

    ~ZEM_A_E_ImageEngine() override;

private:
    explicit ZEM_A_E_ImageEngine(QObject *parent = nullptr);

    QPointer<ZEM_A_I_ImageEngine> m_imageEngine;
};
