#pragma once

#include <QString>
#include <QTextStream>

/** One edit of a contact asked for on the command line: the contact's display name, a field key and its new value. */
struct ContactEdit
{
    QString name;
    QString field;
    QString value;
};

/**
 * Lists the sample address book's contacts by display name with their address and call
 * blocks, then applies \a edit (when it names a contact) and saves it back to the card.
 * False when the edit could not be made or saved.
 */
bool showContacts(QTextStream &out, const ContactEdit &edit);
