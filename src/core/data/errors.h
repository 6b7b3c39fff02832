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
    RowChangedError() : DbError(QStringLiteral("记录已被其他操作更改，请刷新后重试。")) {}
};

// A failure of a file routine (copy, compact, replace).
class FileError : public Error {
  public:
    using Error::Error;
};

QString errorText(const std::exception& e);

}  // namespace hx
