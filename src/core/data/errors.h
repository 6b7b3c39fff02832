#pragma once

#include <QString>
#include <stdexcept>

namespace hx {

// Every failure the program reports is one of these: the text is what the user sees in the error box.
class Error : public std::runtime_error {
  public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

  private:
    QString m_message;
};

// A failure of the database layer: a statement refused, a file that cannot be opened, an operation on a
// closed or empty data set.
class DbError : public Error {
  public:
    using Error::Error;
};

// An update or a delete found no stored row that still holds what was read: the row was deleted or
// replaced by another operation (another window, a regeneration). Nothing was written.
class RowChangedError : public DbError {
  public:
    // Several desks on the data: another user changed it; one desk: another window or task of this one.
    explicit RowChangedError(bool byAnotherDesk = false)
        : DbError(byAnotherDesk ? QStringLiteral("记录已被其他用户更改，请刷新后重试。")
                                : QStringLiteral("记录已被其他操作更改，请刷新后重试。")) {}
};

// A statement the engine refused for a rule of the schema: a repeated key, a missing value, a check or
// a trigger. The message is the Chinese one; the engine's own text, which names the columns and the
// check, is kept so that a data set can tell the user which of its fields was refused.
class ConstraintError : public DbError {
  public:
    ConstraintError(const QString& message, int code, const QString& engineText)
        : DbError(message), m_code(code), m_engineText(engineText) {}
    int code() const { return m_code; }
    const QString& engineText() const { return m_engineText; }

  private:
    int m_code;
    QString m_engineText;
};

// A row that cannot be stored because of what one of its fields holds: the field (its index in the data
// set; -1 for the row as a whole) and why, said with the title under which the user knows the field.
class FieldRefusal : public DbError {
  public:
    enum class Reason {
        Repeated,
        RepeatedRow,
        Required,
        NotInteger,
        NotNumber,
        NotDate,
        TooLong,
        OutOfRange,
        Invalid,
        Own
    };
    FieldRefusal(Reason reason, int field, const QString& title, const QString& value, qint64 low = 0,
                 qint64 high = 0)
        : DbError(describe(reason, title, value, low, high)),
          m_reason(reason),
          m_field(field),
          m_value(value),
          m_low(low),
          m_high(high) {}
    // A refusal of a window's own rule, with its own text.
    FieldRefusal(int field, const QString& text) : DbError(text), m_reason(Reason::Own), m_field(field) {}

    Reason reason() const { return m_reason; }
    int field() const { return m_field; }
    // The reason told with the field's title as the grid shows it.
    QString textFor(const QString& title) const {
        return m_reason == Reason::Own ? message() : describe(m_reason, title, m_value, m_low, m_high);
    }
    static QString describe(Reason reason, const QString& title, const QString& value, qint64 low,
                            qint64 high);

  private:
    Reason m_reason;
    int m_field;
    QString m_value;
    qint64 m_low = 0;
    qint64 m_high = 0;
};

// An operation the user called off when the program asked: the question said why, so nothing more is
// shown (the error boxes leave it out) and nothing was changed.
class Cancelled : public Error {
  public:
    Cancelled() : Error(QString()) {}
};

// A failure of a file routine (copy, compact, replace).
class FileError : public Error {
  public:
    using Error::Error;
};

QString errorText(const std::exception& e);

}  // namespace hx
