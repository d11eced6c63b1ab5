#pragma once
// Dictionary rows the table tests arrange: a person with a manual order, a note without one.

#include "tables/ZEM_A_C_ArrayControllerObject.h"

#include <QString>
#include <QVariant>

class Person : public ZEM_A_C_ArrayControllerObject
{
public:
    explicit Person(QObject *parent = nullptr)
        : ZEM_A_C_ArrayControllerObject(table(), parent)
    {
    }
    Person(const QString &first, const QString &last, int age, int sortOrder = 0)
        : Person()
    {
        m_first = first;
        m_last = last;
        m_age = age;
        m_sortOrder = sortOrder;
    }

    /** Reads of lastName since the last reset: the search must not repeat them per keystroke. */
    static inline int lastNameReads = 0;

    QString firstName() const { return m_first; }
    void setFirstName(const QString &v) { m_first = v; }
    QString lastName() const { ++lastNameReads; return m_last; }
    void setLastName(const QString &v) { m_last = v; }
    int age() const { return m_age; }
    void setAge(int v) { m_age = v; }
    int sortOrder() const { return m_sortOrder; }
    void setSortOrder(int v) { m_sortOrder = v; }
    QVariant birthday() const { return m_birthday; }
    void setBirthday(const QVariant &v) { m_birthday = v; }

    static const Accessors &table()
    {
        static const Accessors t{ZEM_ROW_KEY(Person, firstName, setFirstName), ZEM_ROW_KEY(Person, lastName, setLastName),
                                 ZEM_ROW_KEY(Person, age, setAge), ZEM_ROW_KEY(Person, sortOrder, setSortOrder),
                                 ZEM_ROW_KEY(Person, birthday, setBirthday)};
        return t;
    }

private:
    QString m_first, m_last;
    int m_age = 0;
    int m_sortOrder = 0;
    QVariant m_birthday;
};

class Note : public ZEM_A_C_ArrayControllerObject
{
public:
    explicit Note(const QString &text = {})
        : ZEM_A_C_ArrayControllerObject(table())
        , m_text(text)
    {
    }
    QString text() const { return m_text; }
    void setText(const QString &v) { m_text = v; }
    static const Accessors &table()
    {
        static const Accessors t{ZEM_ROW_KEY(Note, text, setText)};
        return t;
    }

private:
    QString m_text;
};
