// XML stores are files a user can copy, sync and edit by hand: the reader must refuse bad
// input cleanly, and whatever it accepts must survive a write and a second read unchanged.
#include "platform/store/DataModel.h"
#include "platform/store/Predicate.h"
#include "platform/store/XmlStore.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using platform::DataModel;
using platform::XmlStore;

namespace {

// Every attribute type and every kind of relationship: one-to-many, many-to-many,
// one-to-one and one without an inverse.
const char kModel[] = R"({ "entities": [
  { "name": "Person",
    "attributes": [ { "name": "name", "type": "string" }, { "name": "age", "type": "integer" },
                    { "name": "score", "type": "double" }, { "name": "active", "type": "boolean" },
                    { "name": "born", "type": "date" }, { "name": "photo", "type": "binary" } ],
    "relationships": [ { "name": "group", "destination": "Group", "inverse": "members" },
                       { "name": "tags", "destination": "Tag", "toMany": true, "inverse": "people" },
                       { "name": "mentor", "destination": "Person" },
                       { "name": "badge", "destination": "Badge", "inverse": "owner" } ] },
  { "name": "Group", "attributes": [ { "name": "title", "type": "string" } ],
    "relationships": [ { "name": "members", "destination": "Person", "toMany": true, "inverse": "group" } ] },
  { "name": "Tag", "attributes": [ { "name": "label", "type": "string" } ],
    "relationships": [ { "name": "people", "destination": "Person", "toMany": true, "inverse": "tags" } ] },
  { "name": "Badge", "attributes": [ { "name": "code", "type": "integer" } ],
    "relationships": [ { "name": "owner", "destination": "Person", "inverse": "badge" } ] } ] })";

[[noreturn]] void failed(const QString &what)
{
    std::fprintf(stderr, "fuzz_xmlstore: %s\n", qPrintable(what));
    std::abort();
}

const DataModel &model()
{
    static const DataModel m = [] {
        auto parsed = DataModel::fromJson(QByteArray(kModel));
        if (!parsed)
            failed(QStringLiteral("the model does not load: ") + parsed.error().message);
        return *parsed;
    }();
    return m;
}

// Fetching walks values and links of whatever was accepted.
void fetchEverything(XmlStore &store)
{
    static const auto predicate = platform::Predicate::parse(QStringLiteral(
        "name CONTAINS[c] 'a' OR group.title != nil OR tags.label BEGINSWITH 'x' OR age > 3"));
    if (!predicate)
        failed(QStringLiteral("the predicate does not parse: ") + predicate.error().message);
    platform::FetchRequest request;
    request.entityName = QStringLiteral("Person");
    request.predicate = *predicate;
    request.sortDescriptors = {{QStringLiteral("score"), false}, {QStringLiteral("born")}};
    const auto ids = store.fetchObjectIDs(request);
    if (!ids)
        failed(QStringLiteral("a fetch failed: ") + ids.error().message);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    auto store = XmlStore::read(model(), input);
    if (!store) {
        if (store.error().message.isEmpty())
            failed(QStringLiteral("error without a message"));
        return 0;
    }
    fetchEverything(**store);

    const QByteArray written = (*store)->toXml();
    auto again = XmlStore::read(model(), written);
    if (!again)
        failed(QStringLiteral("written store does not read back: ") + again.error().message);
    if (!(*again)->hasSameContents(**store))
        failed(QStringLiteral("the graph changed in a write and read"));
    if ((*again)->toXml() != written)
        failed(QStringLiteral("a second write differs from the first"));
    return 0;
}
