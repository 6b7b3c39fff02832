#include "core/data/connection.h"

#include <QDate>
#include <algorithm>
#include <atomic>
#include <utility>

#include "core/data/dataset.h"
#include "core/data/money.h"
#include "core/data/sqlite/sqlitedatabase.h"

namespace hx {

QString FieldRefusal::describe(Reason reason, const QString& title, const QString& value, qint64 low,
                               qint64 high) {
    const QString quoted = QStringLiteral("“") + title + QStringLiteral("”");
    switch (reason) {
        case Reason::Repeated:
            return title + QStringLiteral("“") + value + QStringLiteral("”已经存在");
        case Reason::RepeatedRow:
            return QStringLiteral("已经有一条完全相同的记录");
        case Reason::Required:
            return quoted + QStringLiteral("必须填写");
        case Reason::NotInteger:
            return quoted + QStringLiteral("必须是整数");
        case Reason::NotNumber:
            return quoted + QStringLiteral("必须是数字");
        case Reason::NotDate:
            return quoted + QStringLiteral("必须是日期");
        case Reason::TooLong:
            return quoted + QStringLiteral("最多只能有%1个字符").arg(high);
        case Reason::OutOfRange:
            return quoted + QStringLiteral("必须在%1到%2之间").arg(low).arg(high);
        case Reason::Invalid:
        case Reason::Own:
            break;
    }
    return quoted + QStringLiteral("的值“") + value + QStringLiteral("”不符合要求");
}

QString errorText(const std::exception& e) {
    if (auto* error = dynamic_cast<const Error*>(&e)) return error->message();
    return QString::fromUtf8(e.what());
}

QVariant toDbValue(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return QVariant();
    if (value.userType() == qMetaTypeId<Money>()) {
        const Money m = value.value<Money>();
        // Whole yuan are stored as integers, so that a free query shows 300 rather than 300.0.
        if (m.units() % Money::Scale == 0) return QVariant(qint64(m.units() / Money::Scale));
        return QVariant(m.toDouble());
    }
    switch (value.typeId()) {
        case QMetaType::QDate:
            return QVariant(value.toDate().toString(Qt::ISODate));
        case QMetaType::QDateTime:
            return QVariant(value.toDateTime().date().toString(Qt::ISODate));
        case QMetaType::Bool:
            return QVariant(value.toBool() ? -1 : 0);
        default:
            return value;
    }
}

QVariant fromDbValue(const QVariant& stored, FieldType type) {
    if (stored.isNull()) return QVariant();
    switch (type) {
        case FieldType::Money:
            return QVariant::fromValue(Money::fromVariant(stored));
        case FieldType::Date: {
            const QDate d = QDate::fromString(stored.toString().left(10), Qt::ISODate);
            return d.isValid() ? QVariant(d) : stored;
        }
        case FieldType::Bool:
            return QVariant(stored.toLongLong() != 0);
        case FieldType::Integer:
            if (stored.typeId() == QMetaType::LongLong || stored.typeId() == QMetaType::Int)
                return QVariant(stored.toLongLong());
            return stored;
        case FieldType::Double:
            return QVariant(stored.toDouble());
        case FieldType::Text:
            return QVariant(stored.toString());
        case FieldType::Unknown:
            return stored;
    }
    return stored;
}

QString queryTooLargeMessage() {
    return QStringLiteral("查询结果太大，没有显示。请缩小查询范围。");
}

Connection::Connection() = default;

Connection::~Connection() {
    // Data sets that outlive the connection are left without one rather than with a dangling one. They
    // are not closed here: this runs while the program or a window is being taken down, when the views
    // of those data sets may be half gone.
    const std::vector<DataSet*> left = m_dataSets;
    for (DataSet* ds : left) ds->setConnection(nullptr);
    close();
}

void Connection::attach(DataSet* dataSet) {
    if (dataSet && std::find(m_dataSets.begin(), m_dataSets.end(), dataSet) == m_dataSets.end())
        m_dataSets.push_back(dataSet);
}

void Connection::detach(DataSet* dataSet) {
    m_dataSets.erase(std::remove(m_dataSets.begin(), m_dataSets.end(), dataSet), m_dataSets.end());
}

void Connection::storePendingEdits() {
    // A handler run by a post may create or destroy data sets: walk a copy, skip those gone since.
    const std::vector<DataSet*> dataSets = m_dataSets;
    for (DataSet* ds : dataSets) {
        if (std::find(m_dataSets.begin(), m_dataSets.end(), ds) == m_dataSets.end() || !ds->isOpen())
            continue;
        ds->checkBrowseMode();
        if (ds->isEditing())
            throw DbError(QStringLiteral("有正在编辑的记录没能保存。请先保存或取消它，再重试。"));
    }
}

void Connection::open(const QString& path, Access access) {
    close();
    open(SqliteDatabase::openFile(path, access == Access::ReadOnly), path);
}

void Connection::openInMemory() {
    close();
    open(SqliteDatabase::openMemory(), QStringLiteral(":memory:"));
}

void Connection::open(std::unique_ptr<Database> database, const QString& location) {
    close();
    m_db = std::move(database);
    m_path = location;
}

void Connection::closeDataSets() {
    const std::vector<DataSet*> dataSets = m_dataSets;
    for (DataSet* ds : dataSets) {
        if (std::find(m_dataSets.begin(), m_dataSets.end(), ds) == m_dataSets.end()) continue;
        try {
            ds->close();
        } catch (...) {
        }
    }
}

void Connection::close() {
    const std::vector<DataSet*> dataSets = m_dataSets;
    for (DataSet* ds : dataSets) {
        if (std::find(m_dataSets.begin(), m_dataSets.end(), ds) == m_dataSets.end()) continue;
        try {
            ds->close();
        } catch (...) {
            // A view's handler that fails must not keep the file open.
        }
    }
    // An unfinished transaction is rolled back by the engine as it closes.
    m_db.reset();
    m_bulkWork = 0;
    m_path.clear();
}

Database& Connection::database() const {
    if (!m_db) throw DbError(QStringLiteral("数据库连接没有打开。"));
    return *m_db;
}

const Dialect& Connection::dialect() const {
    return m_db ? m_db->dialect() : sqliteDialect();
}

bool Connection::isReadOnly() const {
    return database().isReadOnly();
}

bool Connection::writable() {
    return database().writable();
}

void Connection::interrupt() {
    if (m_db) m_db->interrupt();
}

void Connection::interruptWhen(const std::atomic<bool>* flag) {
    database().interruptWhen(flag);
}

void Connection::limitValueLength(int bytes) {
    database().limitValueLength(bytes);
}

void Connection::setBusyTimeout(int milliseconds) {
    database().setBusyTimeout(milliseconds);
}

void Connection::limitStatementTime(int milliseconds) {
    database().limitStatementTime(milliseconds);
}

bool Connection::servesSeveralDesks() const {
    return m_db && m_db->servesSeveralDesks();
}

int Connection::exec(const QString& sql, const QVariantList& params) {
    PreparedStatement statement(*this, sql, params);
    return statement.run();
}

qint64 Connection::insert(const QString& sql, const QVariantList& params, const QString& key) {
    PreparedStatement statement(*this, dialect().returning(sql, key), params);
    if (!statement.next()) throw DbError(QStringLiteral("没有插入记录。"));
    const qint64 inserted = statement.integer(0);
    // The insert is complete only once its statement has run to the end.
    while (statement.next()) {
    }
    return inserted;
}

PreparedStatement Connection::query(const QString& sql, const QVariantList& params) {
    return PreparedStatement(*this, sql, params);
}

QVariant Connection::scalar(const QString& sql, const QVariantList& params) {
    PreparedStatement statement(*this, sql, params);
    if (!statement.next()) return QVariant();
    return statement.value(0);
}

void Connection::execScript(const QString& sql) {
    database().execScript(sql);
}

bool Connection::tableExists(const QString& table) {
    return scalar(dialect().tableCountQuery(), {table}).toLongLong() > 0;
}

std::vector<TableColumn> Connection::tableColumns(const QString& table) {
    std::vector<TableColumn> columns;
    PreparedStatement q(*this, dialect().tableColumnsQuery(), {table});
    while (q.next()) columns.emplace_back(q.text(0), dialect().columnType(q.text(1)), int(q.integer(2)));
    return columns;
}

QString Connection::viewDefinition(const QString& view) {
    return scalar(dialect().viewDefinitionQuery(), {view}).toString();
}

void Connection::beginTransaction() {
    database().begin();
}

void Connection::commit() {
    database().commit();
}

void Connection::rollback() {
    database().rollback();
}

// BulkWork

BulkWork::BulkWork(Connection& cn) : m_cn(cn), m_db(&cn.database()) {
    if (m_cn.m_bulkWork == 0) m_db->setBulkWork(true);
    ++m_cn.m_bulkWork;
}

BulkWork::~BulkWork() {
    // A connection closed or opened on another database since has nothing of this work to undo.
    if (m_cn.m_db.get() != m_db || m_cn.m_bulkWork == 0) return;
    if (--m_cn.m_bulkWork > 0) return;
    try {
        m_db->setBulkWork(false);
    } catch (...) {
    }
}

// PreparedStatement

PreparedStatement PreparedStatement::first(Connection& connection, const QString& sql, QString* rest) {
    PreparedStatement statement;
    const QByteArray text = sql.toUtf8();
    qsizetype used = 0;
    statement.m_stmt = connection.database().prepare(text, &used);
    // What the statement took ends a statement, so the rest starts on a character boundary of the text.
    if (rest) *rest = QString::fromUtf8(text.constData() + used, text.size() - used);
    return statement;
}

PreparedStatement::PreparedStatement(Connection& connection, const QString& sql) {
    QString rest;
    *this = first(connection, sql, &rest);
    // Anything after the statement must be blanks, comments and semicolons: what follows would
    // otherwise be silently left out.
    while (!rest.isEmpty()) {
        QString after;
        bool more = false;
        try {
            more = !first(connection, rest, &after).isEmpty();
        } catch (const DbError&) {
            more = true;
        }
        if (more) {
            m_stmt.reset();
            throw DbError(QStringLiteral("一次只能执行一条语句。"));
        }
        if (after.size() >= rest.size()) break;
        rest = after;
    }
    if (!m_stmt) throw DbError(QStringLiteral("没有可执行的语句。"));
}

PreparedStatement::PreparedStatement(Connection& connection, const QString& sql, const QVariantList& params)
    : PreparedStatement(connection, sql) {
    bindAll(params);
}

void PreparedStatement::noStatement() {
    throw DbError(QStringLiteral("没有可执行的语句。"));
}

PreparedStatement::~PreparedStatement() = default;
PreparedStatement::PreparedStatement(PreparedStatement&& other) noexcept = default;
PreparedStatement& PreparedStatement::operator=(PreparedStatement&& other) noexcept = default;

void PreparedStatement::bind(int parameter, Money value) {
    statement().bindMoney(parameter, value);
}

void PreparedStatement::bind(int parameter, const QString& value) {
    if (value.isNull()) {
        bindNull(parameter);
        return;
    }
    bindUtf8(parameter, value.toUtf8());
}

void PreparedStatement::bind(int parameter, const QDate& value) {
    if (!value.isValid()) {
        bindNull(parameter);
        return;
    }
    bindUtf8(parameter, value.toString(Qt::ISODate).toLatin1());
}

void PreparedStatement::bindYesNo(int parameter, bool value) {
    bind(parameter, qint64(value ? -1 : 0));
}

void PreparedStatement::bindAll(const QVariantList& values) {
    if (parameterCount() != values.size()) throw DbError(QStringLiteral("语句的参数个数不对。"));
    for (int i = 0; i < values.size(); ++i) bind(i + 1, values[i]);
}

namespace {

// New rows by one prepared insert, run for each row as its last value comes.
class InsertRowWriter : public DatabaseRowWriter {
  public:
    InsertRowWriter(Database& db, const QString& table, const QStringList& columns)
        : m_columns(int(columns.size())) {
        const QStringList marks(columns.size(), QStringLiteral("?"));
        qsizetype used = 0;
        m_insert = db.prepare(QStringLiteral("insert into %1 (%2) values (%3)")
                                  .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
                                  .toUtf8(),
                              &used);
    }
    void addInteger(qint64 value) override {
        m_insert->bindInteger(m_column + 1, value);
        added();
    }
    void addReal(double value) override {
        m_insert->bindReal(m_column + 1, value);
        added();
    }
    void addText(QByteArrayView utf8) override {
        m_insert->bindText(m_column + 1, utf8);
        added();
    }
    void addBlob(QByteArrayView bytes) override {
        m_insert->bindBlob(m_column + 1, bytes);
        added();
    }
    void addNull() override {
        m_insert->bindNull(m_column + 1);
        added();
    }
    void addMoney(Money value) override {
        m_insert->bindMoney(m_column + 1, value);
        added();
    }
    void finish() override {
        if (m_column != 0) throw DbError(QStringLiteral("语句的参数个数不对。"));
    }

  private:
    void added() {
        if (++m_column < m_columns) return;
        m_column = 0;
        m_insert->step();
        m_insert->reset();
    }

    std::unique_ptr<DatabaseStatement> m_insert;
    const int m_columns;
    int m_column = 0;
};

// A value of the program's types handed on as the file stores it (see toDbValue) to what takes values
// kind by kind: a statement's parameter or a row writer's next column.
template <class Take>
void handOn(const QVariant& value, Take& take) {
    if (value.userType() == qMetaTypeId<Money>()) {
        take.money(value.value<Money>());
        return;
    }
    const QVariant v = toDbValue(value);
    if (!v.isValid() || v.isNull()) {
        take.null();
        return;
    }
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            take.integer(v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            take.real(v.toDouble());
            break;
        case QMetaType::QByteArray:
            take.blob(v.toByteArray());
            break;
        default:
            take.text(v.toString().toUtf8());
            break;
    }
}

struct ParameterTaker {
    DatabaseStatement& statement;
    int parameter;
    void money(Money m) { statement.bindMoney(parameter, m); }
    void null() { statement.bindNull(parameter); }
    void integer(qint64 n) { statement.bindInteger(parameter, n); }
    void real(double d) { statement.bindReal(parameter, d); }
    void blob(const QByteArray& b) { statement.bindBlob(parameter, b); }
    void text(const QByteArray& t) { statement.bindText(parameter, t); }
};

struct ColumnTaker {
    DatabaseRowWriter& writer;
    void money(Money m) { writer.addMoney(m); }
    void null() { writer.addNull(); }
    void integer(qint64 n) { writer.addInteger(n); }
    void real(double d) { writer.addReal(d); }
    void blob(const QByteArray& b) { writer.addBlob(b); }
    void text(const QByteArray& t) { writer.addText(t); }
};

}  // namespace

std::unique_ptr<DatabaseRowWriter> Database::writeRows(const QString& table, const QStringList& columns) {
    return std::make_unique<InsertRowWriter>(*this, table, columns);
}

void RowWriter::add(const QString& value) {
    if (value.isNull())
        addNull();
    else
        m_writer->addText(value.toUtf8());
}

void RowWriter::add(const QVariant& value) {
    ColumnTaker take{*m_writer};
    handOn(value, take);
}

void PreparedStatement::bind(int parameter, const QVariant& value) {
    ParameterTaker take{statement(), parameter};
    handOn(value, take);
}

int PreparedStatement::run() {
    next();
    reset();
    return statement().rowsChanged();
}

QString PreparedStatement::text(int column) const {
    const QByteArrayView text = utf8(column);
    if (!text.data()) return QString();
    return QString::fromUtf8(text);
}

Money PreparedStatement::money(int column) const {
    return m_stmt->money(column);
}

QVariant PreparedStatement::value(int column) const {
    switch (kind(column)) {
        case Kind::Integer:
            return QVariant(integer(column));
        case Kind::Real:
            return QVariant(real(column));
        case Kind::Text:
            return QVariant(QString::fromUtf8(utf8(column)));
        case Kind::Blob:
            return QVariant(m_stmt->blob(column).toByteArray());
        case Kind::Null:
            break;
    }
    return QVariant();
}

}  // namespace hx
