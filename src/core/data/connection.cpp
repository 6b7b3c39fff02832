#include "core/data/connection.h"

#include <sqlite3.h>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <utility>

#include "core/data/dataset.h"
#include "core/data/money.h"

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

ColumnType columnTypeFromDeclaration(const QString& declaredType) {
    const QString t = declaredType.trimmed().toUpper();
    ColumnType result;
    if (t.isEmpty()) return result;
    if (t.startsWith(QLatin1String("CURRENCY")) || t.startsWith(QLatin1String("MONEY"))) {
        result.type = FieldType::Money;
    } else if (t.startsWith(QLatin1String("DATE"))) {
        result.type = FieldType::Date;
    } else if (t.startsWith(QLatin1String("YESNO")) || t.startsWith(QLatin1String("BOOL"))) {
        result.type = FieldType::Bool;
    } else if (t.contains(QLatin1String("INT"))) {
        result.type = FieldType::Integer;
    } else if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("TEXT"))) {
        result.type = FieldType::Text;
        static const QRegularExpression size(QStringLiteral("\\((\\d+)\\)"));
        const auto m = size.match(t);
        if (m.hasMatch()) result.size = m.captured(1).toInt();
    } else if (t.contains(QLatin1String("DOUB")) || t.contains(QLatin1String("REAL")) ||
               t.contains(QLatin1String("FLOA"))) {
        result.type = FieldType::Double;
    }
    return result;
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

QString chineseDbMessage(int code, const QString& text, bool reads) {
    static const QRegularExpression lengthCheck(QStringLiteral("length\\(\\[?\\w+\\]?\\)\\s*<=\\s*(\\d+)"));
    static const QRegularExpression noColumn(QStringLiteral("^no such column: (.+)$"));
    static const QRegularExpression noTable(QStringLiteral("^no such (?:table|view): (.+)$"));
    static const QRegularExpression near(QStringLiteral("^near \"(.*)\": syntax error$"));
    static const QRegularExpression noFunction(QStringLiteral("^no such function: (.+)$"));
    static const QRegularExpression ambiguous(QStringLiteral("^ambiguous column name: (.+)$"));
    static const QRegularExpression chinese(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    switch (code & 0xff) {
        case SQLITE_READONLY:
            return QStringLiteral("工资库是只读的（文件或它所在的文件夹不能写入），修改没有保存。");
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return QStringLiteral("没有写入数据库文件的权限，修改没有保存。");
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return QStringLiteral("数据库正被另一个程序使用，请稍后再试。");
        case SQLITE_INTERRUPT:
            return QStringLiteral("查询已取消。");
        case SQLITE_NOMEM:
            return QStringLiteral("内存不足，操作没有完成。请缩小查询范围。");
        case SQLITE_FULL:
            // A query fills the disk only with the temporary files of its sorting.
            return reads ? QStringLiteral("磁盘已满，查询没有完成。")
                         : QStringLiteral("磁盘已满，修改没有保存。");
        case SQLITE_IOERR:
            return QStringLiteral("读写数据库文件时出错，修改没有保存。");
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return QStringLiteral("数据库文件已损坏，或者不是数据库文件。");
        case SQLITE_CANTOPEN:
            return QStringLiteral("无法打开数据库文件（文件不存在、没有权限，或所在文件夹不能写入）。");
        case SQLITE_TOOBIG:
            return reads ? queryTooLargeMessage() : QStringLiteral("内容太长，没有保存。");
        case SQLITE_MISMATCH:
            return QStringLiteral("数据类型不对，没有保存。");
        case SQLITE_RANGE:
            return QStringLiteral("语句的参数个数不对。");
        case SQLITE_CONSTRAINT: {
            if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY)
                return QStringLiteral("与已有的记录重复，没有保存。");
            if (code == SQLITE_CONSTRAINT_NOTNULL) return QStringLiteral("必须填写的内容是空的，没有保存。");
            // The schema's triggers raise a Chinese text of their own.
            if (chinese.match(text).hasMatch()) return text;
            const auto length = lengthCheck.match(text);
            if (length.hasMatch())
                return QStringLiteral("内容太长：最多%1个字符，没有保存。").arg(length.captured(1));
            return QStringLiteral("数据不符合要求，没有保存。");
        }
        default:
            break;
    }
    const std::pair<const QRegularExpression*, QString> known[] = {
        {&noColumn, QStringLiteral("语句有错误：没有“%1”这一列。")},
        {&noTable, QStringLiteral("语句有错误：没有“%1”这个表。")},
        {&near, QStringLiteral("语句有错误：“%1”附近的写法不对。")},
        {&noFunction, QStringLiteral("语句有错误：没有“%1”这个函数。")},
        {&ambiguous, QStringLiteral("语句有错误：“%1”这一列不明确，请在列名前加上表名。")}};
    for (const auto& [pattern, message] : known) {
        const auto m = pattern->match(text);
        if (m.hasMatch()) return message.arg(m.captured(1));
    }
    if (text.contains(QLatin1String("incomplete input"))) return QStringLiteral("语句有错误：语句不完整。");
    if (chinese.match(text).hasMatch()) return text;
    return QStringLiteral("数据库不能执行这条语句。");
}

namespace {

// What the user reads for a failure of the database engine: never its English text nor a statement.
// The names of tables and columns the engine gives stay, as they are what a free query typed.
QString errorMessage(sqlite3* db) {
    if (!db) return QStringLiteral("数据库连接没有打开。");
    return chineseDbMessage(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

}  // namespace

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
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw DbError(QStringLiteral("无法打开数据库文件“%1”：文件不存在。").arg(path));
    // Never SQLITE_OPEN_CREATE: a file gone since the check above is an error, not a new database.
    // A connection is used by one thread at a time, so the engine need not lock it on every call.
    const int flags = (access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                      SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = db ? errorMessage(db) : chineseDbMessage(rc, QString());
        sqlite3_close_v2(db);
        throw DbError(QStringLiteral("无法打开数据库文件“%1”：%2").arg(path, text));
    }
    sqlite3_busy_timeout(db, 3000);
    m_db = db;
    m_path = path;
    try {
        // A file that is not a database fails here, on its first read.
        scalar(QStringLiteral("select count(*) from sqlite_master"));
    } catch (const DbError& e) {
        close();
        throw DbError(QStringLiteral("“%1”不是有效的数据库文件：%2").arg(path, e.message()));
    }
}

void Connection::openInMemory() {
    close();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        throw DbError(QStringLiteral("内存不足，操作没有完成。"));
    }
    m_db = db;
    m_path = QStringLiteral(":memory:");
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

namespace {
class SqliteDialect : public Dialect {
  public:
    QString quoted(const QString& name) const override {
        return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
    }
    QString nullSafeEqual(const QString& left, const QString& right) const override {
        return left + QStringLiteral(" is ") + right;
    }
};
}  // namespace

const Dialect& Connection::dialect() const {
    static const SqliteDialect sqlite;
    return sqlite;
}

bool Connection::isReadOnly() const {
    return sqlite3_db_readonly(require(), "main") == 1;
}

bool Connection::writable() {
    sqlite3* db = require();
    if (sqlite3_db_readonly(db, "main") == 1) return false;
    if (m_inTransaction) return true;
    // Writing the header's user version (with the value it has) makes the engine open its journal
    // beside the file, which a folder that cannot be written refuses; rolled back, nothing changes.
    const auto refused = [](int rc) {
        const int primary = rc & 0xff;
        return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM ||
               primary == SQLITE_IOERR || primary == SQLITE_AUTH;
    };
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return !refused(sqlite3_extended_errcode(db));
    const QByteArray probe = "PRAGMA user_version = " +
                             QByteArray::number(scalar(QStringLiteral("PRAGMA user_version")).toLongLong());
    rc = sqlite3_exec(db, probe.constData(), nullptr, nullptr, nullptr);
    const int code = rc == SQLITE_OK ? SQLITE_OK : sqlite3_extended_errcode(db);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || !refused(code);
}

void Connection::interrupt() {
    if (m_db) sqlite3_interrupt(m_db);
}

void Connection::limitValueLength(int bytes) {
    sqlite3_limit(require(), SQLITE_LIMIT_LENGTH, bytes);
}

void Connection::interruptWhen(const std::atomic<bool>* flag) {
    sqlite3* db = require();
    if (!flag) {
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
        return;
    }
    sqlite3_progress_handler(
        db, 1000,
        [](void* data) -> int { return static_cast<const std::atomic<bool>*>(data)->load() ? 1 : 0; },
        const_cast<std::atomic<bool>*>(flag));
}

void Connection::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(require(), milliseconds);
}

bool Connection::tryExclusive(int milliseconds) {
    sqlite3* db = require();
    sqlite3_busy_timeout(db, milliseconds);
    const int rc = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    const int code = rc == SQLITE_OK ? SQLITE_OK : sqlite3_extended_errcode(db);
    const QString message = rc == SQLITE_OK ? QString() : errorMessage(db);
    sqlite3_busy_timeout(db, 3000);
    if (rc == SQLITE_OK) {
        m_inTransaction = true;
        return true;
    }
    if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED) return false;
    throw DbError(message);
}

void Connection::replaceContentFrom(Connection& source) {
    sqlite3* target = require();
    sqlite3* from = source.require();
    if (m_inTransaction) throw DbError(QStringLiteral("有未完成的事务，不能恢复。"));
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", from, "main");
    if (!backup) throw DbError(errorMessage(target));
    // All pages in one step: one write transaction on the target, which other connections see whole
    // or not at all. A target locked by another connection is waited for as any statement waits.
    int rc = SQLITE_OK;
    for (int tries = 0; tries < 30; ++tries) {
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
        sqlite3_sleep(100);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) throw DbError(chineseDbMessage(rc, QString()));
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
    if (!m_db) return;
    if (m_inTransaction) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    // A statement still alive keeps the handle until it is finalized; the file is closed then.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_inTransaction = false;
    m_path.clear();
}

sqlite3* Connection::require() const {
    if (!m_db) throw DbError(QStringLiteral("数据库连接没有打开。"));
    return m_db;
}

int Connection::exec(const QString& sql, const QVariantList& params) {
    PreparedStatement statement(*this, sql, params);
    return statement.run();
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
    sqlite3* db = require();
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        sqlite3_free(message);
        throw DbError(errorMessage(db));
    }
}

qint64 Connection::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(require());
}

void Connection::beginTransaction() {
    exec(QStringLiteral("BEGIN IMMEDIATE"));
    m_inTransaction = true;
}

void Connection::commit() {
    exec(QStringLiteral("COMMIT"));
    m_inTransaction = false;
}

void Connection::rollback() {
    m_inTransaction = false;
    exec(QStringLiteral("ROLLBACK"));
}

// PreparedStatement

PreparedStatement PreparedStatement::first(Connection& connection, const QString& sql, QString* rest) {
    PreparedStatement statement;
    statement.m_db = connection.require();
    const QByteArray text = sql.toUtf8();
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(statement.m_db, text.constData(), int(text.size()), &statement.m_stmt, &tail) !=
        SQLITE_OK) {
        const QString message = errorMessage(statement.m_db);
        sqlite3_finalize(statement.m_stmt);
        statement.m_stmt = nullptr;
        throw DbError(message);
    }
    if (rest) {
        // The tail ends a statement, so it starts on a character boundary of the text.
        const qsizetype used = tail ? qsizetype(tail - text.constData()) : text.size();
        *rest = QString::fromUtf8(text.constData() + used, text.size() - used);
    }
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
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
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

PreparedStatement::~PreparedStatement() {
    sqlite3_finalize(m_stmt);
}

PreparedStatement::PreparedStatement(PreparedStatement&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_stmt(std::exchange(other.m_stmt, nullptr)) {}

PreparedStatement& PreparedStatement::operator=(PreparedStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = std::exchange(other.m_db, nullptr);
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

bool PreparedStatement::isReadOnly() const {
    return m_stmt && sqlite3_stmt_readonly(m_stmt);
}

void PreparedStatement::check(int rc) const {
    if (rc != SQLITE_OK) fail();
}

void PreparedStatement::fail() const {
    throw DbError(errorMessage(m_db));
}

int PreparedStatement::parameterCount() const {
    return sqlite3_bind_parameter_count(m_stmt);
}

void PreparedStatement::bind(int parameter, qint64 value) {
    check(sqlite3_bind_int64(m_stmt, parameter, value));
}

void PreparedStatement::bind(int parameter, double value) {
    check(sqlite3_bind_double(m_stmt, parameter, value));
}

void PreparedStatement::bind(int parameter, Money value) {
    // Whole yuan are stored as integers, so that a free query shows 300 rather than 300.0.
    if (value.units() % Money::Scale == 0)
        bind(parameter, qint64(value.units() / Money::Scale));
    else
        bind(parameter, value.toDouble());
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

void PreparedStatement::bindUtf8(int parameter, QByteArrayView text) {
    // An empty text is bound as text, not as Null.
    check(sqlite3_bind_text(m_stmt, parameter, text.data() ? text.data() : "", int(text.size()),
                            SQLITE_TRANSIENT));
}

void PreparedStatement::bindNull(int parameter) {
    check(sqlite3_bind_null(m_stmt, parameter));
}

void PreparedStatement::bind(int parameter, const QVariant& value) {
    const QVariant v = toDbValue(value);
    if (!v.isValid() || v.isNull()) {
        bindNull(parameter);
        return;
    }
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            bind(parameter, v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            bind(parameter, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            check(sqlite3_bind_blob(m_stmt, parameter, b.constData(), int(b.size()), SQLITE_TRANSIENT));
            break;
        }
        default:
            bindUtf8(parameter, v.toString().toUtf8());
            break;
    }
}

void PreparedStatement::bindAll(const QVariantList& values) {
    if (parameterCount() != values.size()) throw DbError(QStringLiteral("语句的参数个数不对。"));
    for (int i = 0; i < values.size(); ++i) bind(i + 1, values[i]);
}

bool PreparedStatement::next() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const int code = sqlite3_extended_errcode(m_db);
    const QString engineText = QString::fromUtf8(sqlite3_errmsg(m_db));
    const QString message = chineseDbMessage(code, engineText, isReadOnly());
    sqlite3_reset(m_stmt);
    if ((code & 0xff) == SQLITE_CONSTRAINT) throw ConstraintError(message, code, engineText);
    throw DbError(message);
}

int PreparedStatement::run() {
    next();
    sqlite3_reset(m_stmt);
    return sqlite3_changes(m_db);
}

void PreparedStatement::reset() {
    sqlite3_reset(m_stmt);
}

int PreparedStatement::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

QString PreparedStatement::columnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString PreparedStatement::declaredType(int column) const {
    const char* decl = sqlite3_column_decltype(m_stmt, column);
    return decl ? QString::fromUtf8(decl) : QString();
}

QString PreparedStatement::originTable(int column) const {
    const char* table = sqlite3_column_table_name(m_stmt, column);
    return table ? QString::fromUtf8(table) : QString();
}

QString PreparedStatement::originColumn(int column) const {
    const char* name = sqlite3_column_origin_name(m_stmt, column);
    return name ? QString::fromUtf8(name) : QString();
}

PreparedStatement::Kind PreparedStatement::kind(int column) const {
    switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_INTEGER:
            return Kind::Integer;
        case SQLITE_FLOAT:
            return Kind::Real;
        case SQLITE_TEXT:
            return Kind::Text;
        case SQLITE_BLOB:
            return Kind::Blob;
        default:
            return Kind::Null;
    }
}

qint64 PreparedStatement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

double PreparedStatement::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

QByteArrayView PreparedStatement::utf8(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
}

QString PreparedStatement::text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    if (!text) return QString();
    return QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column));
}

Money PreparedStatement::money(int column) const {
    switch (kind(column)) {
        case Kind::Integer:
            return Money::fromYuan(integer(column));
        case Kind::Null:
            return Money();
        case Kind::Real:
            return Money::fromDouble(real(column));
        case Kind::Text:
        case Kind::Blob:
            break;
    }
    return Money::parse(text(column)).value_or(Money());
}

QVariant PreparedStatement::value(int column) const {
    switch (kind(column)) {
        case Kind::Integer:
            return QVariant(integer(column));
        case Kind::Real:
            return QVariant(real(column));
        case Kind::Text:
            return QVariant(QString::fromUtf8(utf8(column)));
        case Kind::Blob: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
            return QVariant(QByteArray(data, sqlite3_column_bytes(m_stmt, column)));
        }
        case Kind::Null:
            break;
    }
    return QVariant();
}

}  // namespace hx
