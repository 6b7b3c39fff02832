#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/data/connection.h"
#include "core/data/money.h"
#include "core/data/values.h"

namespace hx {

class TypedRows;

// One field of a data set.
struct Field {
    Field() = default;
    Field(const QString& fieldName, FieldType fieldType, int textSize = 0)
        : name(fieldName), type(fieldType), size(textSize) {}
    QString name;
    FieldType type = FieldType::Unknown;
    int size = 0;             // characters of a text field, 0 when unbounded
    bool readOnly = false;    // the key and computed columns
    bool calculated = false;  // filled by the calc-fields event or a lookup when shown, never stored
    QString displayFormat;    // "0.00", "0.0000", "##0.0 %", "0.0"; empty: the type's default
    QString displayLabel;     // grid title; the name when empty
};

enum class DataSetState { Inactive, Browse, Edit, Insert };

// What a post-error handler decides: fail (raise the error), or abort quietly.
enum class PostErrorAction { Fail, Abort };

// Rows loaded into memory from one statement, with a current row, editing and in-memory sort and filter.
// The rows are held column by column in the fields' types; calculated and looked-up fields are worked
// out for the rows shown, when they are shown, and held for none.
// A posted row is written at once to its one table, found there by its key; an edit never writes more
// than the one row it shows. A data set without a connection is an in-memory table: define its fields, open
// it, and append rows.
//
// Errors are raised as DbError: "Cannot perform this operation on a closed dataset" and "... on an empty
// dataset" for operations that need an open, non-empty data set.
class DataSet : public QObject {
    Q_OBJECT
  public:
    explicit DataSet(Connection* connection = nullptr, QObject* parent = nullptr);
    ~DataSet() override;

    // ---- statement and opening
    // The connection knows its data sets and closes them when it closes.
    void setConnection(Connection* connection);
    Connection* connection() const { return m_connection; }
    // Another statement than the one before drops the table and key (setUpdateTable): give them after.
    void setSql(const QString& sql);
    QString sql() const { return m_sql; }
    // Values of the statement's "?" parameters, in order.
    void setParams(const QVariantList& params) { m_params = params; }
    QVariantList params() const { return m_params; }
    // The table that posted rows go to and the fields that name one of its rows. A key of one integer
    // field is the table's own number for the row: given by the table to a new row, never edited. A
    // key of several fields (those of a unique index) holds the row's own values and is edited as any
    // field; an edit finds its row by the values as they were read. A data set without a table is read
    // only; opening a statement that does not read every key field of its table raises DbError.
    void setUpdateTable(const QString& table, const QStringList& keyFields) {
        m_updateTable = table;
        m_keyFields = keyFields;
    }
    QString updateTable() const { return m_updateTable; }
    QStringList keyFields() const { return m_keyFields; }
    // Fields that name a row besides its key: a row read again must be the same row. An update or a
    // delete goes further and applies only while the stored row still holds every stored value that was
    // read, so that nothing another connection (another copy of the program) stored since is written
    // over; the edit is then refused with RowChangedError and stays in the row, and cancel() shows what
    // is stored now.
    void setRowIdentity(const QStringList& fields) { m_rowIdentity = fields; }
    // Keys the user only ever sees as the text they stand for (a worker's key as "0001 张三"): a copy of
    // the list, such as an export, takes that text, which means something outside the account set.
    void setShownAsText(const QStringList& fields) { m_shownAsText = fields; }
    bool isShownAsText(int index) const {
        return index >= 0 && index < m_fields.size() &&
               m_shownAsText.contains(m_fields[index].name, Qt::CaseInsensitive);
    }
    // Overrides the type taken from the declared column type (computed columns, for example a sum of money).
    void setFieldType(const QString& field, FieldType type);
    // A field that is not in the statement, filled per row by onCalcFields (or by a lookup below).
    void addCalculatedField(const QString& name, FieldType type, const QString& displayFormat = QString());
    // A calculated field whose value is lookup(value of keyField).
    void addLookupField(const QString& name, FieldType type, const QString& keyField,
                        std::function<QVariant(const QVariant& key)> lookup,
                        const QString& displayFormat = QString());
    // For an in-memory table: its fields, before open().
    void defineFields(const QVector<Field>& fields);

    void open();  // runs the statement; the current row is the first; the filter (if on) applies
    // Opens an in-memory table on rows made elsewhere (values in the order of its fields; missing values
    // are Null), as open() does: a result of a million rows is taken over without a post per row.
    void openWithRows(std::vector<QVector<QVariant>> rows);
    // The same, on rows already held by type (a million grouped rows, without a QVariant per value).
    void openWithTypedRows(TypedRows&& rows);
    void close();    // drops rows and sort; keeps statement, filter and field definitions
    void requery();  // runs the same statement again; keeps sort and filter; the first row becomes current
    // Reads the current row again from its table, by its key (and row identity), after the database
    // changed it behind the data set (a recalculation); the other rows, the current row and the position
    // stay. False, and the row as it was, when the stored row is no longer there or the data set cannot
    // tell it (in memory, read only, a row being edited).
    bool refreshCurrentRow() { return rereadCurrentRow() == Reread::Done; }
    bool isOpen() const { return m_state != DataSetState::Inactive; }
    DataSetState state() const { return m_state; }
    bool isEditing() const { return m_state == DataSetState::Edit || m_state == DataSetState::Insert; }
    bool isModified() const { return m_modified; }

    // ---- fields
    const QVector<Field>& fields() const { return m_fields; }
    int fieldCount() const { return m_fields.size(); }
    int fieldIndex(const QString& name) const;  // -1 when there is none; names ignore letter case
    Field& field(const QString& name);          // raises when there is none
    const Field& field(int index) const { return m_fields[index]; }

    // ---- rows and navigation (over the visible rows: filtered and sorted)
    int recordCount() const;  // visible rows; 0 when closed
    bool isEmpty() const { return recordCount() == 0; }
    int recNo() const { return m_current; }  // 0-based; -1 when empty
    void setRecNo(int row);                  // posts a pending edit first
    void first();
    void last();
    void next();
    void prior();
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }

    // ---- values of the current row (the edit buffer while editing); Null for an empty data set
    QVariant value(const QString& field) const;
    QVariant value(int fieldIndex) const;
    // The current row's value as it was read or last stored, whatever an edit has put in its place
    // since; Null for a row being inserted and for an empty data set.
    QVariant valueAsStored(const QString& field) const;
    // Values of any visible row, without moving.
    QVariant valueAt(int row, int fieldIndex) const;
    // The same as a whole number, for walking a month of rows without a QVariant per value; nullopt
    // for Null (and for a value that is no whole number, as QVariant::toLongLong gives 0 for it).
    std::optional<qint64> integerAt(int row, int fieldIndex) const;
    QString textAt(int row, int fieldIndex) const;  // display text (get-text event or format)
    QString text(const QString& field) const;
    // Null-safe conversions: a Null gives 0, the empty text or false.
    qint64 asInt(const QString& field) const;
    Money asMoney(const QString& field) const;
    double asDouble(const QString& field) const;
    QString asString(const QString& field) const;
    bool asBool(const QString& field) const;
    // Sets a field of the current row; starts editing when browsing. The value is kept as given until
    // post() converts it to the field's type, so a letter typed into a number field fails the post.
    void setValue(const QString& field, const QVariant& value);
    void setValue(int fieldIndex, const QVariant& value);

    // ---- editing
    void edit();
    void insert();  // a new row before the current one
    void append();  // a new row at the end
    // Stores the edited or new row. Returns false when a post-error handler aborted: the row then stays
    // in edit as it was typed. Raises when the row was refused and no handler aborted. A row refused
    // because of a field (a text in a number, a repeated key, a rule of the table) is refused with a
    // FieldRefusal naming the field.
    bool post();
    void cancel();
    void remove();  // deletes the current row from its table; the next row becomes current
    // Posts when editing and modified, cancels an untouched new row. False when a refused row is still
    // in edit: whatever was to follow (a move, a sort, a reload) must not, or the row would be lost.
    bool checkBrowseMode();

    // ---- in memory
    // "field ASC" (one key, ascending); empty for the load order. Raises for a field the data set lacks.
    void setSort(const QString& sort);
    QString sort() const { return m_sort; }
    // "field = value", the value a plain number or a quoted text ('O''Neil'). Applied while filtered.
    void setFilter(const QString& filter);
    QString filter() const { return m_filter; }
    void setFiltered(bool on);
    bool filtered() const { return m_filtered; }
    // Makes the first visible row whose field equals value current; text compares whole values, letter
    // case ignored when asked. Returns false and keeps the current row when there is none.
    bool locate(const QString& field, const QVariant& value, bool caseInsensitive = true);
    // While disabled, no change signals reach views (bulk walks); enabling resets the views once.
    void disableControls();
    void enableControls();

    // ---- events
    std::function<void(DataSet&)> beforeInsert;
    std::function<void(DataSet&)> afterInsert;
    std::function<void(DataSet&)> beforePost;
    // Sees every value given to a stored field by setValue before it is taken; raising DbError refuses
    // it and leaves the row as it was (a grid shows the message and keeps the old value).
    std::function<void(DataSet&, int fieldIndex, const QVariant& value)> onValidate;
    std::function<void(DataSet&)> afterPost;
    std::function<PostErrorAction(DataSet&, const DbError&)> onPostError;
    std::function<void(DataSet&)> beforeDelete;
    std::function<void(DataSet&)> afterDelete;
    std::function<void(DataSet&)> afterScroll;
    std::function<void(DataSet&)> afterOpen;
    // Fills the calculated fields of the current row (read with value(), written with setValue()).
    std::function<void(DataSet&)> onCalcFields;
    // Display text of a field's value; the default formatting when it returns a null QString.
    std::function<QString(const DataSet&, int fieldIndex, const QVariant& value)> onGetText;

  signals:
    // For views: the whole list is about to change, and has changed (open, close, requery, sort, filter).
    void aboutToReset();
    void reset();
    void rowAboutToBeInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowChanged(int row);
    void rowInserted(int row);
    void rowRemoved(int row);
    void currentChanged(int row);
    void stateChanged(hx::DataSetState state);
    // Before the data set moves, appends, posts or requeries: a view with an open cell editor hands its
    // text to the current row now, so that what the user typed is part of what follows.
    void commitOpenEditors();
    // Before the current row is cancelled, deleted or the data set closed: open cell editors are dropped.
    void discardOpenEditors();

  private:
    // The stored rows and what is kept of them: defined where they are used.
    struct Storage;
    void requireOpen() const;
    void requireRows() const;
    void load();
    void openWith(const std::function<void()>& fill);
    void rebuildView();
    bool rowMatchesFilter(int storedRow) const;
    // Index of the first calculated field: the fields before it are held in the rows.
    int firstCalculated() const { return int(m_fields.size() - m_extraFields.size()); }
    // A field's value in a stored row (an index into the rows, not a visible position); a calculated
    // field is worked out for it.
    QVariant storedValue(int storedRow, int fieldIndex) const;
    // Every field of a stored row, calculated fields worked out.
    QVector<QVariant> rowValues(int storedRow) const;
    // Fills the calculated fields of `values` (every field of a row) by the lookups and onCalcFields.
    void calculate(QVector<QVariant>& values) const;
    void calculateBuffer();
    void resolveFilter();
    void keepPresentation();
    void finishReset(const std::function<void()>& beforeScroll = {});
    void setState(DataSetState state);
    void moveTo(int row);
    void insertRow(bool atEnd);
    // Finds the stored column of every field and the key fields among them; see setUpdateTable.
    void resolveStoredColumns(const PreparedStatement& statement);
    bool isKeyField(int fieldIndex) const { return m_keyIndexes.contains(fieldIndex); }
    int currentStoredRow() const { return m_view[m_current]; }
    void beginReset();
    void endReset();
    void removeFromView(int row);
    std::optional<QVariant> convertForPost(int fieldIndex, const QVariant& value) const;
    // Which field of the row being posted a rule of the table refused, and why.
    FieldRefusal refusalOf(const ConstraintError& error) const;
    QString titleOf(int fieldIndex) const;
    // " where K1 = ? and ... F1 is null ..." naming the stored row that `storedRow` was read from by its
    // key and row identity; its parameters are appended to `parameters`.
    QString storedRowCondition(int storedRow, QVariantList& parameters) const;
    // " where C1 = ? and C2 is null ..." of the given stored columns holding `values`, Null matching Null;
    // the parameters it takes are appended to `parameters`.
    QString columnsCondition(const QStringList& columns, const QVariantList& values,
                             QVariantList& parameters) const;
    // Runs `statement` (an update or a delete, followed by that condition; `values` are its own parameters)
    // only while the stored row still reads as `storedRow` was read; RowChangedError otherwise.
    void writeUnchangedRow(int storedRow, const QString& statement, QVariantList values);
    enum class Reread { Done, Gone, Unknown };
    Reread rereadCurrentRow();
    // After a refused update: the row shows what is stored now, or leaves the list when it is gone.
    void showStoredRow();

    Connection* m_connection = nullptr;
    QString m_sql;
    QVariantList m_params;
    QString m_updateTable;
    QStringList m_keyFields;
    QStringList m_rowIdentity;
    QStringList m_shownAsText;
    // Of the loaded statement: the update table's column each field reads (empty for none: computed,
    // of another table, read only), and the fields of the key. Empty when rows cannot be stored.
    QStringList m_storedColumns;
    QVector<int> m_keyIndexes;

    QVector<Field> m_fields;
    QVector<Field> m_extraFields;  // calculated and lookup fields, appended after the statement's
    QHash<QString, FieldType> m_typeOverrides;
    QHash<QString, QPair<QString, QString>> m_presentation;  // display format and label by field name
    struct Lookup {
        int field;
        QString keyField;
        std::function<QVariant(const QVariant&)> fn;
        int keyIndex = -1;  // of keyField, resolved when the rows are loaded
    };
    QVector<Lookup> m_lookups;
    bool m_inMemory = false;

    std::unique_ptr<Storage> m_store;  // loaded rows in load order
    QVector<int> m_view;               // visible rows: indexes into the loaded rows
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;

    DataSetState m_state = DataSetState::Inactive;
    QVector<QVariant> m_buffer;  // edit buffer of the current row
    int m_newRow = -1;           // the row being inserted, already placed in the view
    bool m_modified = false;
    bool m_changedElsewhere = false;  // the row in edit was refused: it changed since it was read

    QString m_sort;
    int m_sortField = -1;
    QString m_filter;
    int m_filterField = -1;
    QVariant m_filterValue;
    bool m_filtered = false;
    int m_controlsDisabled = 0;
    bool m_inAfterInsert = false;
    mutable bool m_calculating = false;
};

}  // namespace hx
