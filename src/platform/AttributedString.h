#pragma once

#include "zem_appkit_export.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QMetaType>
#include <QString>

#include <memory>

class QTextDocument;

namespace platform {

/**
 * Styled text as a value: plain text plus runs of format that cover it from start to end.
 *
 * A default-constructed AttributedString is null ("no attributed string"), which is not
 * the same as one holding the empty text: isNull() tells them apart, and a null one
 * compares unequal to an empty one.
 *
 * **Example**
 * \code
 * platform::AttributedString s(u"Hello"_s, {QFont(u"Sans"_s, 11)});
 * s.append(u" world"_s, {boldFont});
 * s.left(5);   // "Hello", in the first run's font
 * \endcode
 */
class ZEM_APPKIT_EXPORT AttributedString
{
public:
    /** The attributes of a run. An invalid foreground means the viewer's default colour. */
    struct Format
    {
        QFont font;
        QColor foreground;

        friend bool operator==(const Format &a, const Format &b)
        {
            return a.font == b.font && a.foreground == b.foreground;
        }
        friend bool operator!=(const Format &a, const Format &b) { return !(a == b); }
    };

    /** A stretch of text with one format: characters [start, start + length). */
    struct Run
    {
        int start = 0;
        int length = 0;
        Format format;

        friend bool operator==(const Run &a, const Run &b)
        {
            return a.start == b.start && a.length == b.length && a.format == b.format;
        }
    };

    /** The null attributed string. */
    AttributedString();
    /** \a text (which may be empty) in one format. */
    explicit AttributedString(const QString &text, const Format &format = {});

    bool isNull() const { return m_null; }
    /** True for a null string and for the empty text. */
    bool isEmpty() const { return m_text.isEmpty(); }
    int length() const { return int(m_text.size()); }
    /** The plain text; a null QString for the null attributed string. */
    QString string() const { return m_null ? QString() : m_text; }

    /** The runs, in order, without gaps; none for empty text. */
    const QList<Run> &runs() const { return m_runs; }
    /** The format of the character at \a position (clamped to the text). */
    Format formatAt(int position) const;

    /** Adds \a text in \a format at the end (joining the last run when the format is the same). */
    void append(const QString &text, const Format &format);
    void append(const AttributedString &other);
    /** Sets \a format on [start, start + length), clipped to the text. */
    void setFormat(int start, int length, const Format &format);

    /** The characters [position, position + n) with their formats (n < 0: to the end). */
    AttributedString mid(int position, int n = -1) const;
    AttributedString left(int n) const;

    friend bool operator==(const AttributedString &a, const AttributedString &b)
    {
        return a.m_null == b.m_null && a.m_text == b.m_text && a.m_runs == b.m_runs;
    }
    friend bool operator!=(const AttributedString &a, const AttributedString &b) { return !(a == b); }

    /** A document showing the text with its fonts and colours. */
    std::unique_ptr<QTextDocument> toTextDocument() const;
    /** The text as HTML, for views that take rich text. */
    QString toHtml() const;
    /** Reads fonts and colours back from \a document. */
    static AttributedString fromTextDocument(const QTextDocument &document);

private:
    void normalize();

    QString m_text;
    QList<Run> m_runs;
    bool m_null = true;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::AttributedString)
