#pragma once

#include "ZEM_F_B_Securitry.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

/**
 * The image store: images by name. The shipped images ("BlankCell", "BorderCell",
 * "MetalColumnHeader", "NumbersDragImage", "PhotoPicker", "ResizeCorner", "VCard") come
 * from the resources under ":/zem/images/"; a host adds its own with setImage() or
 * addImageFolder(). Host images win over shipped ones; among folders the one added last
 * wins. Images read from files are kept once read.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_C_StoreGroup : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_F_C_StoreGroup *shared();

    /** The image named \a name, or a null QImage when the store has none. */
    Q_INVOKABLE QImage imageForKey(const QString &name) const;

    /** Stores \a image under \a name; a null image removes the name, as removeImage(). */
    void setImage(const QString &name, const QImage &image);
    /** Forgets the image set under \a name; a folder's or shipped image shows again. */
    void removeImage(const QString &name);
    /**
     * Looks in \a path for images named "<name>.png", ".tiff", ".tif", ".jpg" or
     * ".jpeg" when asked for a name. Returns false when \a path is not a folder.
     */
    bool addImageFolder(const QString &path);
    /** The names of the images shipped with the store. */
    static QStringList shippedImageNames();

    explicit ZEM_F_C_StoreGroup(QObject *parent = nullptr);
    ~ZEM_F_C_StoreGroup() override;

private:
    QImage loadImage(const QString &name) const;

    QHash<QString, QImage> m_hostImages;
    QStringList m_folders;
    mutable QHash<QString, QImage> m_cache;
};
