// Writes one generation of records into a store and says when its save begins, so that a
// test can kill it in the middle of the save.
//   zem_store_writer <store type> <model.json> <store file> <count> <tag>
#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QCoreApplication>

#include <cstdio>

static int fail(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return 1;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        std::fprintf(stderr, "usage: zem_store_writer <type> <model> <store> <count> <tag>\n");
        return 2;
    }
    auto model = platform::DataModel::fromFile(args[2]);
    if (!model)
        return fail(model.error().message);
    platform::PersistentStoreCoordinator coordinator(*model);
    auto store = coordinator.addPersistentStore(args[1], args[3]);
    if (!store)
        return fail(store.error().message);
    platform::StoreContext context;
    context.setPersistentStoreCoordinator(&coordinator);
    context.setUndoEnabled(false);
    const int count = args[4].toInt();
    for (int i = 0; i < count; ++i) {
        platform::PersistentObject *person = context.insertNewObject(QStringLiteral("Person"));
        person->setValueForKey(QStringLiteral("%1-%2").arg(args[5]).arg(i), QStringLiteral("lastName"));
        person->setValueForKey(QStringLiteral("A line of notes long enough to make the file grow. %1").arg(i),
                               QStringLiteral("notes"));
    }
    std::printf("saving\n");
    std::fflush(stdout);
    const auto saved = context.save();
    if (!saved)
        return fail(saved.error().message);
    std::printf("saved\n");
    return 0;
}
