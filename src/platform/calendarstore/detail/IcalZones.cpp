#include "platform/calendarstore/detail/IcalZones.h"

#include "platform/calendarstore/detail/Ical.h"

#include <vector>

namespace platform::detail::ical {

namespace {

std::vector<icalcomponent *> definitionsOf(icalcomponent *root)
{
    std::vector<icalcomponent *> out;
    for (icalcomponent *cal : calendarsOf(root))
        for (icalcomponent *z : children(cal, ICAL_VTIMEZONE_COMPONENT))
            out.push_back(z);
    return out;
}

} // namespace

void IcalFree::operator()(icalcomponent *c) const
{
    ZoneDefinitions::shared().release(c);
    icalcomponent_free(c);
}

ZoneDefinitions &ZoneDefinitions::shared()
{
    // Never destroyed: trees held by statics may be freed after it would be.
    static ZoneDefinitions *const zones = new ZoneDefinitions;
    return *zones;
}

void ZoneDefinitions::adopt(icalcomponent *root)
{
    for (icalcomponent *def : definitionsOf(root)) {
        const QByteArray text = asIcal(def); // outside the lock: the costly part
        const std::lock_guard lock(m_lock);
        if (m_bound.contains(def))
            continue;
        auto it = m_zones.find(text);
        if (it == m_zones.end()) {
            icaltimezone *zone = icaltimezone_new();
            icalcomponent *copy = icalcomponent_new_clone(def);
            // The zone owns the copy, unless the definition has no TZID and so is no zone.
            if (!icaltimezone_set_component(zone, copy)) {
                icaltimezone_free(zone, 1);
                icalcomponent_free(copy);
                continue;
            }
            it = m_zones.emplace(text, Zone{zone, 0}).first;
        }
        ++it->second.bound;
        m_bound.insert(def, it);
    }
}

void ZoneDefinitions::release(icalcomponent *root)
{
    const std::vector<icalcomponent *> defs = definitionsOf(root);
    if (defs.empty())
        return;
    const std::lock_guard lock(m_lock);
    for (icalcomponent *def : defs) {
        const auto bound = m_bound.constFind(def);
        if (bound == m_bound.constEnd())
            continue;
        const Zones::iterator it = *bound;
        m_bound.erase(bound);
        if (--it->second.bound == 0) {
            icaltimezone_free(it->second.zone, 1);
            m_zones.erase(it);
        }
    }
}

icaltimezone *ZoneDefinitions::zoneOf(icalcomponent *vtimezone) const
{
    const std::lock_guard lock(m_lock);
    const auto bound = m_bound.constFind(vtimezone);
    return bound == m_bound.constEnd() ? nullptr : (*bound)->second.zone;
}

qsizetype ZoneDefinitions::size() const
{
    const std::lock_guard lock(m_lock);
    return qsizetype(m_zones.size());
}

} // namespace platform::detail::ical
