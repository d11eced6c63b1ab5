#pragma once

#include "ZEM_F_B_Securitry.h"

#include <QColor>
#include <QList>
#include <QStringList>

/**
 * The colour set of the label pop-ups and colour menus. Indexes 0 to 8 are the label
 * colours: none (white), red, orange, yellow, green, blue, purple, grey and teal; the
 * crayon colours follow.
 */
class ZEM_FOUNDATION_EXPORT ZEM_F_E_Colors : public ZEM_F_B_Securitry
{
    Q_OBJECT
public:
    static ZEM_F_E_Colors *shared();

    /** The label colours, then the crayon colours. */
    Q_INVOKABLE QList<QColor> crayonColor() const;
    /** The English names of crayonColor(), index for index. */
    Q_INVOKABLE QStringList crayonColorNames() const;

    /** How many of crayonColor()'s first entries are label colours. */
    static constexpr int LabelColorCount = 9;

    explicit ZEM_F_E_Colors(QObject *parent = nullptr);
    ~ZEM_F_E_Colors() override;
};
