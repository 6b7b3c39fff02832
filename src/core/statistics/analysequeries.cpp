#include "core/statistics/analysequeries.h"

#include <QRegularExpression>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <thread>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/values.h"

namespace hx {

int dayCount(const QDate& a, const QDate& b) {
    return int(qAbs(a.daysTo(b))) + 1;
}

Statement outputCheckStatement(const QDate& from, const QDate& to, const QString& classGroup) {
    Statement st;
    st.params << dayCount(from, to);
    QString condition = QStringLiteral("1=1");
    if (!classGroup.isEmpty()) {
        condition = QStringLiteral("classGroup=?");
        st.params << classGroup;
    }
    st.params << from << to;
    // The days count 30 to the month; dividing by 30.0 keeps the proration in real numbers also when the
    // wage is stored as a whole number.
    st.sql = QStringLiteral(
                 "select staffCode, staffName, avg(?*levelSalary/30.0) as levelS,"
                 "sum(tmyUnits)/10000.0 as tmy from qryDataDay where ") +
             condition +
             QStringLiteral(" and dateD between ? and ? group by staffCode,staffName order by staffCode");
    return st;
}

QVector<Field> outputCheckFields() {
    const QString money = currencyFormat();
    QVector<Field> fields = {{QStringLiteral("staffCode"), FieldType::Text, 10},
                             {QStringLiteral("staffName"), FieldType::Text, 10},
                             {QStringLiteral("levelS"), FieldType::Money},
                             {QStringLiteral("tmy"), FieldType::Money},
                             {QStringLiteral("notFinish"), FieldType::Money},
                             {QStringLiteral("finishPercent"), FieldType::Double}};
    for (Field& f : fields) {
        f.readOnly = true;
        if (f.type == FieldType::Money) f.displayFormat = money;
    }
    fields.last().displayFormat = QStringLiteral("##0.0 %");
    return fields;
}

namespace {
// Views stay still while the table is filled row by row, and follow once at the end.
class ControlsDisabled {
  public:
    explicit ControlsDisabled(DataSet& ds) : m_ds(ds) { m_ds.disableControls(); }
    ~ControlsDisabled() { m_ds.enableControls(); }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

  private:
    DataSet& m_ds;
};
}  // namespace

void fillOutputCheck(const DataSet& source, DataSet& result) {
    result.close();
    result.open();
    {
        ControlsDisabled still(result);
        for (int row = 0; row < source.recordCount(); ++row) {
            result.append();
            for (int f = 0; f < 4; ++f) result.setValue(f, source.valueAt(row, f));
            const Money levelS = Money::fromVariant(source.valueAt(row, 2));
            const Money tmy = Money::fromVariant(source.valueAt(row, 3));
            result.setValue(4, QVariant::fromValue(levelS - tmy));
            const double percent =
                levelS == Money() ? 100.0 : 100.0 * double(tmy.units()) / double(levelS.units());
            result.setValue(5, percent);
            result.post();
        }
    }
    result.first();
}

namespace {

QString firstLine(const QString& text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    return text.section(lineBreak, 0, 0);
}

}  // namespace

bool freeQueryAllowed(const QString& text) {
    return firstLine(text).left(6).toUpper() == QLatin1String("SELECT");
}

QString freeQueryStatement(const QString& text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineBreak);
    // A closing line break ends the last line rather than starting an empty one.
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    QString sql;
    for (const QString& line : lines) sql += line + QStringLiteral("\r\n");
    return sql;
}

QString freeQueryWarning() {
    return QStringLiteral("为数据安全起见，只允许以select开头的选择查询！");
}

QString multipleStatementsMessage() {
    return QStringLiteral("自由查询一次只能执行一条查询语句，分号后面的语句不予执行。");
}

QString notReadOnlyMessage() {
    return QStringLiteral(
        "为数据安全起见，自由查询只能读取数据：修改数据、改变表结构以及 pragma、attach、detach "
        "等语句一律不予执行。");
}

namespace {

// The first word of a statement, after blanks and comments, in lower case.
QString firstWord(const char* text, const char* end) {
    const char* p = text;
    while (p < end) {
        if (isspace(static_cast<unsigned char>(*p))) {
            ++p;
        } else if (p + 1 < end && p[0] == '-' && p[1] == '-') {
            while (p < end && *p != '\n') ++p;
        } else if (p + 1 < end && p[0] == '/' && p[1] == '*') {
            const char* close = std::search(p + 2, end, "*/", "*/" + 2);
            p = close == end ? end : close + 2;
        } else {
            break;
        }
    }
    const char* word = p;
    while (p < end && (isalpha(static_cast<unsigned char>(*p)) || *p == '_')) ++p;
    return QString::fromLatin1(word, int(p - word)).toLower();
}

}  // namespace

QString singleReadOnlyStatement(Connection& cn, const QString& sql) {
    QString rest;
    const PreparedStatement first = PreparedStatement::first(cn, sql, &rest);
    if (first.isEmpty()) throw DbError(QStringLiteral("没有可执行的查询语句。"));
    // A query, and one that writes nothing: the engine's read-only flag alone would let attach, detach,
    // transactions and some pragmas through, which change the connection rather than the file.
    const QByteArray utf8 = sql.toUtf8();
    const QString word = firstWord(utf8.constData(), utf8.constData() + utf8.size());
    if (word != QLatin1String("select") && word != QLatin1String("with") && word != QLatin1String("values"))
        throw DbError(notReadOnlyMessage());
    if (!first.isReadOnly()) throw DbError(notReadOnlyMessage());

    // What follows the first statement may be blanks, comments and semicolons, nothing else. Engines
    // end the statement they took at different places (at its semicolon, or after the blanks and
    // semicolons that follow it): the statement is what stands before them, with the one semicolon that
    // ends it.
    QString statement = sql.left(sql.size() - rest.size());
    qsizetype end = statement.size();
    qsizetype semicolon = -1;
    while (end > 0 && (statement.at(end - 1).isSpace() || statement.at(end - 1) == QLatin1Char(';'))) {
        --end;
        if (statement.at(end) == QLatin1Char(';')) semicolon = end;
    }
    statement.truncate(semicolon >= 0 ? semicolon + 1 : end);
    while (!rest.isEmpty()) {
        QString after;
        try {
            if (!PreparedStatement::first(cn, rest, &after).isEmpty()) throw DbError(QString());
        } catch (const DbError&) {
            throw DbError(multipleStatementsMessage());
        }
        if (after.size() >= rest.size()) break;
        rest = after;
    }
    return statement;
}

FreeQuery::FreeQuery(AccountSet accountSet, const QString& text, int rowLimit, int timeLimitSeconds)
    : m_accountSet(std::move(accountSet)),
      m_text(text),
      m_rowLimit(rowLimit),
      m_timeLimitSeconds(timeLimitSeconds) {}

void FreeQuery::cancel() {
    m_cancelled = true;
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running) m_running->interrupt();
}

namespace {

// What a result may hold. The engine builds no value beyond maxValueBytes, so that a query asking for
// gigabytes (zeroblob, randomblob, printf with a width of millions) is refused in moments instead of
// taking the memory. A value is shown up to freeQueryCellCharacters: laying out a text of megabytes
// stops the window for as long as it takes, and no one reads it in a grid's cell. And no more texts in
// all than a window holds with ease.
constexpr int maxValueBytes = 16 << 20;
constexpr qint64 maxResultBytes = 256 << 20;

// The value as the grid shows it: a text cut at freeQueryCellCharacters, never inside a character
// written as two UTF-16 units.
QVariant shown(QVariant value, bool& cut) {
    if (value.typeId() != QMetaType::QString) return value;
    const QString text = value.toString();
    if (text.size() <= freeQueryCellCharacters) return value;
    cut = true;
    const int end = text.at(freeQueryCellCharacters - 1).isHighSurrogate() ? freeQueryCellCharacters - 1
                                                                           : freeQueryCellCharacters;
    return QVariant(text.left(end));
}

// A blob stays a blob in a column whose first value was a number.
qint64 bytesHeld(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QString:
            return value.toString().size() * qint64(sizeof(QChar));
        case QMetaType::QByteArray:
            return value.toByteArray().size();
        default:
            return 0;
    }
}

FieldType typeOfStored(const QVariant& stored) {
    switch (stored.typeId()) {
        case QMetaType::LongLong:
            return FieldType::Integer;
        case QMetaType::Double:
            return FieldType::Double;
        default:
            return FieldType::Text;
    }
}

}  // namespace

FreeQueryResult FreeQuery::run() {
    FreeQueryResult result;
    // Stops the query at its time limit as a cancel does, unless it ended before.
    std::mutex clockMutex;
    std::condition_variable clockStop;
    bool ended = false;
    std::thread clock([&] {
        std::unique_lock<std::mutex> lock(clockMutex);
        if (clockStop.wait_for(lock, std::chrono::seconds(m_timeLimitSeconds), [&ended] { return ended; }))
            return;
        m_timedOut = true;
        cancel();
    });
    Connection cn;
    try {
        m_accountSet.openReadOnly(cn);
        cn.interruptWhen(&m_cancelled);
        cn.limitValueLength(maxValueBytes);
        // The server's own limit, a little beyond ours: it ends the statement also when this desk is gone.
        cn.limitStatementTime((m_timeLimitSeconds + 5) * 1000);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_running = &cn;
        }
        // Statements the engine runs for itself (sorting, a temporary b-tree) count against a bounded
        // cache rather than growing without end.
        const BulkWork bulk(cn);
        // Whatever got past the checks below still cannot write: the transaction only reads, and a server
        // refuses a write in it by itself. It is rolled back at the end.
        const Transaction reading(cn);
        if (m_cancelled) throw DbError(QString());
        PreparedStatement q(cn, singleReadOnlyStatement(cn, freeQueryStatement(m_text)));
        const int columns = q.columnCount();
        QVector<bool> infer;
        for (int c = 0; c < columns; ++c) {
            const ColumnType ct = q.columnType(c);
            Field f(q.columnName(c), ct.type, ct.size);
            f.displayFormat = storedColumnFormat(q.originTable(c), q.originColumn(c));
            f.readOnly = true;
            result.fields.append(f);
            infer.append(ct.type == FieldType::Unknown);
        }
        qint64 bytes = 0;
        while (!m_cancelled && q.next()) {
            if (int(result.rows.size()) >= m_rowLimit) {
                result.truncated = true;
                break;
            }
            QVector<QVariant> row(columns);
            for (int c = 0; c < columns; ++c) {
                const QVariant stored = q.value(c);
                if (infer[c] && !stored.isNull()) {
                    result.fields[c].type = typeOfStored(stored);
                    infer[c] = false;
                }
                row[c] = shown(fromDbValue(stored, result.fields[c].type), result.valuesCut);
                bytes += bytesHeld(row[c]);
                if (bytes > maxResultBytes) throw DbError(queryTooLargeMessage());
            }
            result.rows.push_back(std::move(row));
        }
    } catch (const DbError& e) {
        result.error = e.message();
    } catch (const std::bad_alloc&) {
        result.error = QStringLiteral("内存不足，查询没有完成。请缩小查询范围。");
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_running = nullptr;
    }
    {
        const std::lock_guard<std::mutex> lock(clockMutex);
        ended = true;
    }
    clockStop.notify_one();
    clock.join();
    if (m_timedOut) {
        result = FreeQueryResult();
        result.error = freeQueryTimeoutMessage(m_timeLimitSeconds);
    } else if (m_cancelled) {
        result = FreeQueryResult();
        result.cancelled = true;
    } else if (!result.error.isEmpty()) {
        result.rows.clear();
        result.fields.clear();
    }
    return result;
}

QString freeQueryTimeoutMessage(int seconds) {
    return QStringLiteral("查询超过 %1 秒还没有完成，已经停止。请在语句中加上条件（where）缩小查询范围。")
        .arg(seconds);
}

QString freeQueryCutMessage() {
    return QStringLiteral("有的内容超过 %1 个字符，表中只显示了前 %1 个字符。").arg(freeQueryCellCharacters);
}

QString freeQueryTruncatedMessage(int rowLimit) {
    return QStringLiteral(
               "查询结果超过 %1 行，只显示了前 %1 行。\n"
               "请在语句中加上条件（where，例如限定日期范围）或分组（group by）来缩小结果，"
               "或在末尾加上 limit 指定要看的行数。")
        .arg(rowLimit);
}

}  // namespace hx
