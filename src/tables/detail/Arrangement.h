#pragma once
// The arranging core of the array controller: which content rows are shown, and in which
// order, for a search, a filter predicate and sort descriptors.
//
// What the search and the sort compare is read from the records once per content (or key)
// change and kept per content row: the folded search text, and one typed key array per sort
// descriptor. A search keystroke then scans texts already folded, and a sort compares
// plain texts or numbers, never going back to the records.

#include "platform/store/Predicate.h"

#include <QList>
#include <QObject>
#include <QString>

#include <vector>

namespace tables::detail {

class Arrangement
{
public:
    /** The records are read through \a content, which must outlive the arrangement's use. */
    void setContent(const QList<QObject *> *content);
    /** Forgets every cached value: the records' values or the content's order changed. */
    void invalidate();

    /**
     * The content rows kept by the search (\a searchKey contains \a searchString ignoring
     * case; both must be non-empty to search) and then \a filter, in the order of
     * \a sortDescriptors (content order among equals).
     */
    QList<int> arrange(const QString &searchKey, const QString &searchString,
                       const platform::Predicate &filter,
                       const QList<platform::SortDescriptor> &sortDescriptors);

private:
    struct SortColumn
    {
        enum Kind { Text, Number, Mixed } kind = Mixed;
        platform::SortDescriptor descriptor;
        std::vector<QString> text;   // Text: folded when the compare ignores case
        std::vector<QString> raw;    // Text ignoring case: the unfolded text breaks ties
        std::vector<char> missing;   // Text and Number: no value (missing values come first)
        std::vector<double> number;  // Number
        QList<QVariant> values;      // Mixed
        int compare(int a, int b) const;
    };

    const std::vector<QString> &foldedSearchTexts(const QString &searchKey);
    const std::vector<SortColumn> &sortColumns(const QList<platform::SortDescriptor> &descriptors);
    SortColumn readColumn(const platform::SortDescriptor &descriptor) const;
    /** Reads \a column as texts; false at the first value that is not one. */
    bool readTextColumn(SortColumn &column) const;
    static void sortByText(QList<int> &rows, const SortColumn &column);

    const QList<QObject *> *m_content = nullptr;
    QString m_foldedKey;
    bool m_foldedValid = false;
    std::vector<QString> m_folded;
    QList<platform::SortDescriptor> m_columnsFor;
    bool m_columnsValid = false;
    std::vector<SortColumn> m_columns;
};

} // namespace tables::detail
