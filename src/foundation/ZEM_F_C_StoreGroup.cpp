#include "ZEM_F_C_StoreGroup.h"

#include "ZEM_F_Log.h"

#include <QDir>
#include <QFileInfo>

ZEM_F_C_StoreGroup::ZEM_F_C_StoreGroup(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_F_C_StoreGroup::~ZEM_F_C_StoreGroup() = default;

ZEM_F_C_StoreGroup *ZEM_F_C_StoreGroup::shared()
{
    static ZEM_F_C_StoreGroup *const store = new ZEM_F_C_StoreGroup;
    return store;
}

QStringList ZEM_F_C_StoreGroup::shippedImageNames()
{
    return {QStringLiteral("BlankCell"),        QStringLiteral("BorderCell"),
            QStringLiteral("MetalColumnHeader"), QStringLiteral("NumbersDragImage"),
            QStringLiteral("PhotoPicker"),       QStringLiteral("ResizeCorner"),
            QStringLiteral("VCard"),
            // The mark of a menu item that is on, as the platform's own is not in Qt.
            QStringLiteral("NSMenuRadio")};
}

QImage ZEM_F_C_StoreGroup::imageForKey(const QString &name) const
{
    if (name.isEmpty())
        return {};
    if (const auto it = m_hostImages.constFind(name); it != m_hostImages.constEnd())
        return it.value();
    if (const auto it = m_cache.constFind(name); it != m_cache.constEnd())
        return it.value();
    QImage image = loadImage(name);
    // Misses are cached too, so a table asking for a missing image per row reads no disk.
    m_cache.insert(name, image);
    return image;
}

QImage ZEM_F_C_StoreGroup::loadImage(const QString &name) const
{
    // A name is a file's base name, never a path.
    if (name.contains(u'/') || name.contains(u'\\') || name.startsWith(u'.'))
        return {};
    static const char *const suffixes[] = {".png", ".tiff", ".tif", ".jpg", ".jpeg"};
    for (auto folder = m_folders.crbegin(); folder != m_folders.crend(); ++folder) {
        for (const char *suffix : suffixes) {
            const QString path = QDir(*folder).filePath(name + QLatin1String(suffix));
            if (!QFileInfo::exists(path))
                continue;
            QImage image(path);
            if (!image.isNull())
                return image;
            qCWarning(zemFoundation) << "image store: cannot read" << path;
        }
    }
    return QImage(QStringLiteral(":/zem/images/%1.png").arg(name));
}

void ZEM_F_C_StoreGroup::setImage(const QString &name, const QImage &image)
{
    if (image.isNull()) {
        removeImage(name);
        return;
    }
    m_hostImages.insert(name, image);
}

void ZEM_F_C_StoreGroup::removeImage(const QString &name)
{
    m_hostImages.remove(name);
    m_cache.remove(name);
}

bool ZEM_F_C_StoreGroup::addImageFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isDir())
        return false;
    m_folders.removeAll(info.absoluteFilePath());
    m_folders.append(info.absoluteFilePath());
    // The new folder may hold names already answered from elsewhere.
    m_cache.clear();
    return true;
}
