#pragma once

#include "foundation/ZEM_F_B_Securitry.h"
#include "zem_appkit_export.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

class QAction;

/**
 * Images from the foundation image store put on controls, and colour swatches.
 *
 * The controls served: a platform::ButtonCell (exactly that class), a QAbstractButton or
 * any subclass, and a QAction (exactly that class, the kit's menu item). On a button or an
 * action the image is kept in the dynamic property "image" and the alternate image in
 * "alternateImage"; the icon is built from both, the alternate image being the icon's
 * QIcon::On state. A button's iconSize becomes the size of its image.
 *
 * Image positions are the numbers of platform::ImagePosition; -1 (all ones, also as the
 * unsigned 0xFFFFFFFF) leaves the control's position as it is.
 */
class ZEM_APPKIT_EXPORT ZEM_A_E_Icons : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_A_E_Icons *shared();

    /** The position number that leaves a control's image position alone. */
    static constexpr qint64 keepPosition = -1;

    /**
     * Gives \a control the stored image \a main and, unless \a alt is empty, the stored
     * image \a alt as its alternate image, both sized for the control; then the image
     * position \a pos (see above).
     */
    Q_INVOKABLE void buttonImage(QObject *control, const QString &main, const QString &alt,
                                 qint64 pos);
    /** As buttonImage(), keeping the images at their own size. */
    Q_INVOKABLE void buttonImageNoResize(QObject *control, const QString &main, const QString &alt,
                                         qint64 pos);
    /** buttonImage() for each of \a controls with the same keys and position. */
    Q_INVOKABLE void buttonImageWithArray(const QList<QObject *> &controls, const QString &main,
                                          const QString &alt, qint64 pos);

    /**
     * Puts a copy of the stored image \a key on \a control as its image, or as its
     * alternate image when \a alt is true. With \a resize the image is first given the
     * control's size: a button cell keeps the image's own size, a button takes its own
     * size, a menu item a square of side h - 4 where h is the height of its target's
     * cellSize or, failing that, of its target's frame (the image's own size when the
     * target answers neither or h - 4 is under 1).
     *
     * Answers false, changing nothing, when the store has no such image (logging
     * "<application> problem getting image <key>") or the control is of another class.
     */
    Q_INVOKABLE bool buttonSupport(const QString &key, QObject *control, bool alt, bool resize);

    /**
     * For each control, the image keyed by the name of the same index followed by
     * \a prefix and \a type, as the only image (position 1). Controls beyond the names are
     * left alone.
     */
    Q_INVOKABLE void setUpIconSupport(const QList<QObject *> &controls, const QStringList &names,
                                      const QString &type, const QString &prefix);
    /** As setUpIconSupport() with the names alone as keys. */
    Q_INVOKABLE void setUpIconSupportOnly(const QList<QObject *> &controls,
                                          const QStringList &names);

    /**
     * A 12 × 12 swatch of \a color: the stored "BorderCell" with the stored "BlankCell",
     * tinted with the colour by plus-lighter (13), drawn over it. Black tints as it is;
     * any other colour tints with its red, green and blue at alpha 0.8. Null when the
     * store lacks either image or the colour is invalid.
     */
    Q_INVOKABLE QImage getImageForColor(const QColor &color) const;
    /**
     * Makes the swatch of \a color the image and icon of \a item, with no other state
     * image: the alternate image and, on an item that has them (ZEM_A_C_NSMenuItem), the
     * "onStateImage" and "mixedStateImage" are cleared, so the swatch shows in every state.
     * An item is left alone when no swatch can be made.
     */
    Q_INVOKABLE void setPopUpImage(QAction *item, const QColor &color);

    ~ZEM_A_E_Icons() override;

private:
    explicit ZEM_A_E_Icons(QObject *parent = nullptr);

    void buttonImageSupport(QObject *control, const QString &main, const QString &alt, qint64 pos,
                            bool resize);
};
