#include "platform/ButtonCell.h"

namespace platform {

ButtonCell::ButtonCell(QObject *parent) : QObject(parent) {}

ButtonCell::ButtonCell(const QString &title, QObject *parent) : QObject(parent), m_title(title) {}

ButtonCell::~ButtonCell() = default;

void ButtonCell::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    emit changed();
}

void ButtonCell::setImage(const QImage &image)
{
    m_image = image;
    emit changed();
}

void ButtonCell::setAlternateImage(const QImage &image)
{
    m_alternateImage = image;
    emit changed();
}

void ButtonCell::setImagePosition(ImagePosition position)
{
    if (position == m_imagePosition)
        return;
    m_imagePosition = position;
    emit changed();
}

void ButtonCell::setImagePositionValue(int value)
{
    // Numbers from outside (interface files, by-name calls) that name no position are ignored.
    if (isImagePosition(value))
        setImagePosition(static_cast<ImagePosition>(value));
}

void ButtonCell::setTag(int tag)
{
    if (tag == m_tag)
        return;
    m_tag = tag;
    emit changed();
}

} // namespace platform
