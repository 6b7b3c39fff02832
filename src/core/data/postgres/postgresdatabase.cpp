#include "core/data/postgres/postgresdatabase.h"

#include <libpq-fe.h>
#include <sys/select.h>

#include <QDate>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <vector>

#include "core/data/connection.h"
#include "core/data/errors.h"

namespace hx {

namespace {

// Type numbers of the server's built-in types, as every server gives them.
constexpr Oid boolType = 16;
constexpr Oid byteaType = 17;
constexpr Oid int8Type = 20;
constexpr Oid int2Type = 21;
constexpr Oid int4Type = 23;
constexpr Oid oidType = 26;
constexpr Oid float4Type = 700;
constexpr Oid float8Type = 701;
constexpr Oid numericType = 1700;
constexpr Oid nameType = 19;
constexpr Oid textType = 25;
constexpr Oid bpcharType = 1042;
constexpr Oid varcharType = 1043;
constexpr Oid dateType = 1082;

// Types read as whole numbers (a truth value as 1 or 0), and types whose binary form is their text.
bool isWholeType(Oid type) {
    return type == boolType || type == int2Type || type == int4Type || type == int8Type || type == oidType;
}
bool isTextType(Oid type) {
    return type == textType || type == varcharType || type == bpcharType || type == nameType;
}

// A result whose every column is of these types is read in the server's binary form: the server does
// not write a month's hundreds of thousands of numbers and dates out as text, nor does this side read
// them back. Each of them reads exactly as its text does; a decimal, a real or a time stays text.
bool readsExactlyInBinary(const PGresult* description) {
    for (int c = 0; c < PQnfields(description); ++c) {
        const Oid type = PQftype(description, c);
        if (!isWholeType(type) && !isTextType(type) && type != byteaType && type != dateType) return false;
    }
    return true;
}

// A whole number in the binary form: big-endian, of the type's width.
qint64 binaryWhole(Oid type, const char* v) {
    const auto byte = [v](int i) { return quint64(quint8(v[i])); };
    switch (type) {
        case boolType:
            return v[0] ? 1 : 0;
        case int2Type:
            return qint16(quint16(byte(0) << 8 | byte(1)));
        case int4Type:
            return qint32(quint32(byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3)));
        case oidType:
            return qint64(quint32(byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3)));
        default: {
            quint64 n = 0;
            for (int i = 0; i < 8; ++i) n = n << 8 | byte(i);
            return qint64(n);
        }
    }
}

// A date in the binary form (days from 2000-01-01) as the server writes it in ISO style.
QByteArray isoDateText(qint32 days) {
    if (days == std::numeric_limits<qint32>::min()) return QByteArrayLiteral("-infinity");
    if (days == std::numeric_limits<qint32>::max()) return QByteArrayLiteral("infinity");
    const QDate date = QDate::fromJulianDay(qint64(days) + QDate(2000, 1, 1).toJulianDay());
    const bool beforeChrist = date.year() < 0;
    QByteArray text = QByteArray::number(beforeChrist ? -date.year() : date.year()).rightJustified(4, '0');
    text += '-' + QByteArray::number(date.month()).rightJustified(2, '0');
    text += '-' + QByteArray::number(date.day()).rightJustified(2, '0');
    if (beforeChrist) text += " BC";
    return text;
}

using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;
Result noResult() {
    return Result(nullptr, PQclear);
}

class PostgresDialect : public Dialect {
  public:
    QString quoted(const QString& name) const override {
        return QLatin1Char('"') + name.toLower().replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
    }
    QString nullSafeEqual(const QString& left, const QString& right) const override {
        return left + QStringLiteral(" is not distinct from ") + right;
    }
    ColumnType columnType(const QString& typeName) const override {
        static const QRegularExpression varying(
            QStringLiteral("^(?:character varying|varchar)\\((\\d+)\\)$"));
        const QString t = typeName.trimmed().toLower();
        ColumnType c;
        if (t == QLatin1String("currency")) {
            c.type = FieldType::Money;
        } else if (t == QLatin1String("yesno") || t == QLatin1String("boolean")) {
            c.type = FieldType::Bool;
        } else if (t == QLatin1String("date")) {
            c.type = FieldType::Date;
        } else if (t == QLatin1String("integer") || t == QLatin1String("smallint") ||
                   t == QLatin1String("bigint")) {
            c.type = FieldType::Integer;
        } else if (t == QLatin1String("double precision") || t == QLatin1String("real") ||
                   t.startsWith(QLatin1String("numeric"))) {
            c.type = FieldType::Double;
        } else if (const auto m = varying.match(t); m.hasMatch()) {
            c.type = FieldType::Text;
            c.size = m.captured(1).toInt();
        } else if (t == QLatin1String("text") || t == QLatin1String("character varying")) {
            c.type = FieldType::Text;
        }
        return c;
    }
    QString paged(const QString& select, qint64 rows, qint64 offset) const override {
        return QStringLiteral("%1 limit %2 offset %3").arg(select).arg(rows).arg(offset);
    }
    QString returning(const QString& insert, const QString& key) const override {
        return insert + QStringLiteral(" returning ") + quoted(key);
    }
    QString tableCountQuery() const override {
        return QStringLiteral(
            "select count(*) from pg_catalog.pg_tables "
            "where schemaname = current_schema() and lower(tablename) = lower(?)");
    }
    QString tableColumnsQuery() const override {
        return QStringLiteral(
            "select a.attname, format_type(a.atttypid, a.atttypmod), "
            "coalesce((select k.n from pg_catalog.pg_index i, unnest(i.indkey) with ordinality k(att, n) "
            "where i.indrelid = c.oid and i.indisprimary and k.att = a.attnum), 0) "
            "from pg_catalog.pg_class c join pg_catalog.pg_namespace s on s.oid = c.relnamespace "
            "join pg_catalog.pg_attribute a on a.attrelid = c.oid "
            "where s.nspname = current_schema() and lower(c.relname) = lower(?) and c.relkind = 'r' "
            "and a.attnum > 0 and not a.attisdropped order by a.attnum");
    }
    QString viewDefinitionQuery() const override {
        return QStringLiteral(
            "select 'create view ' || c.relname || ' as ' || pg_get_viewdef(c.oid) "
            "from pg_catalog.pg_class c join pg_catalog.pg_namespace s on s.oid = c.relnamespace "
            "where s.nspname = current_schema() and lower(c.relname) = lower(?) and c.relkind = 'v'");
    }
    bool readsRowsInProcess() const override { return false; }
    QString lockingRows(const QString& select) const override {
        return select + QStringLiteral(" for update");
    }
    QString wholeNumberList(const std::vector<qint64>& values) const override {
        QString list = QStringLiteral("{");
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0) list += QLatin1Char(',');
            list += QString::number(values[i]);
        }
        return list + QStringLiteral("}");
    }
    QString listElement(const QString& position) const override {
        return QStringLiteral("(cast(? as bigint[]))[%1]").arg(position);
    }
};

// What a refused connection means to the user, from the client library's English text.
QString connectFailure(const QString& text) {
    if (text.contains(QLatin1String("password authentication failed")) ||
        text.contains(QLatin1String("no password supplied")))
        return QStringLiteral("用户名或密码不对（密码放在 .pgpass 文件中）。");
    if (text.contains(QLatin1String("does not exist")))
        return QStringLiteral("服务器上没有这个数据库或用户。");
    if (text.contains(QLatin1String("timeout expired"))) return QStringLiteral("连接超时。");
    if (text.contains(QLatin1String("definition of service")))
        return QStringLiteral("pg_service.conf 中没有这个服务。");
    if (text.contains(QLatin1String("Connection refused")) ||
        text.contains(QLatin1String("could not connect")) ||
        text.contains(QLatin1String("could not translate host name")))
        return QStringLiteral("服务器没有运行，或者从这台电脑连不上。");
    return QStringLiteral("服务器拒绝了连接。");
}

// The server as messages name it: its service, or its host and port.
QString serverName(PGconn* c, const QString& connection) {
    static const QRegularExpression service(QStringLiteral("(?:^|\\s)service\\s*=\\s*(\\S+)"));
    const auto m = service.match(connection);
    if (m.hasMatch()) return m.captured(1);
    const char* host = c ? PQhost(c) : nullptr;
    const char* port = c ? PQport(c) : nullptr;
    if (host && *host) return QStringLiteral("%1:%2").arg(QString::fromUtf8(host), QString::fromUtf8(port));
    return connection;
}

// The first keyword of a statement, comments and blanks before it skipped.
QByteArray firstWord(QByteArrayView sql) {
    qsizetype i = 0;
    while (i < sql.size()) {
        if (QChar::isSpace(uchar(sql[i]))) {
            ++i;
        } else if (sql.sliced(i).startsWith("--")) {
            while (i < sql.size() && sql[i] != '\n') ++i;
        } else if (sql.sliced(i).startsWith("/*")) {
            const qsizetype end = QByteArrayView(sql).indexOf("*/", i + 2);
            i = end < 0 ? sql.size() : end + 2;
        } else {
            break;
        }
    }
    qsizetype j = i;
    while (j < sql.size() && (std::isalpha(uchar(sql[j])))) ++j;
    return sql.sliced(i, j - i).toByteArray().toLower();
}

// True when a word that writes stands anywhere in the statement outside its texts, quoted names and
// comments: a `with` may hold an insert, update, delete or merge in any of its parts.
bool namesAWrite(QByteArrayView sql) {
    for (qsizetype i = 0; i < sql.size();) {
        const char ch = sql[i];
        if (ch == '\'' || ch == '"') {
            qsizetype j = i + 1;
            while (j < sql.size() && sql[j] != ch) ++j;
            i = j + 1;
        } else if (sql.sliced(i).startsWith("--")) {
            while (i < sql.size() && sql[i] != '\n') ++i;
        } else if (sql.sliced(i).startsWith("/*")) {
            const qsizetype end = sql.indexOf("*/", i + 2);
            i = end < 0 ? sql.size() : end + 2;
        } else if (std::isalpha(uchar(ch)) || ch == '_') {
            qsizetype j = i;
            while (j < sql.size() && (std::isalnum(uchar(sql[j])) || sql[j] == '_' || sql[j] == '$')) ++j;
            const QByteArray word = sql.sliced(i, j - i).toByteArray().toLower();
            if (word == "insert" || word == "update" || word == "delete" || word == "merge") return true;
            i = j;
        } else {
            ++i;
        }
    }
    return false;
}

// True for a statement that by itself changes nothing.
bool isReading(QByteArrayView sql) {
    const QByteArray word = firstWord(sql);
    if (word == "with") return !namesAWrite(sql);
    return word == "select" || word == "values" || word == "show" || word == "explain" || word == "table";
}

// The tables and columns of the account set as the schema script writes them ("JobData", "StaffCode"),
// by their names in lower case, which is how the server keeps names that were not quoted.
const QHash<QString, QString>& writtenNames() {
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> written;
        QFile file(QStringLiteral(":/data/postgres/schema.sql"));
        if (!file.open(QIODevice::ReadOnly)) return written;
        static const QRegularExpression table(QStringLiteral("^CREATE TABLE (\\w+)"),
                                              QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression column(
            QStringLiteral("(?:^\\s+|,\\s*)([A-Za-z_]\\w*)\\s+(?:INTEGER|SMALLINT|BIGINT|VARCHAR|CHAR|TEXT|"
                           "CURRENCY|YESNO|DATE|TIMESTAMP|REAL|DOUBLE|NUMERIC|BOOLEAN|BYTEA)\\b"),
            QRegularExpression::CaseInsensitiveOption);
        QString current;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            if (const auto t = table.match(line); t.hasMatch()) {
                current = t.captured(1);
                written.insert(current.toLower(), current);
            } else if (line.startsWith(QLatin1Char(')'))) {
                current.clear();
            } else if (!current.isEmpty()) {
                for (auto it = column.globalMatch(line); it.hasNext();) {
                    const QString name = it.next().captured(1);
                    written.insert(current.toLower() + QLatin1Char('.') + name.toLower(), name);
                }
            }
        }
        return written;
    }();
    return names;
}

}  // namespace

const Dialect& postgresDialect() {
    static const PostgresDialect dialect;
    return dialect;
}

QByteArray numberedParameters(QByteArrayView sql, int* count) {
    QByteArray out;
    out.reserve(sql.size() + 16);
    int n = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const char ch = sql[i];
        if (ch == '\'' || ch == '"') {
            // A text or a quoted name, its doubled quotes included.
            qsizetype j = i + 1;
            while (j < sql.size()) {
                if (sql[j] == ch) {
                    if (j + 1 < sql.size() && sql[j + 1] == ch) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out.append(sql.sliced(i, std::min(j + 1, sql.size()) - i));
            i = j;
        } else if (ch == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            qsizetype j = i;
            while (j < sql.size() && sql[j] != '\n') ++j;
            out.append(sql.sliced(i, j - i));
            i = j - 1;
        } else if (ch == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const qsizetype end = sql.indexOf("*/", i + 2);
            const qsizetype j = end < 0 ? sql.size() : end + 2;
            out.append(sql.sliced(i, j - i));
            i = j - 1;
        } else if (ch == '?') {
            out.append('$').append(QByteArray::number(++n));
        } else {
            out.append(ch);
        }
    }
    if (count) *count = n;
    return out;
}

namespace {

// The server writes a whole number as an optional minus and its digits (a decimal's whole part ends at
// the point). Read here rather than by strtoll, which a month's list of records calls a million times.
qint64 wholeNumber(const char* v) {
    const bool negative = *v == '-';
    if (negative) ++v;
    quint64 n = 0;
    while (*v >= '0' && *v <= '9') n = n * 10 + quint64(*v++ - '0');
    return negative ? qint64(0 - n) : qint64(n);
}

}  // namespace

QString chineseServerMessage(const QByteArray& state, const QString& text, bool reads) {
    static const QRegularExpression quotedName(QStringLiteral("\"([^\"]+)\""));
    static const QRegularExpression varying(QStringLiteral("character varying\\((\\d+)\\)"));
    static const QRegularExpression chinese(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    const QString name = quotedName.match(text).captured(1);
    if (state == "23505") return QStringLiteral("与已有的记录重复，没有保存。");
    if (state == "23502") return QStringLiteral("必须填写的内容是空的，没有保存。");
    if (state == "22001") {
        const auto m = varying.match(text);
        return m.hasMatch() ? QStringLiteral("内容太长：最多%1个字符，没有保存。").arg(m.captured(1))
                            : QStringLiteral("内容太长，没有保存。");
    }
    if (state.startsWith("23")) return QStringLiteral("数据不符合要求，没有保存。");
    if (state == "P0001" && chinese.match(text).hasMatch()) return text;
    if (state == "57014") return QStringLiteral("查询已取消。");
    if (state == "25006") return QStringLiteral("这个工资库只能查看，修改没有保存。");
    if (state == "42501") return QStringLiteral("没有修改工资库的权限，修改没有保存。");
    if (state == "40P01" || state == "55P03" || state == "40001")
        return QStringLiteral("数据库正被另一个程序使用，请稍后再试。");
    if (state == "53100")
        return reads ? QStringLiteral("磁盘已满，查询没有完成。")
                     : QStringLiteral("磁盘已满，修改没有保存。");
    if (state == "53200" || state == "54000")
        return reads ? queryTooLargeMessage() : QStringLiteral("内存不足，操作没有完成。请缩小查询范围。");
    if (state.startsWith("22")) return QStringLiteral("数据类型不对，没有保存。");
    if (state == "42P01" && !name.isEmpty()) return QStringLiteral("语句有错误：没有“%1”这个表。").arg(name);
    if (state == "42703" && !name.isEmpty()) return QStringLiteral("语句有错误：没有“%1”这一列。").arg(name);
    if (state == "42883") return QStringLiteral("语句有错误：没有这个函数（或参数的类型不对）。");
    if (state == "42702" && !name.isEmpty())
        return QStringLiteral("语句有错误：“%1”这一列不明确，请在列名前加上表名。").arg(name);
    if (state == "42601") {
        if (!name.isEmpty()) return QStringLiteral("语句有错误：“%1”附近的写法不对。").arg(name);
        return QStringLiteral("语句有错误：语句不完整。");
    }
    if (state.startsWith("08")) return QStringLiteral("工资库服务器连不上了，修改没有保存。");
    if (chinese.match(text).hasMatch()) return text;
    return QStringLiteral("数据库不能执行这条语句。");
}

// ---- the server

struct PostgresDatabase::Server {
    PGconn* conn = nullptr;
    PGcancel* cancel = nullptr;
    std::mutex cancelling;
    QString name;
    int nextStatement = 0;
    // The settings of the session, sent again when a lost connection is made anew.
    QByteArray setUp;
    QByteArray lockTimeout;
    bool bulkWork = false;
    // Counts the sessions: a statement prepared in an earlier one is prepared again before it runs.
    int session = 0;
    // A transaction was open when the last answer came: if the connection is lost now, the server has
    // rolled it back, and nothing more of it may run in a new session.
    bool transactionOpen = false;
    QByteArrayList unused;  // prepared statements no longer needed, dropped before the next prepare
    // The stored column of a result column (its table's number and the column's), read from the
    // catalogue once.
    struct Origin {
        QString table;
        QString column;
        QString typeName;
    };
    QHash<quint64, Origin> origins;
    // The check rules of the account set's tables by name, to tell which field a refused row broke.
    QHash<QString, QString> checks;

    // A statement whose rows the server is still sending, one result a row; the connection serves
    // nothing else until they are all in.
    class Stream {
      public:
        // Takes in the rows not yet read, so that the connection is free for another statement.
        virtual void keepRest() = 0;

      protected:
        ~Stream() = default;
    };
    Stream* streaming = nullptr;
    // New rows are being written by COPY: the connection takes nothing else until they are all in.
    bool copying = false;

    ~Server() {
        if (cancel) PQfreeCancel(cancel);
        if (conn) PQfinish(conn);
    }

    // Before anything else is sent: the rows of a statement still coming are taken in whole.
    void settle() {
        if (copying) throw DbError(QStringLiteral("正在写入新的行，不能同时执行别的语句。"));
        if (!streaming) return;
        Stream* s = streaming;
        streaming = nullptr;
        s->keepRest();
    }

    // The next result of what was sent, waited for as long as it takes, the statement cancelled once
    // when `flag` is set meanwhile; nullptr after the last. Input is read only while no result is
    // complete, so that what libpq holds stays one result and what the socket brings.
    Result nextResult(const std::atomic<bool>* flag, bool& cancelled) {
        while (PQisBusy(conn)) {
            if (flag && flag->load() && !cancelled) {
                cancelNow();
                cancelled = true;
            }
            const int socket = PQsocket(conn);
            if (socket < 0) break;
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket, &readable);
            timeval step{0, 50 * 1000};
            select(socket + 1, &readable, nullptr, nullptr, &step);
            if (!PQconsumeInput(conn)) break;
        }
        Result r(PQgetResult(conn), PQclear);
        if (!r && PQstatus(conn) == CONNECTION_OK)
            transactionOpen = PQtransactionStatus(conn) != PQTRANS_IDLE;
        return r;
    }

    // Waits for the answer to what was sent, cancelling it when `flag` is set meanwhile. The first error
    // of the answer, else its last result.
    Result wait(const std::atomic<bool>* flag) {
        bool cancelled = false;
        while (true) {
            if (!PQconsumeInput(conn)) break;
            if (!PQisBusy(conn)) break;
            if (flag && flag->load() && !cancelled) {
                cancelNow();
                cancelled = true;
            }
            fd_set readable;
            FD_ZERO(&readable);
            const int socket = PQsocket(conn);
            if (socket < 0) break;
            FD_SET(socket, &readable);
            timeval step{0, 50 * 1000};
            select(socket + 1, &readable, nullptr, nullptr, &step);
        }
        Result kept = noResult();
        while (PGresult* r = PQgetResult(conn)) {
            const bool failed = PQresultStatus(r) == PGRES_FATAL_ERROR;
            if (!kept || (failed && PQresultStatus(kept.get()) != PGRES_FATAL_ERROR))
                kept.reset(r);
            else
                PQclear(r);
        }
        if (PQstatus(conn) == CONNECTION_OK) transactionOpen = PQtransactionStatus(conn) != PQTRANS_IDLE;
        return kept;
    }

    // False when the session has ended; what the server sent meanwhile (its notice that it ends the
    // session, the end of the connection) is read first.
    bool connected() {
        for (int i = 0; i < 100 && PQstatus(conn) == CONNECTION_OK; ++i) {
            const int socket = PQsocket(conn);
            if (socket < 0) return false;
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket, &readable);
            timeval now{0, 0};
            if (select(socket + 1, &readable, nullptr, nullptr, &now) <= 0) break;
            // Reading the end of the connection marks it lost; a message read is taken in (an error
            // while idle is the server's notice that it ends the session).
            if (!PQconsumeInput(conn)) break;
            PQisBusy(conn);
        }
        return PQstatus(conn) == CONNECTION_OK;
    }

    [[noreturn]] void lost(bool reads) const {
        throw DbError(QStringLiteral("与工资库服务器“%1”的连接已断开，%2下次操作时会自动重新连接。")
                          .arg(name, transactionOpen ? QStringLiteral("这次的修改都没有保存。")
                                     : reads         ? QStringLiteral("查询没有完成。")
                                                     : QStringLiteral("修改没有保存。")));
    }

    // Before anything is sent: a session the server ended while it waited (a restart of the server, an
    // administrator) is made anew with its settings. The statements prepared in it are prepared again
    // when they next run. A transaction that was open is never carried over: it was rolled back with the
    // session, and until it is rolled back here too every statement is refused.
    void ensureSession(bool reads) {
        settle();
        if (connected()) return;
        if (transactionOpen) lost(reads);
        PQreset(conn);
        if (PQstatus(conn) != CONNECTION_OK)
            throw DbError(QStringLiteral("连不上工资库服务器“%1”：%2")
                              .arg(name, connectFailure(QString::fromUtf8(PQerrorMessage(conn)))));
        {
            const std::lock_guard<std::mutex> lock(cancelling);
            if (cancel) PQfreeCancel(cancel);
            cancel = PQgetCancel(conn);
        }
        ++session;
        unused.clear();
        exec(setUp + lockTimeout + (bulkWork ? QByteArray("set work_mem = '256MB';") : QByteArray()));
    }

    void cancelNow() {
        const std::lock_guard<std::mutex> lock(cancelling);
        if (!cancel) return;
        char error[256];
        PQcancel(cancel, error, sizeof error);
    }

    [[noreturn]] void fail(const PGresult* r, bool reads) const {
        if (!r || PQstatus(conn) != CONNECTION_OK) lost(reads);
        const QByteArray state(PQresultErrorField(r, PG_DIAG_SQLSTATE));
        // The server ends the session (shut down, restarted, or ended by its administrator).
        if (state.startsWith("57P") || state.startsWith("08")) lost(reads);
        const QString text = QString::fromUtf8(PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY));
        const QString message = chineseServerMessage(state, text, reads);
        if (state.startsWith("23") || state == "P0001" || state == "22001")
            throw ConstraintError(message, 0, refusal(r, state, text));
        throw DbError(message);
    }

    // The refused rule in the words of the file engine, which the data sets read to name the field.
    QString refusal(const PGresult* r, const QByteArray& state, const QString& text) const {
        static const QRegularExpression keyColumns(QStringLiteral("^Key \\(([^)]*)\\)="));
        const QString table = QString::fromUtf8(PQresultErrorField(r, PG_DIAG_TABLE_NAME));
        const QString column = QString::fromUtf8(PQresultErrorField(r, PG_DIAG_COLUMN_NAME));
        const QString rule = QString::fromUtf8(PQresultErrorField(r, PG_DIAG_CONSTRAINT_NAME));
        if (state == "23505") {
            const auto m = keyColumns.match(QString::fromUtf8(PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL)));
            QStringList named;
            for (const QString& c : m.captured(1).split(QLatin1Char(',')))
                named << table + QLatin1Char('.') + c.trimmed();
            return QStringLiteral("UNIQUE constraint failed: ") + named.join(QStringLiteral(", "));
        }
        if (state == "23502") return QStringLiteral("NOT NULL constraint failed: %1.%2").arg(table, column);
        if (state == "23514") return QStringLiteral("CHECK constraint failed: ") + checks.value(rule, rule);
        // A value longer than its column allows; the server does not say which column.
        static const QRegularExpression varying(QStringLiteral("character varying\\((\\d+)\\)"));
        const auto limit = varying.match(text);
        if (state == "22001" && limit.hasMatch())
            return QStringLiteral("CHECK constraint failed: length(value) <= ") + limit.captured(1);
        return text;
    }

    void exec(const QByteArray& sql, const std::atomic<bool>* flag = nullptr) {
        settle();
        if (!PQsendQuery(conn, sql.constData())) fail(nullptr, false);
        const Result r = wait(flag);
        const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(r.get(), false);
    }

    void dropUnused() {
        if (unused.isEmpty() || PQtransactionStatus(conn) == PQTRANS_INERROR) return;
        QByteArray sql;
        for (const QByteArray& n : unused) sql += "deallocate " + n + ";";
        unused.clear();
        try {
            exec(sql);
        } catch (const DbError&) {
            // A statement left on the server costs it a little memory until the connection ends.
        }
    }

    Origin originOf(Oid table, int column) {
        const quint64 key = (quint64(table) << 16) | quint64(column & 0xffff);
        const auto found = origins.constFind(key);
        if (found != origins.constEnd()) return *found;
        Origin o;
        settle();
        if (PQtransactionStatus(conn) == PQTRANS_INERROR) return o;
        const QByteArray t = QByteArray::number(table), c = QByteArray::number(column);
        const char* values[] = {t.constData(), c.constData()};
        Result r(
            PQexecParams(conn,
                         "select c.relname, a.attname, format_type(a.atttypid, a.atttypmod) "
                         "from pg_catalog.pg_attribute a join pg_catalog.pg_class c on c.oid = a.attrelid "
                         "where a.attrelid = $1::oid and a.attnum = $2::int2",
                         2, nullptr, values, nullptr, nullptr, 0),
            PQclear);
        if (PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQntuples(r.get()) == 1) {
            const QString tableName = QString::fromUtf8(PQgetvalue(r.get(), 0, 0));
            const QString columnName = QString::fromUtf8(PQgetvalue(r.get(), 0, 1));
            o.table = writtenNames().value(tableName, tableName);
            o.column = writtenNames().value(tableName + QLatin1Char('.') + columnName, columnName);
            o.typeName = QString::fromUtf8(PQgetvalue(r.get(), 0, 2));
        }
        origins.insert(key, o);
        return o;
    }
};

// ---- statements

// A statement's rows come whole in one result, which is quickest for everything the program reads
// itself. On a connection that limits its values (one that runs statements whose result may be of any
// size) a reading statement's rows come one result a row instead, as the server sends them: a reader
// that stops early stops the statement, and the memory stays that of a row, however many rows follow.
class PostgresStatement : public DatabaseStatement, private PostgresDatabase::Server::Stream {
  public:
    PostgresStatement(PostgresDatabase& db, QByteArray name, QByteArrayView sql, QByteArray text,
                      int parameters)
        : m_db(db),
          m_name(std::move(name)),
          m_text(std::move(text)),
          m_server(db.m_server),
          m_session(db.m_server->session),
          m_readOnly(isReading(sql)),
          m_values(std::size_t(parameters)),
          m_null(std::size_t(parameters), true),
          m_formats(std::size_t(parameters), 0) {}
    ~PostgresStatement() override {
        const std::shared_ptr<PostgresDatabase::Server> server = m_server.lock();
        if (!server || !server->conn) return;
        abandon();
        if (m_session == server->session) server->unused << m_name;
    }

    bool isReadOnly() const override { return m_readOnly; }
    int parameterCount() const override { return int(m_values.size()); }
    void bindInteger(int p, qint64 value) override { set(p, QByteArray::number(value), 0); }
    void bindReal(int p, double value) override {
        set(p, QByteArray::number(value, 'g', QLocale::FloatingPointShortest), 0);
    }
    void bindText(int p, QByteArrayView utf8) override { set(p, utf8.toByteArray(), 0); }
    void bindBlob(int p, QByteArrayView bytes) override { set(p, bytes.toByteArray(), 1); }
    void bindNull(int p) override {
        check(p);
        m_null[std::size_t(p - 1)] = true;
    }
    // As decimal text, which the server reads exactly into its numeric columns.
    void bindMoney(int p, Money value) override { set(p, value.toPlainString().toLatin1(), 0); }

    bool step() override {
        if (!m_ran) run();
        if (m_streaming) return stepStreaming();
        if (!m_result || PQresultStatus(m_result.get()) != PGRES_TUPLES_OK) return false;
        if (m_row + 1 >= PQntuples(m_result.get())) {
            m_row = PQntuples(m_result.get());
            return false;
        }
        ++m_row;
        return true;
    }
    void reset() override {
        abandon();
        m_result.reset();
        m_ran = false;
        m_row = -1;
    }
    int rowsChanged() const override { return m_changed; }

    int columnCount() const override { return PQnfields(described()); }
    QString columnName(int column) const override {
        // The server folds unquoted names to lower case: a stored column read under its own name keeps
        // the case the schema writes it in, as the file gives it (a free query's heading "StaffCode").
        const QString name = QString::fromUtf8(PQfname(described(), column));
        if (name != name.toLower()) return name;  // quoted as it was given
        const QString stored = origin(column).column;
        return stored.compare(name, Qt::CaseInsensitive) == 0 ? stored : name;
    }
    ColumnType columnType(int column) const override {
        return postgresDialect().columnType(origin(column).typeName);
    }
    QString originTable(int column) const override { return origin(column).table; }
    QString originColumn(int column) const override { return origin(column).column; }

    Kind kind(int column) const override {
        const PGresult* r = m_result.get();
        if (PQgetisnull(r, m_row, column)) return Kind::Null;
        const Oid type = typeOf(column);
        if (isWholeType(type)) return Kind::Integer;
        switch (type) {
            case float4Type:
            case float8Type:
                return Kind::Real;
            case numericType: {
                // Whole yuan read as whole numbers, as the file stores them.
                const char* v = PQgetvalue(r, m_row, column);
                const char* point = std::strchr(v, '.');
                if (!point) return Kind::Integer;
                for (const char* p = point + 1; *p; ++p)
                    if (*p != '0') return Kind::Real;
                return Kind::Integer;
            }
            case byteaType:
                return Kind::Blob;
            default:
                return Kind::Text;
        }
    }
    qint64 integer(int column) const override {
        const Oid type = typeOf(column);
        if (m_binary && isWholeType(type))
            return binaryWhole(type, PQgetvalue(m_result.get(), m_row, column));
        const char* v = text(column).data();
        if (type == boolType) return *v == 't' ? 1 : 0;
        return wholeNumber(v);
    }
    Kind integerOrKind(int column, qint64& value) const override {
        const PGresult* r = m_result.get();
        if (PQgetisnull(r, m_row, column)) return Kind::Null;
        switch (const Oid type = typeOf(column)) {
            case int2Type:
            case int4Type:
            case int8Type: {
                const char* v = PQgetvalue(r, m_row, column);
                value = m_binary ? binaryWhole(type, v) : wholeNumber(v);
                return Kind::Integer;
            }
            default:
                return DatabaseStatement::integerOrKind(column, value);
        }
    }
    double real(int column) const override {
        // A truth value is a whole number here as it is for integer(), which its text "t" is not.
        const Oid type = typeOf(column);
        if (type == boolType || (m_binary && isWholeType(type))) return double(integer(column));
        return std::strtod(text(column).data(), nullptr);
    }
    Money money(int column) const override {
        const PGresult* r = m_result.get();
        if (!PQgetisnull(r, m_row, column) && typeOf(column) == numericType) {
            const QByteArrayView text(PQgetvalue(r, m_row, column), PQgetlength(r, m_row, column));
            if (const auto exact = Money::fromDecimalText(text)) return *exact;
        }
        return DatabaseStatement::money(column);
    }
    QByteArrayView utf8(int column) const override {
        const QByteArrayView t = text(column);
        limit(int(t.size()));
        return t;
    }
    QByteArrayView blob(int column) const override {
        if (typeOf(column) != byteaType) return utf8(column);
        if (m_binary) {
            const int length = PQgetlength(m_result.get(), m_row, column);
            limit(length);
            return QByteArrayView(PQgetvalue(m_result.get(), m_row, column), length);
        }
        size_t length = 0;
        unsigned char* bytes = PQunescapeBytea(
            reinterpret_cast<const unsigned char*>(PQgetvalue(m_result.get(), m_row, column)), &length);
        m_blob = QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length));
        PQfreemem(bytes);
        limit(int(m_blob.size()));
        return m_blob;
    }

  private:
    // The column's type, as every row of the result has it.
    Oid typeOf(int column) const {
        if (m_types.empty())
            for (int c = 0; c < PQnfields(m_result.get()); ++c) m_types.push_back(PQftype(m_result.get(), c));
        return m_types[std::size_t(column)];
    }
    // The value as the server writes it as text, NUL-terminated; a value read in binary form is written
    // so here. A column of dates keeps the text of its last day, as a list's dates come in runs.
    QByteArrayView text(int column) const {
        const PGresult* r = m_result.get();
        const char* v = PQgetvalue(r, m_row, column);
        const int length = PQgetlength(r, m_row, column);
        const Oid type = typeOf(column);
        if (!m_binary || isTextType(type)) return QByteArrayView(v, length);
        if (PQgetisnull(r, m_row, column)) return QByteArrayView(v, 0);
        WrittenOut& out = m_writtenOut[std::size_t(column)];
        if (type == dateType) {
            const auto days = qint32(binaryWhole(int4Type, v));
            if (out.text.isEmpty() || out.day != days) {
                out.text = isoDateText(days);
                out.day = days;
            }
        } else if (type == byteaType) {
            out.text = "\\x" + QByteArray(v, length).toHex();
        } else if (type == boolType) {
            out.text = v[0] ? "t" : "f";
        } else {
            out.text = QByteArray::number(binaryWhole(type, v));
        }
        return out.text;
    }
    void check(int p) const {
        if (p < 1 || p > int(m_values.size())) throw DbError(QStringLiteral("语句的参数个数不对。"));
    }
    void set(int p, QByteArray value, int format) {
        check(p);
        m_values[std::size_t(p - 1)] = std::move(value);
        m_null[std::size_t(p - 1)] = false;
        m_formats[std::size_t(p - 1)] = format;
    }
    void limit(int length) const {
        if (m_db.m_valueLimit > 0 && length > m_db.m_valueLimit) throw DbError(queryTooLargeMessage());
    }
    // Prepared in the session the connection has now.
    void prepared() const {
        if (m_server.expired()) throw DbError(QStringLiteral("数据库连接没有打开。"));
        PostgresDatabase::Server& server = *m_db.m_server;
        server.ensureSession(m_readOnly);
        if (m_session == server.session) return;
        if (!PQsendPrepare(server.conn, m_name.constData(), m_text.constData(), 0, nullptr))
            server.fail(nullptr, m_readOnly);
        const Result r = server.wait(nullptr);
        if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) server.fail(r.get(), m_readOnly);
        m_session = server.session;
    }
    void run() {
        prepared();
        PostgresDatabase::Server& server = *m_db.m_server;
        std::vector<const char*> values(m_values.size());
        std::vector<int> lengths(m_values.size());
        for (std::size_t i = 0; i < m_values.size(); ++i) {
            values[i] = m_null[i] ? nullptr : m_values[i].constData();
            lengths[i] = int(m_values[i].size());
        }
        // Rows to be streamed (a free query's) stay text. Otherwise a statement whose columns were asked
        // for before it ran, as a list's are, has its rows sent in binary form when that reads exactly.
        const bool streams = m_readOnly && m_db.m_valueLimit > 0;
        m_binary = !streams && m_description && readsExactlyInBinary(m_description.get());
        m_types.clear();
        if (m_binary) m_writtenOut.assign(std::size_t(PQnfields(m_description.get())), {});
        if (!PQsendQueryPrepared(server.conn, m_name.constData(), int(values.size()), values.data(),
                                 lengths.data(), m_formats.data(), m_binary ? 1 : 0))
            server.fail(nullptr, m_readOnly);
        m_ran = true;
        m_row = -1;
        m_changed = 0;
        if (m_readOnly && m_db.m_valueLimit > 0 && PQsetSingleRowMode(server.conn)) {
            m_result.reset();
            m_streaming = m_pending = true;
            m_cancelSent = false;
            server.streaming = this;
            return;
        }
        m_result = server.wait(m_db.m_interruptFlag);
        const ExecStatusType status = m_result ? PQresultStatus(m_result.get()) : PGRES_FATAL_ERROR;
        if (status == PGRES_COMMAND_OK) {
            m_changed = std::atoi(PQcmdTuples(m_result.get()));
        } else if (status != PGRES_TUPLES_OK) {
            Result failed = std::move(m_result);
            m_result = noResult();
            m_ran = false;
            server.fail(failed.get(), m_readOnly);
        }
    }
    // The next result of a streaming run from the server; nullptr once it has sent them all.
    Result pull() {
        if (!m_pending) return noResult();
        PostgresDatabase::Server& server = *m_db.m_server;
        Result r = server.nextResult(m_db.m_interruptFlag, m_cancelSent);
        if (!r) {
            m_pending = false;
            if (server.streaming == this) server.streaming = nullptr;
        }
        return r;
    }
    void keepRest() override {
        while (m_pending)
            if (Result r = pull()) m_rest.push_back(std::move(r));
    }
    bool stepStreaming() {
        Result r = noResult();
        if (!m_rest.empty()) {
            r = std::move(m_rest.front());
            m_rest.pop_front();
        } else {
            r = pull();
        }
        const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        if (status == PGRES_SINGLE_TUPLE) {
            m_result = std::move(r);
            m_row = 0;
            return true;
        }
        // The rows are over, or a failure ended them: what is left of the answer is read away.
        m_rest.clear();
        while (m_pending) pull();
        m_streaming = false;
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            m_result = std::move(r);
            m_row = PQntuples(m_result.get());
            return false;
        }
        m_result = noResult();
        m_ran = false;
        m_row = -1;
        m_db.m_server->fail(r.get(), m_readOnly);
    }
    // A streaming run left before its last row: the rows already here are read away, and a statement
    // still sending more is cancelled. Inside a transaction a cancelled statement fails the transaction,
    // which its commit then reports.
    void abandon() {
        m_rest.clear();
        m_streaming = false;
        if (m_server.expired()) m_pending = false;
        if (!m_pending) return;
        while (m_pending && !PQisBusy(m_db.m_server->conn)) pull();
        if (m_pending && !m_cancelSent) {
            m_db.m_server->cancelNow();
            m_cancelSent = true;
        }
        while (m_pending) pull();
    }

    // The columns of the result, or of the statement before it ran.
    const PGresult* described() const {
        if (m_result) return m_result.get();
        if (!m_description) {
            prepared();
            m_description.reset(PQdescribePrepared(m_db.m_server->conn, m_name.constData()));
            if (PQresultStatus(m_description.get()) != PGRES_COMMAND_OK) {
                Result failed = std::move(m_description);
                m_description = noResult();
                m_db.m_server->fail(failed.get(), true);
            }
        }
        return m_description.get();
    }
    PostgresDatabase::Server::Origin origin(int column) const {
        const PGresult* r = described();
        const Oid table = PQftable(r, column);
        if (table == InvalidOid) return {};
        return m_db.m_server->originOf(table, PQftablecol(r, column));
    }

    PostgresDatabase& m_db;  // only while m_server is still there
    QByteArray m_name;
    QByteArray m_text;
    std::weak_ptr<PostgresDatabase::Server> m_server;
    mutable int m_session;
    bool m_readOnly;
    std::vector<QByteArray> m_values;
    std::vector<bool> m_null;
    std::vector<int> m_formats;
    Result m_result = noResult();
    mutable Result m_description = noResult();
    mutable QByteArray m_blob;
    // Rows in the server's binary form, and the text of such a value when it is asked for as text.
    bool m_binary = false;
    struct WrittenOut {
        QByteArray text;
        qint32 day = 0;
    };
    mutable std::vector<WrittenOut> m_writtenOut;
    mutable std::vector<Oid> m_types;
    bool m_ran = false;
    int m_row = -1;
    int m_changed = 0;
    // A run whose rows come one result a row: m_pending while the server still sends them, m_rest what
    // was taken in early because another statement needed the connection.
    bool m_streaming = false;
    bool m_pending = false;
    bool m_cancelSent = false;
    std::deque<Result> m_rest;
};

// ---- rows in large numbers

// New rows through the server's COPY: one stream of text that the server takes in while the next rows
// are being made, with no statement to bind and plan for each row.
class PostgresRowWriter : public DatabaseRowWriter {
  public:
    PostgresRowWriter(PostgresDatabase& db, const QString& table, const QStringList& columns)
        : m_db(db), m_columns(int(columns.size())) {
        PostgresDatabase::Server& s = *db.m_server;
        s.ensureSession(false);
        s.dropUnused();
        const QByteArray sql =
            "copy " + table.toUtf8() + " (" + columns.join(QLatin1Char(',')).toUtf8() + ") from stdin";
        if (!PQsendQuery(s.conn, sql.constData())) s.fail(nullptr, false);
        bool cancelled = false;
        const Result r = s.nextResult(nullptr, cancelled);
        if (r && PQresultStatus(r.get()) == PGRES_COPY_IN) {
            s.copying = true;
            m_buffer.reserve(bufferBytes + 4096);
            return;
        }
        const Result rest = s.wait(nullptr);  // the end of the refusal
        s.fail(r ? r.get() : rest.get(), false);
    }
    ~PostgresRowWriter() override {
        PostgresDatabase::Server& s = *m_db.m_server;
        if (!s.copying) return;
        // Rows not finished are not stored: the server refuses the COPY, and with it the transaction.
        s.copying = false;
        if (PQstatus(s.conn) == CONNECTION_OK && PQputCopyEnd(s.conn, "the rows were not finished") == 1)
            s.wait(nullptr);
    }
    PostgresRowWriter(const PostgresRowWriter&) = delete;
    PostgresRowWriter& operator=(const PostgresRowWriter&) = delete;

    void addInteger(qint64 value) override {
        m_buffer += QByteArray::number(value);
        added();
    }
    void addReal(double value) override {
        m_buffer += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
        added();
    }
    void addText(QByteArrayView utf8) override {
        for (const char ch : utf8) {
            switch (ch) {
                case '\\':
                    m_buffer += "\\\\";
                    break;
                case '\t':
                    m_buffer += "\\t";
                    break;
                case '\n':
                    m_buffer += "\\n";
                    break;
                case '\r':
                    m_buffer += "\\r";
                    break;
                case '\0':
                    // The server's texts cannot hold it; a bound text would end there instead.
                    throw DbError(chineseServerMessage("22021", QString()));
                default:
                    m_buffer += ch;
            }
        }
        added();
    }
    void addBlob(QByteArrayView bytes) override {
        m_buffer += "\\\\x";  // the server's hex form of bytes, its backslash escaped for COPY
        m_buffer += QByteArray::fromRawData(bytes.data(), bytes.size()).toHex();
        added();
    }
    void addNull() override {
        m_buffer += "\\N";
        added();
    }
    void addMoney(Money value) override {
        m_buffer += value.toPlainString().toLatin1();
        added();
    }
    void finish() override {
        PostgresDatabase::Server& s = *m_db.m_server;
        if (m_column != 0) throw DbError(QStringLiteral("语句的参数个数不对。"));
        if (!s.copying) throw DbError(QStringLiteral("数据库连接没有打开。"));
        send();
        s.copying = false;
        if (PQputCopyEnd(s.conn, nullptr) != 1) s.fail(nullptr, false);
        const Result r = s.wait(m_db.m_interruptFlag);
        if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) s.fail(r.get(), false);
    }

  private:
    static constexpr qsizetype bufferBytes = 64 * 1024;

    void added() {
        if (++m_column < m_columns) {
            m_buffer += '\t';
            return;
        }
        m_buffer += '\n';
        m_column = 0;
        if (m_buffer.size() >= bufferBytes) send();
    }
    void send() {
        PostgresDatabase::Server& s = *m_db.m_server;
        if (m_buffer.isEmpty()) return;
        if (PQputCopyData(s.conn, m_buffer.constData(), int(m_buffer.size())) != 1) {
            s.copying = false;
            s.fail(nullptr, false);
        }
        m_buffer.resize(0);  // keeps its memory for the next rows
    }

    PostgresDatabase& m_db;
    const int m_columns;
    int m_column = 0;
    QByteArray m_buffer;
};

// ---- the database

PostgresDatabase::PostgresDatabase() : m_server(std::make_shared<Server>()) {}

PostgresDatabase::~PostgresDatabase() = default;

std::unique_ptr<PostgresDatabase> PostgresDatabase::open(const QString& connection, const QString& schema,
                                                         bool readOnly) {
    std::unique_ptr<PostgresDatabase> db(new PostgresDatabase);
    Server& s = *db->m_server;
    const QByteArray info = connection.toUtf8() + " client_encoding=UTF8 connect_timeout=5";
    s.conn = PQconnectdb(info.constData());
    s.name = serverName(s.conn, connection);
    if (PQstatus(s.conn) != CONNECTION_OK)
        throw DbError(QStringLiteral("连不上工资库服务器“%1”：%2")
                          .arg(s.name, connectFailure(QString::fromUtf8(PQerrorMessage(s.conn)))));
    // The server's notices (a drop that cascades, say) are for its administrator, not for the user.
    PQsetNoticeProcessor(
        s.conn, [](void*, const char*) {}, nullptr);
    s.cancel = PQgetCancel(s.conn);
    db->m_readOnly = readOnly;
    QByteArray setUp = "set datestyle = 'ISO, YMD'; set extra_float_digits = 1;";
    if (!schema.isEmpty()) {
        const QByteArray name = schema.toUtf8();
        const char* values[] = {name.constData()};
        Result r(
            PQexecParams(s.conn, "select count(*) from pg_catalog.pg_namespace where nspname = lower($1)", 1,
                         nullptr, values, nullptr, nullptr, 0),
            PQclear);
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) s.fail(r.get(), true);
        if (std::atoi(PQgetvalue(r.get(), 0, 0)) != 1)
            throw DbError(QStringLiteral("工资库服务器“%1”上没有工资库“%2”。").arg(s.name, schema));
        setUp += "set search_path to " + postgresDialect().quoted(schema).toUtf8() + ";";
    }
    if (readOnly) setUp += "set session characteristics as transaction read only;";
    s.exec(setUp);
    s.setUp = setUp;
    Result rules(PQexec(s.conn,
                        "select conname, pg_get_constraintdef(oid) from pg_catalog.pg_constraint "
                        "where contype = 'c' and connamespace = "
                        "(select oid from pg_catalog.pg_namespace where nspname = current_schema())"),
                 PQclear);
    if (PQresultStatus(rules.get()) == PGRES_TUPLES_OK)
        for (int i = 0; i < PQntuples(rules.get()); ++i)
            s.checks.insert(QString::fromUtf8(PQgetvalue(rules.get(), i, 0)),
                            QString::fromUtf8(PQgetvalue(rules.get(), i, 1)));
    return db;
}

std::unique_ptr<DatabaseStatement> PostgresDatabase::prepare(QByteArrayView sql, qsizetype* used) {
    // One statement: up to the first semicolon outside texts, names and comments.
    qsizetype end = sql.size();
    {
        char quote = 0;
        for (qsizetype i = 0; i < sql.size(); ++i) {
            const char ch = sql[i];
            if (quote) {
                if (ch == quote) quote = 0;
            } else if (ch == '\'' || ch == '"') {
                quote = ch;
            } else if (ch == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
                while (i < sql.size() && sql[i] != '\n') ++i;
            } else if (ch == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
                const qsizetype close = sql.indexOf("*/", i + 2);
                i = close < 0 ? sql.size() : close + 1;
            } else if (ch == ';') {
                end = i;
                break;
            }
        }
    }
    const QByteArrayView statement = sql.first(end);
    if (used) {
        qsizetype after = end;
        while (after < sql.size() && (sql[after] == ';' || QChar::isSpace(uchar(sql[after])))) ++after;
        *used = after;
    }
    if (firstWord(statement).isEmpty()) return nullptr;
    Server& s = *m_server;
    s.ensureSession(true);
    s.dropUnused();
    int parameters = 0;
    const QByteArray text = numberedParameters(statement, &parameters);
    const QByteArray name = "hx" + QByteArray::number(++s.nextStatement);
    // Preparing takes the locks of the statement's tables: it may wait, and be cut off, as running it.
    const bool reads = isReading(statement);
    if (!PQsendPrepare(s.conn, name.constData(), text.constData(), 0, nullptr)) s.fail(nullptr, reads);
    const Result r = s.wait(nullptr);
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) s.fail(r.get(), reads);
    return std::make_unique<PostgresStatement>(*this, name, statement, text, parameters);
}

std::unique_ptr<DatabaseRowWriter> PostgresDatabase::writeRows(const QString& table,
                                                               const QStringList& columns) {
    return std::make_unique<PostgresRowWriter>(*this, table, columns);
}

void PostgresDatabase::execScript(const QString& sql) {
    m_server->ensureSession(false);
    m_server->exec(sql.toUtf8(), m_interruptFlag);
}

void PostgresDatabase::begin() {
    m_server->ensureSession(false);
    m_server->exec("begin");
}

void PostgresDatabase::commit() {
    m_server->settle();
    // A transaction that failed somewhere is never reported as stored: the server would only roll it back.
    if (PQstatus(m_server->conn) != CONNECTION_OK) m_server->lost(false);
    if (PQtransactionStatus(m_server->conn) == PQTRANS_INERROR) {
        m_server->exec("rollback");
        throw DbError(QStringLiteral("保存时出错，这次的修改都没有保存。"));
    }
    m_server->exec("commit");
}

void PostgresDatabase::rollback() {
    // A lost connection took its transaction with it: the server has rolled it back.
    if (m_server->connected()) {
        try {
            m_server->exec("rollback");
            return;
        } catch (const DbError&) {
            if (PQstatus(m_server->conn) == CONNECTION_OK) throw;
        }
    }
    m_server->transactionOpen = false;
}

bool PostgresDatabase::inTransaction() const {
    if (PQstatus(m_server->conn) != CONNECTION_OK) return m_server->transactionOpen;
    const PGTransactionStatusType t = PQtransactionStatus(m_server->conn);
    return t == PQTRANS_INTRANS || t == PQTRANS_INERROR || t == PQTRANS_ACTIVE;
}

bool PostgresDatabase::writable() {
    if (m_readOnly) return false;
    m_server->ensureSession(true);
    Result r(PQexec(m_server->conn, "select pg_is_in_recovery()"), PQclear);
    return PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQgetvalue(r.get(), 0, 0)[0] == 'f';
}

void PostgresDatabase::interrupt() {
    m_server->cancelNow();
}

void PostgresDatabase::setBusyTimeout(int milliseconds) {
    m_server->ensureSession(false);
    m_server->lockTimeout = "set lock_timeout = " + QByteArray::number(milliseconds) + ";";
    m_server->exec(m_server->lockTimeout);
}

void PostgresDatabase::limitStatementTime(int milliseconds) {
    m_server->exec("set statement_timeout = " + QByteArray::number(milliseconds));
}

void PostgresDatabase::setBulkWork(bool on) {
    m_server->ensureSession(false);
    m_server->exec(on ? "set work_mem = '256MB'" : "reset work_mem");
    m_server->bulkWork = on;
}

}  // namespace hx
