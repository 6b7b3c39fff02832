#include "data/connection.h"

#include <sqlite3.h>

#include <QAtomicInt>
#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlResult>
#include <algorithm>

#include "data/dataset.h"
#include "data/money.h"

namespace hx {

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

namespace {
QAtomicInt connectionCounter;

QString sqlErrorText(const QSqlError& error) {
    QString text = error.databaseText();
    if (text.isEmpty()) text = error.text();
    return text;
}
}  // namespace

Connection::Connection() : m_name(QStringLiteral("hx-cn-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

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
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000");
        if (access == Access::ReadOnly) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        if (!db.open()) {
            const QString text = sqlErrorText(db.lastError());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_name);
            throw DbError(QStringLiteral("无法打开数据库文件“%1”：%2").arg(path, text));
        }
    }
    m_path = path;
    try {
        // A file that is not a database fails here, on its first read.
        scalar(QStringLiteral("select count(*) from sqlite_master"));
    } catch (const DbError& e) {
        close();
        throw DbError(QStringLiteral("“%1”不是有效的数据库文件：%2").arg(path, e.message()));
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
    if (!QSqlDatabase::contains(m_name)) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (m_inTransaction) db.rollback();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_inTransaction = false;
    m_path.clear();
}

bool Connection::isOpen() const {
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase Connection::database() const {
    return QSqlDatabase::database(m_name, false);
}

void Connection::require() const {
    if (!isOpen()) throw DbError(QStringLiteral("数据库连接没有打开。"));
}

sqlite3* Connection::handle() const {
    require();
    const QVariant v = database().driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(v.data());
}

QSqlQuery Connection::prepare(const QString& sql, const QVariantList& params) {
    require();
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.prepare(sql)) throw DbError(sqlErrorText(q.lastError()) + QStringLiteral("\n") + sql);
    for (int i = 0; i < params.size(); ++i) q.bindValue(i, toDbValue(params[i]));
    if (!q.exec()) throw DbError(sqlErrorText(q.lastError()));
    return q;
}

int Connection::exec(const QString& sql, const QVariantList& params) {
    QSqlQuery q = prepare(sql, params);
    return q.numRowsAffected();
}

QSqlQuery Connection::query(const QString& sql, const QVariantList& params) {
    return prepare(sql, params);
}

QVariant Connection::scalar(const QString& sql, const QVariantList& params) {
    QSqlQuery q = prepare(sql, params);
    if (!q.next()) return QVariant();
    return q.value(0);
}

void Connection::execScript(const QString& sql) {
    sqlite3* db = handle();
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : "unknown error");
        sqlite3_free(message);
        throw DbError(text);
    }
}

qint64 Connection::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(handle());
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

RowReader::RowReader(Connection& connection, const QString& sql, const QVariantList& params)
    : m_db(connection.handle()) {
    if (!m_db) throw DbError(QStringLiteral("数据库没有打开。"));
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_stmt, nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw DbError(message + QStringLiteral("\n") + sql);
    }
    if (sqlite3_bind_parameter_count(m_stmt) != params.size()) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw DbError(QStringLiteral("Parameter count mismatch"));
    }
    for (int i = 0; i < params.size(); ++i) {
        const QVariant v = toDbValue(params[i]);
        int rc;
        if (!v.isValid() || v.isNull()) {
            rc = sqlite3_bind_null(m_stmt, i + 1);
        } else {
            switch (v.typeId()) {
                case QMetaType::Int:
                case QMetaType::UInt:
                case QMetaType::LongLong:
                case QMetaType::ULongLong:
                    rc = sqlite3_bind_int64(m_stmt, i + 1, v.toLongLong());
                    break;
                case QMetaType::Double:
                case QMetaType::Float:
                    rc = sqlite3_bind_double(m_stmt, i + 1, v.toDouble());
                    break;
                case QMetaType::QByteArray: {
                    const QByteArray b = v.toByteArray();
                    rc = sqlite3_bind_blob(m_stmt, i + 1, b.constData(), int(b.size()), SQLITE_TRANSIENT);
                    break;
                }
                default: {
                    const QByteArray t = v.toString().toUtf8();
                    rc = sqlite3_bind_text(m_stmt, i + 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
                    break;
                }
            }
        }
        if (rc != SQLITE_OK) {
            const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            throw DbError(message);
        }
    }
}

RowReader::~RowReader() {
    sqlite3_finalize(m_stmt);
}

int RowReader::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

QString RowReader::columnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString RowReader::declaredType(int column) const {
    const char* decl = sqlite3_column_decltype(m_stmt, column);
    return decl ? QString::fromUtf8(decl) : QString();
}

bool RowReader::next() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw DbError(QString::fromUtf8(sqlite3_errmsg(m_db)));
}

RowReader::Kind RowReader::kind(int column) const {
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

qint64 RowReader::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

double RowReader::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

QByteArrayView RowReader::utf8(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
}

QVariant RowReader::value(int column) const {
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

QString Connection::declaredType(const QSqlQuery& query, int column) {
    const QSqlResult* result = query.result();
    if (!result) return QString();
    const QVariant v = result->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3_stmt*") != 0) return QString();
    sqlite3_stmt* stmt = *static_cast<sqlite3_stmt* const*>(v.data());
    if (!stmt) return QString();
    const char* decl = sqlite3_column_decltype(stmt, column);
    return decl ? QString::fromUtf8(decl) : QString();
}

}  // namespace hx
