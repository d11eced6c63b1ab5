#pragma once

#include <QFlags>
#include <QSet>
#include <QString>
#include <QVariant>

namespace platform {

class PersistentObject;

/**
 * A to-many relation's value: the set of related records. Stored in a QVariant under the
 * relation's key (QVariant::fromValue(RecordSet{...})); the set never owns its records.
 */
using RecordSet = QSet<PersistentObject *>;

/** How a set-valued key changes; the numbers are those stored data and callers use. */
enum class SetMutationKind { Union = 1, Minus = 2 };

/** What kind of change a notice announces. */
enum class ChangeKind {
    Setting, ///< the value under the key was replaced
    Union,   ///< records were added to the set under the key
    Minus,   ///< records were removed from the set under the key
};

/**
 * One change notice, sent to the observers of a key before (prior) and after the change.
 *
 * For the key that was changed, oldValue and newValue hold the primitive values before and
 * after (newValue is invalid in a prior notice). Notices of dependent keys carry no values:
 * those keys are usually computed, and computing them on every change would cost more than
 * an observer that wants them pays by asking.
 */
struct ChangeNotice
{
    PersistentObject *object = nullptr;
    QString key;
    ChangeKind kind = ChangeKind::Setting;
    /** For Union and Minus: the records given to the mutation. */
    RecordSet objects;
    QVariant oldValue;
    QVariant newValue;
    /** True for the notice sent before the change. */
    bool prior = false;
    /** True when the notice is sent because a key this key depends on changed. */
    bool dependent = false;
};

/** When an observer wants to hear of a change. */
enum class ObserveOption { Prior = 0x1, After = 0x2 };
Q_DECLARE_FLAGS(ObserveOptions, ObserveOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(ObserveOptions)

} // namespace platform
