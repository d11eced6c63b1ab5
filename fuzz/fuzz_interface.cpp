// Interface files come with hosts and their plug-ins, and may be edited by hand: a loader
// must refuse what it cannot build, and never crash on it.
#include "platform/InterfaceLoader.h"

#include <QApplication>
#include <QBuffer>

#include <cstdint>
#include <memory>

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
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char *>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    QString error;
    QList<QObject *> objects;
    std::unique_ptr<QWidget> root(platform::InterfaceLoader::load(&buffer, nullptr, &error, &objects));
    if (!root && error.isEmpty())
        std::abort(); // a refusal always says why
    if (root && (objects.isEmpty() || objects.first() != root.get()))
        std::abort(); // the root is the first object created
    return 0;
}
