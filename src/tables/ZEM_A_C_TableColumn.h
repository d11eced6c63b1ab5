#pragma once

#include "controls/ZEM_A_C_NSTableColumn.h"
#include "platform/store/Predicate.h"
#include "zem_appkit_export.h"

#include <optional>

/**
 * A column of a ZEM_A_C_TableView: remembers its width at start-up (originalWidth) so a
 * user can restore it, and sorts by a separate sort value of the record: a column showing
 * "birthday" sorts by "birthdaySort" unless a prototype is set.
 *
 * The identifier is "<position>:<key>": the position in the default order, then the key.
 */
class ZEM_APPKIT_EXPORT ZEM_A_C_TableColumn : public ZEM_A_C_NSTableColumn
{
    Q_OBJECT
    Q_PROPERTY(double originalWidth READ originalWidth WRITE setOriginalWidth)
    Q_PROPERTY(QString identifier READ identifier WRITE setIdentifier)
    Q_PROPERTY(int width READ width WRITE setWidth)
    Q_PROPERTY(int minWidth READ minWidth WRITE setMinWidth)
    Q_PROPERTY(int maxWidth READ maxWidth WRITE setMaxWidth)
public:
    explicit ZEM_A_C_TableColumn(QTableView *view = nullptr, int section = 0, QObject *parent = nullptr);

    double originalWidth() const { return m_originalWidth; }
    void setOriginalWidth(double value) { m_originalWidth = value; }

    /** The identifier set, else the one the view's array controller gives the section. */
    QString identifier() const;
    void setIdentifier(const QString &value) { m_identifier = value; }
    /** The text after the last ":" of the identifier. */
    QString key() const;

    /** The section's width in the view; 0 without a view. */
    int width() const;
    void setWidth(int value);
    int minWidth() const { return m_minWidth; }
    void setMinWidth(int value) { m_minWidth = value; }
    int maxWidth() const { return m_maxWidth; }
    void setMaxWidth(int value) { m_maxWidth = value; }

    /** The base start-up, then the current width becomes originalWidth. */
    Q_INVOKABLE void awakeFromNib();

    /** A prototype set from outside; header clicks sort by sortDescriptorPrototype(). */
    void setSortDescriptorPrototype(const platform::SortDescriptor &prototype) { m_prototype = prototype; }
    /** The prototype set, else ascending on "<key>Sort". */
    virtual platform::SortDescriptor sortDescriptorPrototype() const;

private:
    double m_originalWidth = 0;
    QString m_identifier;
    int m_minWidth = 10;
    int m_maxWidth = 1000;
    std::optional<platform::SortDescriptor> m_prototype;
};

/** A column whose "...String" sort key sorts by the column's own key instead. */
class ZEM_APPKIT_EXPORT ZEM_A_C_TableColumnSort : public ZEM_A_C_TableColumn
{
    Q_OBJECT
public:
    using ZEM_A_C_TableColumn::ZEM_A_C_TableColumn;
    platform::SortDescriptor sortDescriptorPrototype() const override;
};
