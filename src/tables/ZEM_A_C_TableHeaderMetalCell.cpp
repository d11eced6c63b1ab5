#include "ZEM_A_C_TableHeaderMetalCell.h"

#include "foundation/ZEM_F_C_StoreGroup.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QWidget>

using namespace Qt::StringLiterals;

ZEM_A_C_TableHeaderMetalCell::ZEM_A_C_TableHeaderMetalCell(const QString &title, QObject *parent)
    : QObject(parent)
    , m_title(title)
    // A copy of its own, so a host replacing the stored image later leaves this cell alone.
    , m_image(ZEM_F_C_StoreGroup::shared()->imageForKey(u"MetalColumnHeader"_s).copy())
{
}

ZEM_A_C_TableHeaderMetalCell::~ZEM_A_C_TableHeaderMetalCell() = default;

void ZEM_A_C_TableHeaderMetalCell::setFont(const QFont &font)
{
    m_font = font;
    m_hasFont = true;
}

void ZEM_A_C_TableHeaderMetalCell::drawWithFrame(QPainter *painter, const QRectF &frame,
                                                 const QWidget *view) const
{
    if (!painter)
        return;
    const qreal x = frame.x();
    const qreal y = frame.y();
    const qreal w = frame.width();
    const qreal h = frame.height();
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter->setOpacity(1.0);
    if (!m_image.isNull()) {
        // Qt's y runs down: the image's top row is its row 0 and goes to the frame's top
        // row; the rest fills the rows below, leaving the bottom row to the header's edge.
        const qreal iw = m_image.width();
        const qreal ih = m_image.height();
        painter->drawImage(QRectF(x, y, w, 1), m_image, QRectF(0, 0, iw, 1));
        if (ih > 1 && h > 2)
            painter->drawImage(QRectF(x, y + 1, w, h - 2), m_image, QRectF(0, 1, iw, ih - 1));
    }
    if (!m_title.isEmpty()) {
        const QFont font = m_hasFont ? m_font : (view ? view->font() : painter->font());
        const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, m_title);
        const QRectF text(x + (w - size.width()) / 2 - 0.5, y + (h - size.height()) / 2 + 0.5,
                          size.width(), size.height());
        painter->setFont(font);
        painter->setPen(QColor::fromRgbF(1, 1, 1, 0.7f));
        painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_title);
        painter->setPen(Qt::black);
        painter->drawText(text.translated(0.5, -0.5), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_title);
    }
    painter->restore();
}
