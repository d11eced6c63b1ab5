#include "ZEM_F_E_Colors.h"

#include <array>

namespace {

struct NamedColor
{
    const char *name;
    QRgb rgb;
};

constexpr std::array palette{
    // Label colours.
    NamedColor{"None", 0xffffff},     NamedColor{"Red", 0xfc605c},
    NamedColor{"Orange", 0xfdbc40},   NamedColor{"Yellow", 0xf8e45c},
    NamedColor{"Green", 0x34c84a},    NamedColor{"Blue", 0x4a90e2},
    NamedColor{"Purple", 0xb36ae2},   NamedColor{"Grey", 0xa0a0a4},
    NamedColor{"Teal", 0x4fc1c9},
    // Crayons.
    NamedColor{"Cantaloupe", 0xffce6e}, NamedColor{"Honeydew", 0xcefa6e},
    NamedColor{"Spindrift", 0x68fbd0},  NamedColor{"Sky", 0x6acffe},
    NamedColor{"Lavender", 0xd278ff},   NamedColor{"Carnation", 0xff7aca},
    NamedColor{"Licorice", 0x000000},   NamedColor{"Snow", 0xffffff},
    NamedColor{"Salmon", 0xff6f6e},     NamedColor{"Banana", 0xffff6d},
    NamedColor{"Flora", 0x69f86f},      NamedColor{"Ice", 0x68fdff},
    NamedColor{"Orchid", 0x6e76ff},     NamedColor{"Bubblegum", 0xff7aff},
    NamedColor{"Lead", 0x1e1e1e},       NamedColor{"Mercury", 0xe8e8e8},
    NamedColor{"Tangerine", 0xff8802},  NamedColor{"Lime", 0x83f902},
    NamedColor{"Sea Foam", 0x03f987},   NamedColor{"Aqua", 0x0088ff},
    NamedColor{"Grape", 0x8931ff},      NamedColor{"Strawberry", 0xff2987},
    NamedColor{"Tungsten", 0x3a3a3a},   NamedColor{"Silver", 0xd0d0d0},
    NamedColor{"Maraschino", 0xff2101}, NamedColor{"Lemon", 0xfffa03},
    NamedColor{"Spring", 0x05f802},     NamedColor{"Turquoise", 0x00fdff},
    NamedColor{"Blueberry", 0x0233ff},  NamedColor{"Magenta", 0xff39ff},
    NamedColor{"Iron", 0x545453},       NamedColor{"Magnesium", 0xb8b8b8},
    NamedColor{"Mocha", 0x894800},      NamedColor{"Fern", 0x458401},
    NamedColor{"Moss", 0x018448},       NamedColor{"Ocean", 0x004a88},
    NamedColor{"Eggplant", 0x491a88},   NamedColor{"Maroon", 0x891648},
    NamedColor{"Steel", 0x6e6e6e},      NamedColor{"Aluminum", 0xa0a0a0},
    NamedColor{"Cayenne", 0x891100},    NamedColor{"Asparagus", 0x888501},
    NamedColor{"Clover", 0x028501},     NamedColor{"Lagoon", 0x008688},
    NamedColor{"Midnight", 0x001888},   NamedColor{"Plum", 0x891e88},
    NamedColor{"Tin", 0x878787},        NamedColor{"Nickel", 0x888787},
};

} // namespace

ZEM_F_E_Colors::ZEM_F_E_Colors(QObject *parent) : ZEM_F_B_Securitry(parent) {}

ZEM_F_E_Colors::~ZEM_F_E_Colors() = default;

ZEM_F_E_Colors *ZEM_F_E_Colors::shared()
{
    static ZEM_F_E_Colors *const engine = new ZEM_F_E_Colors;
    return engine;
}

QList<QColor> ZEM_F_E_Colors::crayonColor() const
{
    QList<QColor> colors;
    colors.reserve(qsizetype(palette.size()));
    for (const NamedColor &c : palette)
        colors << QColor::fromRgb(c.rgb);
    return colors;
}

QStringList ZEM_F_E_Colors::crayonColorNames() const
{
    QStringList names;
    names.reserve(qsizetype(palette.size()));
    for (const NamedColor &c : palette)
        names << QLatin1String(c.name);
    return names;
}
