#include "platform/store/ValueTransformer.h"

#include <QDataStream>
#include <QHash>
#include <QIODevice>

namespace platform {

namespace {

constexpr char kMagic[4] = {'Z', 'E', 'M', 'A'};
constexpr quint8 kVersion = 1;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;

class UnarchiveFromData : public ValueTransformer
{
public:
    QVariant transformedValue(const QVariant &value) const override
    {
        if (value.metaType() != QMetaType::fromType<QByteArray>())
            return {};
        return unarchive(value.toByteArray());
    }
    bool allowsReverseTransformation() const override { return true; }
    QVariant reverseTransformedValue(const QVariant &value) const override
    {
        return value.isValid() ? QVariant(archive(value)) : QVariant();
    }
};

struct Registry
{
    QHash<QString, ValueTransformer *> byName;

    Registry() { byName.insert(ValueTransformer::unarchiveFromDataName(), new UnarchiveFromData); }
};

Registry &registry()
{
    static auto *r = new Registry;
    return *r;
}

} // namespace

ValueTransformer::~ValueTransformer() = default;

QVariant ValueTransformer::reverseTransformedValue(const QVariant &) const
{
    return {};
}

ValueTransformer *ValueTransformer::valueTransformerForName(const QString &name)
{
    return registry().byName.value(name);
}

void ValueTransformer::setValueTransformer(const QString &name, std::unique_ptr<ValueTransformer> transformer)
{
    if (name.isEmpty() || !transformer)
        return;
    // A replaced transformer may still be in use by a caller that looked it up, so it is
    // kept, like every transformer, for the life of the process.
    registry().byName.insert(name, transformer.release());
}

QString ValueTransformer::unarchiveFromDataName()
{
    return QStringLiteral("NSUnarchiveFromData");
}

QByteArray ValueTransformer::archive(const QVariant &value)
{
    QByteArray data(kMagic, sizeof kMagic);
    data.append(char(kVersion));
    QDataStream out(&data, QIODevice::WriteOnly | QIODevice::Append);
    out.setVersion(kStreamVersion);
    out << value;
    return data;
}

QVariant ValueTransformer::unarchive(const QByteArray &data)
{
    if (data.size() <= qsizetype(sizeof kMagic) || !data.startsWith(QByteArrayView(kMagic, sizeof kMagic))
        || quint8(data.at(sizeof kMagic)) != kVersion)
        return {};
    QDataStream in(data.sliced(sizeof kMagic + 1));
    in.setVersion(kStreamVersion);
    QVariant value;
    in >> value;
    if (in.status() != QDataStream::Ok)
        return {};
    return value;
}

} // namespace platform
