#pragma once

#include "platform/ImagePosition.h"
#include "zem_appkit_export.h"

#include <QImage>
#include <QObject>
#include <QString>

namespace platform {

/**
 * The state of one button that is drawn by its owner rather than being a widget of its
 * own: a cell of a matrix or of a table column. It carries the title, the image and the
 * alternate image shown while the cell is on, where the image sits, and a tag.
 *
 * Images are kept at the size they are given; the owner draws them.
 */
class ZEM_APPKIT_EXPORT ButtonCell : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY changed)
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY changed)
    Q_PROPERTY(QImage alternateImage READ alternateImage WRITE setAlternateImage NOTIFY changed)
    Q_PROPERTY(int imagePosition READ imagePositionValue WRITE setImagePositionValue NOTIFY changed)
    Q_PROPERTY(int tag READ tag WRITE setTag NOTIFY changed)
public:
    explicit ButtonCell(QObject *parent = nullptr);
    explicit ButtonCell(const QString &title, QObject *parent = nullptr);
    ~ButtonCell() override;

    QString title() const { return m_title; }
    void setTitle(const QString &title);

    /** The image; null when the cell has none. */
    QImage image() const { return m_image; }
    void setImage(const QImage &image);

    /** The image shown while the cell is on; null when the cell has none. */
    QImage alternateImage() const { return m_alternateImage; }
    void setAlternateImage(const QImage &image);

    ImagePosition imagePosition() const { return m_imagePosition; }
    void setImagePosition(ImagePosition position);

    int tag() const { return m_tag; }
    void setTag(int tag);

signals:
    /** Any of the cell's values changed; its owner redraws it. */
    void changed();

private:
    int imagePositionValue() const { return static_cast<int>(m_imagePosition); }
    void setImagePositionValue(int value);

    QString m_title;
    QImage m_image;
    QImage m_alternateImage;
    ImagePosition m_imagePosition = ImagePosition::NoImage;
    int m_tag = 0;
};

} // namespace platform
