#include "core/data/sqlite/sqlitedatabase.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

#include "core/data/connection.h"
#include "core/data/errors.h"

namespace hx {

namespace {

// The kind the file engine gives a column declared with this type name.
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

}  // namespace

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

class SqliteDialect : public Dialect {
  public:
    QString quoted(const QString& name) const override {
        return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
    }
    QString nullSafeEqual(const QString& left, const QString& right) const override {
        return left + QStringLiteral(" is ") + right;
    }
    ColumnType columnType(const QString& typeName) const override {
        return columnTypeFromDeclaration(typeName);
    }
    QString paged(const QString& select, qint64 rows, qint64 offset) const override {
        return select + QStringLiteral(" limit %1 offset %2").arg(rows).arg(offset);
    }
    QString returning(const QString& insert, const QString& key) const override {
        return insert + QStringLiteral(" returning ") + quoted(key);
    }
    QString tableCountQuery() const override {
        return QStringLiteral(
            "select count(*) from sqlite_master where type='table' and name=? collate nocase");
    }
    QString tableColumnsQuery() const override {
        return QStringLiteral("select name, type, pk from pragma_table_info(?) order by cid");
    }
    QString viewDefinitionQuery() const override {
        return QStringLiteral("select sql from sqlite_master where type='view' and name=? collate nocase");
    }
    bool readsRowsInProcess() const override { return true; }
    // A transaction holds the write lock of the whole file from its start.
    QString lockingRows(const QString& select) const override { return select; }
    QString wholeNumberList(const std::vector<qint64>& values) const override {
        QString list = QStringLiteral("[");
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0) list += QLatin1Char(',');
            list += QString::number(values[i]);
        }
        return list + QStringLiteral("]");
    }
    QString listElement(const QString& position) const override {
        return QStringLiteral("json_extract(?, '$[' || (case when (%1) >= 1 then (%1) - 1 end) || ']')")
            .arg(position);
    }
};

class SqliteStatement : public DatabaseStatement {
  public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* stmt) : m_db(db), m_stmt(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool isReadOnly() const override { return sqlite3_stmt_readonly(m_stmt) != 0; }

    int parameterCount() const override { return sqlite3_bind_parameter_count(m_stmt); }
    void bindInteger(int parameter, qint64 value) override {
        check(sqlite3_bind_int64(m_stmt, parameter, value));
    }
    void bindReal(int parameter, double value) override {
        check(sqlite3_bind_double(m_stmt, parameter, value));
    }
    void bindText(int parameter, QByteArrayView text) override {
        // An empty text is bound as text, not as Null.
        check(sqlite3_bind_text(m_stmt, parameter, text.data() ? text.data() : "", int(text.size()),
                                SQLITE_TRANSIENT));
    }
    void bindBlob(int parameter, QByteArrayView bytes) override {
        check(sqlite3_bind_blob(m_stmt, parameter, bytes.data() ? bytes.data() : "", int(bytes.size()),
                                SQLITE_TRANSIENT));
    }
    void bindNull(int parameter) override { check(sqlite3_bind_null(m_stmt, parameter)); }

    bool step() override {
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
    void reset() override { sqlite3_reset(m_stmt); }
    int rowsChanged() const override { return sqlite3_changes(m_db); }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }
    QString columnName(int column) const override {
        return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
    }
    ColumnType columnType(int column) const override {
        // The declared type of the schema is the column's kind: CURRENCY, DATE, YESNO, VARCHAR(n)...
        return columnTypeFromDeclaration(textOrEmpty(sqlite3_column_decltype(m_stmt, column)));
    }
    QString originTable(int column) const override {
        return textOrEmpty(sqlite3_column_table_name(m_stmt, column));
    }
    QString originColumn(int column) const override {
        return textOrEmpty(sqlite3_column_origin_name(m_stmt, column));
    }

    Kind kind(int column) const override { return kindOf(sqlite3_column_type(m_stmt, column)); }
    static Kind kindOf(int type) {
        switch (type) {
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
    qint64 integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    // One call into the engine rather than two: the value of the column is read once and looked at.
    // The statement is stepped by one thread at a time, so its value needs no lock of its own.
    Kind integerOrKind(int column, qint64& value) const override {
        sqlite3_value* v = sqlite3_column_value(m_stmt, column);
        const int type = sqlite3_value_type(v);
        if (type == SQLITE_INTEGER) {
            value = sqlite3_value_int64(v);
            return Kind::Integer;
        }
        return kindOf(type);
    }
    Kind textOrKind(int column, QByteArrayView& text) const override {
        sqlite3_value* v = sqlite3_column_value(m_stmt, column);
        const int type = sqlite3_value_type(v);
        if (type == SQLITE_TEXT) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
            text = QByteArrayView(t, sqlite3_value_bytes(v));
            return Kind::Text;
        }
        return kindOf(type);
    }
    double real(int column) const override { return sqlite3_column_double(m_stmt, column); }
    QByteArrayView utf8(int column) const override {
        // The text first: its length is that of the text once the value is converted to it.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
    }
    QByteArrayView blob(int column) const override {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return QByteArrayView(data, sqlite3_column_bytes(m_stmt, column));
    }

  private:
    static QString textOrEmpty(const char* text) { return text ? QString::fromUtf8(text) : QString(); }
    void check(int rc) const {
        if (rc != SQLITE_OK) throw DbError(errorMessage(m_db));
    }

    // The handle stays valid while this statement lives, even past the close of its database.
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
};

}  // namespace

const Dialect& sqliteDialect() {
    static const SqliteDialect dialect;
    return dialect;
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::openFile(const QString& path, bool readOnly) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw DbError(QStringLiteral("无法打开数据库文件“%1”：文件不存在。").arg(path));
    // Never SQLITE_OPEN_CREATE: a file gone since the check above is an error, not a new database.
    // A connection is used by one thread at a time, so the engine need not lock it on every call.
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX |
                      SQLITE_OPEN_PRIVATECACHE;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = db ? errorMessage(db) : chineseDbMessage(rc, QString());
        sqlite3_close_v2(db);
        throw DbError(QStringLiteral("无法打开数据库文件“%1”：%2").arg(path, text));
    }
    std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(db));
    database->setBusyTimeout(3000);
    try {
        // A file that is not a database fails here, on its first read.
        database->integerOf("select count(*) from sqlite_master");
    } catch (const DbError& e) {
        throw DbError(QStringLiteral("“%1”不是有效的数据库文件：%2").arg(path, e.message()));
    }
    return database;
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::openMemory() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        throw DbError(QStringLiteral("内存不足，操作没有完成。"));
    }
    return std::unique_ptr<SqliteDatabase>(new SqliteDatabase(db));
}

SqliteDatabase::~SqliteDatabase() {
    if (m_inTransaction) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    // A statement still alive keeps the handle until it is finalized; the file is closed then.
    sqlite3_close_v2(m_db);
}

std::unique_ptr<DatabaseStatement> SqliteDatabase::prepare(QByteArrayView sql, qsizetype* used) {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.data(), int(sql.size()), &stmt, &tail) != SQLITE_OK) {
        const QString message = errorMessage(m_db);
        sqlite3_finalize(stmt);
        throw DbError(message);
    }
    if (used) *used = tail ? qsizetype(tail - sql.data()) : sql.size();
    if (!stmt) return nullptr;
    return std::make_unique<SqliteStatement>(m_db, stmt);
}

void SqliteDatabase::run(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        sqlite3_free(message);
        throw DbError(errorMessage(m_db));
    }
}

void SqliteDatabase::execScript(const QString& sql) {
    run(sql.toUtf8().constData());
}

qint64 SqliteDatabase::integerOf(const QByteArray& sql) {
    qsizetype used = 0;
    const std::unique_ptr<DatabaseStatement> statement = prepare(sql, &used);
    return statement && statement->step() ? statement->integer(0) : 0;
}

void SqliteDatabase::begin() {
    // Immediate: the write lock is taken now, not at the first write, so that a transaction that read
    // rows for a change is never refused its write by another writer that came in between.
    run("BEGIN IMMEDIATE");
    m_inTransaction = true;
}

void SqliteDatabase::commit() {
    run("COMMIT");
    m_inTransaction = false;
}

void SqliteDatabase::rollback() {
    m_inTransaction = false;
    run("ROLLBACK");
}

bool SqliteDatabase::isReadOnly() const {
    return sqlite3_db_readonly(m_db, "main") == 1;
}

bool SqliteDatabase::writable() {
    if (isReadOnly()) return false;
    if (m_inTransaction) return true;
    // Writing the header's user version (with the value it has) makes the engine open its journal
    // beside the file, which a folder that cannot be written refuses; rolled back, nothing changes.
    const auto refused = [](int rc) {
        const int primary = rc & 0xff;
        return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM ||
               primary == SQLITE_IOERR || primary == SQLITE_AUTH;
    };
    int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return !refused(sqlite3_extended_errcode(m_db));
    int code = SQLITE_OK;
    try {
        const QByteArray probe =
            "PRAGMA user_version = " + QByteArray::number(integerOf("PRAGMA user_version"));
        rc = sqlite3_exec(m_db, probe.constData(), nullptr, nullptr, nullptr);
        code = rc == SQLITE_OK ? SQLITE_OK : sqlite3_extended_errcode(m_db);
    } catch (const DbError&) {
        rc = code = sqlite3_extended_errcode(m_db);
    }
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || !refused(code);
}

void SqliteDatabase::interrupt() {
    sqlite3_interrupt(m_db);
}

void SqliteDatabase::interruptWhen(const std::atomic<bool>* flag) {
    if (!flag) {
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        return;
    }
    sqlite3_progress_handler(
        m_db, 1000,
        [](void* data) -> int { return static_cast<const std::atomic<bool>*>(data)->load() ? 1 : 0; },
        const_cast<std::atomic<bool>*>(flag));
}

void SqliteDatabase::limitValueLength(int bytes) {
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, bytes);
}

void SqliteDatabase::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(m_db, milliseconds);
}

void SqliteDatabase::setBulkWork(bool on) {
    if (on) {
        m_cacheSizeBefore = integerOf("PRAGMA cache_size");
        m_tempStoreBefore = integerOf("PRAGMA temp_store");
        // Large enough for the parts of the piece-work indexes that a month of records touches (the
        // default of 2 MB makes every other lookup a read), and bounded: what the engine sorts for
        // itself goes to temporary files rather than growing in memory without end.
        run("PRAGMA cache_size = -65536; PRAGMA temp_store = FILE");
        return;
    }
    run(QByteArray("PRAGMA cache_size = " + QByteArray::number(m_cacheSizeBefore) +
                   "; PRAGMA temp_store = " + QByteArray::number(m_tempStoreBefore))
            .constData());
}

bool SqliteDatabase::tryExclusive(int milliseconds) {
    sqlite3_busy_timeout(m_db, milliseconds);
    const int rc = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    const int code = rc == SQLITE_OK ? SQLITE_OK : sqlite3_extended_errcode(m_db);
    const QString message = rc == SQLITE_OK ? QString() : errorMessage(m_db);
    sqlite3_busy_timeout(m_db, 3000);
    if (rc == SQLITE_OK) {
        m_inTransaction = true;
        return true;
    }
    if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED) return false;
    throw DbError(message);
}

void SqliteDatabase::replaceContentFrom(SqliteDatabase& source) {
    if (m_inTransaction) throw DbError(QStringLiteral("有未完成的事务，不能恢复。"));
    sqlite3_backup* backup = sqlite3_backup_init(m_db, "main", source.m_db, "main");
    if (!backup) throw DbError(errorMessage(m_db));
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

void SqliteDatabase::compact() {
    run("VACUUM");
}

void SqliteDatabase::compactInto(const QString& target) {
    std::unique_ptr<DatabaseStatement> q = prepare("VACUUM INTO ?", nullptr);
    const QByteArray path = target.toUtf8();
    q->bindText(1, path);
    q->step();
}

bool SqliteDatabase::passesIntegrityCheck() {
    std::unique_ptr<DatabaseStatement> q = prepare("pragma integrity_check", nullptr);
    return q->step() && q->utf8(0) == QByteArrayView("ok");
}

SqliteDatabase& sqliteDatabase(const Connection& cn) {
    auto* file = dynamic_cast<SqliteDatabase*>(&cn.database());
    if (!file) throw DbError(QStringLiteral("这个工资库不是文件，不能这样处理。"));
    return *file;
}

}  // namespace hx
