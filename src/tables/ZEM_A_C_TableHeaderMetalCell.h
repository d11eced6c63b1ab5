#pragma once

#include "zem_appkit_export.h"

#include <QFont>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QString>

class QPainter;
class QWidget;

/**
 * A header cell painted from the image store's "MetalColumnHeader": the image's top row
 * stretched along the top of the cell, the rest of the image down to the row above the
 * bottom one, and the title centred, in white at 0.7 opacity under black moved half a
 * point right and up.
 *
 * A ZEM_A_C_TableHeaderView paints each section that has a cell with that cell
 * (setSectionCell()).
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TableHeaderMetalCell : public QObject
{
    Q_OBJECT
public:
    /** A cell titled \a title whose image is a copy of the stored "MetalColumnHeader". */
    explicit ZEM_A_C_TableHeaderMetalCell(const QString &title = QString(), QObject *parent = nullptr);
    ~ZEM_A_C_TableHeaderMetalCell() override;

    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    QImage image() const { return m_image; }
    void setImage(const QImage &image) { m_image = image; }
    /** The title's font; unset: the font of the view drawn in. */
    QFont font() const { return m_font; }
    void setFont(const QFont &font);

    /** Paints the cell into \a frame with \a painter; \a view gives the font when none is set. */
    void drawWithFrame(QPainter *painter, const QRectF &frame, const QWidget *view = nullptr) const;

private:
    QString m_title;
    QImage m_image;
    QFont m_font;
    bool m_hasFont = false;
};
