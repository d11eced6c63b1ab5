#include "ZEM_A_C_NSColorWell.h"

#include "platform/InterfaceLoader.h"
#include <QPixmap>

ZEM_A_C_NSColorWell::ZEM_A_C_NSColorWell(QWidget *parent) : ZEM_A_C_ToolTipOnly<QPushButton>(parent)
{
    setIconSize(QSize(32, 16));
}

ZEM_A_C_NSColorWell::~ZEM_A_C_NSColorWell() = default;

void ZEM_A_C_NSColorWell::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    if (color.isValid()) {
        QPixmap swatch(iconSize());
        swatch.fill(color);
        setIcon(QIcon(swatch));
    } else {
        setIcon(QIcon());
    }
    emit colorChanged(color);
}

ZEM_INTERFACE_CLASS(ZEM_A_C_NSColorWell)
