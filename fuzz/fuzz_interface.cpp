// Interface files come with hosts and their plug-ins, and may be edited by hand: a loader
// must refuse what it cannot build, and never crash on it.
//
// An input starting with 'D' is a tiny grammar that builds a file, so that deep nesting is
// a few bytes away: each later byte's low three bits open a <widget> (0, 1), a
// <layout>/<item> pair (2) or a <property> (3), close the innermost element (4, 5), or
// repeat the previous opening as often as the next byte says, plus one (6, 7); its high
// bits pick a class or a name. Any other input is the file itself.
#include "platform/InterfaceLoader.h"

#include <QApplication>
#include <QBuffer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

[[noreturn]] void failed(const char *what)
{
    std::fprintf(stderr, "fuzz_interface: %s\n", what);
    std::abort();
}

// The loader refuses files nested deeper than this.
constexpr int kLoaderMaxDepth = 256;
// Enough openings to pass the limit twice over; more only makes each run slower.
constexpr int kMaxOpenings = 2048;

struct Built
{
    QByteArray ui;
    int maxDepth = 0;
};

Built buildNested(const uint8_t *data, size_t size)
{
    static const char *const widgets[] = {"QWidget", "QFrame", "QGroupBox", "QTabWidget", "QScrollArea",
                                          "QSplitter", "QStackedWidget", "QTableWidget",
                                          "ZEM_A_C_NSWindow", "ZEM_A_C_NSBox", "ZEM_A_C_NSTabView",
                                          "ZEM_A_C_NSButton"};
    static const char *const layouts[] = {"QVBoxLayout", "QHBoxLayout", "QGridLayout", "QFormLayout"};
    static const char *const properties[] = {"text", "title", "windowTitle", "toolTip", "table", "geometry"};

    Built built;
    built.ui = "<ui version=\"4.0\"><class>Deep</class>";
    QList<QByteArray> open{"ui"}; // closing tags of the open elements, innermost last
    built.maxDepth = 1;
    int openings = 0;
    int last = -1;        // the previous opening byte, for repeats
    int serial = 0;       // keeps object names apart
    const auto openOne = [&](uint8_t byte) {
        const int variant = byte >> 3;
        const QByteArray name = QByteArray::number(serial++);
        switch (byte & 7) {
        case 0:
        case 1:
            built.ui += QByteArray("<widget class=\"") + widgets[variant % std::size(widgets)] + "\" name=\"w"
                        + name + "\">";
            open.append("widget");
            break;
        case 2:
            built.ui += QByteArray("<layout class=\"") + layouts[variant % std::size(layouts)] + "\" name=\"l"
                        + name + "\"><item>";
            open.append("layout");
            open.append("item");
            break;
        default: // 3
            built.ui += QByteArray("<property name=\"") + properties[variant % std::size(properties)]
                        + "\"><string>p" + name + "</string>";
            open.append("property");
            break;
        }
        built.maxDepth = std::max(built.maxDepth, int(open.size()));
        ++openings;
    };
    for (size_t i = 0; i < size && openings < kMaxOpenings; ++i) {
        const uint8_t byte = data[i];
        switch (byte & 7) {
        case 4:
        case 5:
            if (open.size() > 1)
                built.ui += "</" + open.takeLast() + '>';
            break;
        case 6:
        case 7: {
            const int times = i + 1 < size ? data[++i] + 1 : 1;
            for (int n = 0; n < times && last >= 0 && openings < kMaxOpenings; ++n)
                openOne(uint8_t(last));
            break;
        }
        default:
            openOne(byte);
            last = byte;
        }
    }
    // A property's <string> is one level below it.
    for (qsizetype i = 0; i < open.size(); ++i)
        if (open.at(i) == "property")
            built.maxDepth = std::max(built.maxDepth, int(i) + 2);
    while (!open.isEmpty())
        built.ui += "</" + open.takeLast() + '>';
    return built;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The loader warns about every odd property; a run would drown in them.
        qputenv("QT_LOGGING_RULES", "*.warning=false");
        static int argc = 1;
        static char name[] = "fuzz_interface";
        static char *argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    Q_UNUSED(app);
    const bool nested = size > 0 && data[0] == 'D';
    const Built built = nested ? buildNested(data + 1, size - 1) : Built{};
    QBuffer buffer;
    if (nested)
        buffer.setData(built.ui);
    else
        buffer.setData(reinterpret_cast<const char *>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    QString error;
    QList<QObject *> objects;
    std::unique_ptr<QWidget> root(platform::InterfaceLoader::load(&buffer, nullptr, &error, &objects));
    if (!root && error.isEmpty())
        failed("a refusal does not say why");
    if (root && (objects.isEmpty() || objects.first() != root.get()))
        failed("the root is not the first object created");
    if (nested && built.maxDepth > kLoaderMaxDepth && (root || !error.contains(QLatin1String("nested too deeply"))))
        failed("a file nested past the limit was not refused as too deep");
    return 0;
}
