#pragma once

#include <QString>

namespace hx {

// What the SQL of one database engine writes differently from another's. Statements built by the
// program (a data set's update, a generation's write) take names and comparisons from here, so that
// they run unchanged on every engine.
class Dialect {
  public:
    virtual ~Dialect() = default;
    // A table or column name as a statement writes it, whatever its letters or a reserved word.
    virtual QString quoted(const QString& name) const = 0;
    // A condition that holds when both sides are equal or both are Null.
    virtual QString nullSafeEqual(const QString& left, const QString& right) const = 0;
};

}  // namespace hx
