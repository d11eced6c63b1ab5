#pragma once
// Not installed: the undo steps of a StoreContext. Each replays its change through the
// normal change path, with the context's replaying flag set so it records no new step.

#include "platform/store/PersistentObject.h"
#include "platform/store/StoreContext.h"

#include <QPointer>
#include <QUndoCommand>

#include <functional>

namespace platform::detail {

// One value change; undo and redo put the other value back through the change path, so
// observers hear of it like of any change.
class ValueChangeCommand : public QUndoCommand
{
public:
    ValueChangeCommand(StoreContext *context, PersistentObject *record, QString key, QVariant oldValue,
                       QVariant newValue, bool *replaying)
        : m_context(context), m_record(record), m_key(std::move(key)), m_old(std::move(oldValue)),
          m_new(std::move(newValue)), m_replaying(replaying)
    {
    }

    void undo() override { apply(m_old); }
    void redo() override
    {
        // The change has already happened when the command is pushed.
        if (m_pushed)
            apply(m_new);
        m_pushed = true;
    }

private:
    void apply(const QVariant &value)
    {
        if (!m_record || !m_context)
            return;
        const bool was = *m_replaying;
        *m_replaying = true;
        m_record->willChangeValueForKey(m_key);
        m_record->setPrimitiveValue(value, m_key);
        m_record->didChangeValueForKey(m_key);
        *m_replaying = was;
    }

    QPointer<StoreContext> m_context;
    QPointer<PersistentObject> m_record;
    QString m_key;
    QVariant m_old;
    QVariant m_new;
    bool *m_replaying;
    bool m_pushed = false;
};

// An insertion or deletion; the record's relation changes are commands of their own in
// the same step.
class PresenceCommand : public QUndoCommand
{
public:
    PresenceCommand(PersistentObject *record, bool present, bool *replaying,
                    std::function<void(PersistentObject *, bool)> apply)
        : m_record(record), m_present(present), m_replaying(replaying), m_apply(std::move(apply))
    {
        setText(present ? QStringLiteral("Insert") : QStringLiteral("Delete"));
    }

    void undo() override { run(!m_present); }
    void redo() override
    {
        if (m_pushed)
            run(m_present);
        m_pushed = true;
    }

private:
    void run(bool present)
    {
        if (!m_record)
            return;
        const bool was = *m_replaying;
        *m_replaying = true;
        m_apply(m_record, present);
        *m_replaying = was;
    }

    QPointer<PersistentObject> m_record;
    bool m_present;
    bool *m_replaying;
    std::function<void(PersistentObject *, bool)> m_apply;
    bool m_pushed = false;
};

} // namespace platform::detail
