#pragma once

#include "zem_foundation_export.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <variant>

/**
 * An error a caller can show: a code, the arguments that fill its text, and the text
 * itself. Codes are stable; messages are for people.
 */
struct ZEM_FOUNDATION_EXPORT ZEM_Error
{
    enum Code {
        NoError = 0,
        NotImplemented, ///< an optional operation the object does not answer
        InvalidArgument,
        NotFound,
        ReadFailed,
        WriteFailed,
        ParseFailed,
        Conflict,
        Unavailable,
    };

    Code code = NoError;
    QStringList arguments;
    QString message;

    static ZEM_Error make(Code code, QString message, QStringList arguments = {})
    {
        return ZEM_Error{code, std::move(arguments), std::move(message)};
    }
    static ZEM_Error notImplemented(const QString &operation)
    {
        return make(NotImplemented, QStringLiteral("%1 is not implemented").arg(operation),
                    {operation});
    }
};

/**
 * The result of an operation that can fail: a value or a ZEM_Error. Shaped like
 * std::expected (value(), error(), has_value(), operator bool, value_or) so it can be
 * swapped for it when the language gives us one.
 *
 * **Example**
 * \code
 * ZEM_Result<QVariant> r = ZEM_F_PropertyList::read(bytes);
 * if (!r) qWarning() << r.error().message;
 * \endcode
 */
template<typename T>
class [[nodiscard]] ZEM_Result
{
public:
    ZEM_Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    ZEM_Result(ZEM_Error error) : m_data(std::in_place_index<1>, std::move(error)) {}

    bool has_value() const { return m_data.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T &value() & { return std::get<0>(m_data); }
    const T &value() const & { return std::get<0>(m_data); }
    T &&value() && { return std::get<0>(std::move(m_data)); }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    const ZEM_Error &error() const { return std::get<1>(m_data); }

    template<typename U>
    T value_or(U &&fallback) const
    {
        return has_value() ? value() : static_cast<T>(std::forward<U>(fallback));
    }

private:
    std::variant<T, ZEM_Error> m_data;
};

/** The result of an operation that yields nothing but can fail. */
template<>
class [[nodiscard]] ZEM_Result<void>
{
public:
    ZEM_Result() = default;
    ZEM_Result(ZEM_Error error) : m_error(std::move(error)) {}

    bool has_value() const { return !m_error.has_value(); }
    explicit operator bool() const { return has_value(); }
    const ZEM_Error &error() const { return *m_error; }

private:
    std::optional<ZEM_Error> m_error;
};
