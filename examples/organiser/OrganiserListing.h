#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QTextStream>

/**
 * The organiser's listings of a given folder, one line per item with tab-separated fields,
 * for scripts and for timing the kit beside other programs on the same files:
 *
 *   --contacts DIR --list-contacts         uid, then key=value for every non-empty mirrored field
 *   --contacts DIR --show-contact UID      the same line for one person, read afresh
 *   --calendars DIR --list-events FROM TO  start, end, uid, calendar, title of each occurrence
 *                                          overlapping [FROM, TO) (dates, local midnight)
 *   --calendars DIR --list-todos           due, priority, uid, calendar, title of each open to-do
 *
 * Times are UTC ("2025-03-01T08:00:00Z"), all-day events' days are dates (the end is the
 * day after the last), a missing value is "-"; tabs, line ends and backslashes in values are
 * written as \t, \n and \\. Nothing else is printed, and no sample data is installed.
 */
class OrganiserListing
{
public:
    /** Adds the listing options to \a parser (before it processes the arguments). */
    explicit OrganiserListing(QCommandLineParser &parser);

    /** A listing was asked for: run() it instead of the tour. */
    bool requested() const;
    /** Prints the listings asked for; the process's exit code (2 for bad arguments). */
    int run(QTextStream &out, QTextStream &err) const;

private:
    bool listContacts(QTextStream &out, QTextStream &err) const;
    bool showContact(QTextStream &out, QTextStream &err) const;
    bool listEvents(QTextStream &out, QTextStream &err) const;
    bool listTodos(QTextStream &out) const;

    QCommandLineParser &m_parser;
    QCommandLineOption m_contacts;
    QCommandLineOption m_calendars;
    QCommandLineOption m_listContacts;
    QCommandLineOption m_showContact;
    QCommandLineOption m_listEvents;
    QCommandLineOption m_listTodos;
};
