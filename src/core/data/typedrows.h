#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <QVector>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/data/connection.h"

namespace hx {

// A growing array in blocks of a fixed size: growing never moves what is stored, so a month of records
// never needs the memory of its rows twice over, as a vector that doubles does.
template <class T>
class BlockArray {
  public:
    int size() const { return m_size; }
    T& operator[](int i) { return m_blocks[std::size_t(i >> BlockBits)][i & BlockMask]; }
    const T& operator[](int i) const { return m_blocks[std::size_t(i >> BlockBits)][i & BlockMask]; }
    void push_back(const T& value) {
        if (m_next == m_end) grow();
        *m_next++ = value;
        ++m_size;
    }
    // Grows (with default values) or shrinks to `count` elements.
    void resize(int count) {
        while (m_size < count) push_back(T());
        if (count < m_size) {
            for (int i = count; i < m_size; ++i) (*this)[i] = T();
            m_size = count;
            place();
        }
    }
    void clear() {
        m_blocks.clear();
        m_size = m_capacity = 0;
        m_next = m_end = nullptr;
    }

  private:
    static constexpr int BlockBits = 10;
    static constexpr int BlockSize = 1 << BlockBits;
    static constexpr int BlockMask = BlockSize - 1;
    // A small array stays small: the first block grows by doubling, the others come whole.
    void grow() {
        if (m_capacity < BlockSize) {
            const int capacity = std::min(BlockSize, std::max(8, 2 * m_capacity));
            std::unique_ptr<T[]> first(new T[std::size_t(capacity)]());
            for (int i = 0; i < m_size; ++i) first[std::size_t(i)] = std::move(m_blocks[0][std::size_t(i)]);
            if (m_blocks.empty())
                m_blocks.push_back(std::move(first));
            else
                m_blocks[0] = std::move(first);
            m_capacity = capacity;
        } else if (m_size == m_capacity) {
            m_blocks.emplace_back(new T[BlockSize]());
            m_capacity += BlockSize;
        }
        place();
    }
    // Where the next element goes, and the end of its block.
    void place() {
        if (m_blocks.empty()) {
            m_next = m_end = nullptr;
            return;
        }
        const std::size_t block = std::size_t(m_size >> BlockBits);
        if (block >= m_blocks.size()) {  // every block full
            m_next = m_end = nullptr;
            return;
        }
        const int blockCapacity = m_capacity < BlockSize ? m_capacity : BlockSize;
        m_next = m_blocks[block].get() + (m_size & BlockMask);
        m_end = m_blocks[block].get() + blockCapacity;
    }
    std::vector<std::unique_ptr<T[]>> m_blocks;
    int m_size = 0;
    int m_capacity = 0;
    T* m_next = nullptr;
    T* m_end = nullptr;
};

// Rows of values held column by column, each column in the type of its values: whole numbers, money,
// dates and yes/no as one 64-bit word a value, decimals as a double, texts as a number in the column's
// list of the texts it holds (a list of codes, names or groups repeats the same few texts) until the
// column holds too many different ones to list. A value read back is the value stored, of the same
// type: a value of another type than its column's (a text typed into a number field, a stored value
// the engine gave as text) is kept aside as it is.
class TypedRows {
  public:
    explicit TypedRows(int columnCount = 0);
    ~TypedRows();
    TypedRows(TypedRows&&) noexcept;
    TypedRows& operator=(TypedRows&&) noexcept;

    int columnCount() const { return int(m_columns.size()); }
    int rowCount() const { return m_rowCount; }
    // Drops every row; `columnCount` columns, of no type yet.
    void reset(int columnCount);

    // A new row at the end, every value Null; its index.
    int appendRow();
    // A new row at the end with these values (missing ones Null, extra ones dropped); its index.
    int appendRow(const QVector<QVariant>& values);

    // A new row at the end built column by column, each column given its value in turn (the fastest
    // way in for rows read from the database): push one value to every column, then endRow().
    void pushNull(int column);
    void pushValue(int column, const QVariant& value);
    void pushInteger(int column, qint64 value);
    void pushDate(int column, qint64 julianDay);
    void pushText(int column, QByteArrayView utf8);
    // Many values of one column at once, as that many pushes would give them: a month of records goes in
    // a block of numbers at a time rather than a call for every value.
    void pushIntegers(int column, const qint64* values, int count);
    void pushDates(int column, const qint64* julianDays, int count);
    int endRow() { return m_rowCount++; }

    QVariant value(int row, int column) const;
    // A whole number held as one, without a QVariant: false for Null and for a value of another kind
    // (read those with value()).
    bool integerAt(int row, int column, qint64& out) const;
    bool isNull(int row, int column) const;
    void setValue(int row, int column, const QVariant& value);
    // The same, for values read from the database without making a QVariant first.
    void setInteger(int row, int column, qint64 value);
    void setDate(int row, int column, qint64 julianDay);
    void setText(int row, int column, QByteArrayView utf8);

    // Orders two values of a column as they compare in a field of `type`, Null first: -1, 0 or 1, or
    // `unknown` when it takes the values themselves (one is not of the column's own type, or the
    // column's type is not the field's).
    static constexpr int unknown = 2;
    int compare(int rowA, int rowB, int column, FieldType type) const;

  private:
    struct Column;
    std::vector<std::unique_ptr<Column>> m_columns;
    int m_rowCount = 0;
};

}  // namespace hx
