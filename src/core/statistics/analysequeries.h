#pragma once

#include <QDate>
#include <QString>
#include <QVariantList>
#include <QVector>
#include <atomic>
#include <mutex>
#include <vector>

#include "core/data/accountset.h"
#include "core/data/dataset.h"

namespace hx {

class Connection;

// A statement with the values of its "?" placeholders, in order.
struct Statement {
    QString sql;
    QVariantList params;
};

// The statements of the statistics window. The output check reads the piece-work records summed per
// day, worker and process (the saved query qryDataDay), which gives the same sums as the single records
// of qryData in a fraction of the time; money is summed in whole ten-thousandths of a yuan and divided
// once, so that no binary residue shows.

// Calendar days of a range, both ends included, whatever the order of the two dates.
int dayCount(const QDate& a, const QDate& b);

// "员工产值检查": per worker with records in the range (and in the class group, when one is given), the
// monthly normal wage prorated to the days of the range (levelS) and the piece wages earned (tmy),
// ordered by work number.
Statement outputCheckStatement(const QDate& from, const QDate& to, const QString& classGroup);

// The fields of the result table of "员工产值检查", in this order: staffCode, staffName, levelS, tmy,
// notFinish (money) and finishPercent (the percentage itself, shown "##0.0 %").
QVector<Field> outputCheckFields();
// Fills the result table (an in-memory data set with outputCheckFields) anew from the rows of the opened
// outputCheckStatement: per worker the normal wage, the piece wages, their difference and the share of
// the normal wage reached; a worker without a normal wage counts as having reached it in full.
void fillOutputCheck(const DataSet& source, DataSet& result);

// The free query may run only when the first six characters of its first line are "select", in any
// letter case.
bool freeQueryAllowed(const QString& text);
// The statement of a free query: every line followed by a carriage return and line feed.
QString freeQueryStatement(const QString& text);

// The messages of a refused free query.
QString freeQueryWarning();
QString multipleStatementsMessage();
QString notReadOnlyMessage();

// The one statement of `sql` that may run, up to the semicolon that ends it (without one, up to its last
// character that is no blank), the same text on every engine. Raises DbError
// unless `sql` is exactly one statement that reads and changes nothing, neither the data nor the
// connection (attach, detach, pragmas, transactions): a syntax error raises the database's own message,
// anything after the first statement or a statement that writes raises one of the messages above.
// Nothing is run.
QString singleReadOnlyStatement(Connection& cn, const QString& sql);

// What a free query gave: its columns and rows, or the reason it gave none.
struct FreeQueryResult {
    QVector<Field> fields;
    std::vector<QVector<QVariant>> rows;
    bool truncated = false;  // there were more rows than the limit; the first ones are here
    bool valuesCut = false;  // a text was longer than a cell shows; its start is here
    bool cancelled = false;
    QString error;  // in Chinese; empty when the query ran
};

// A free query run apart from the windows: run() opens a connection of its own, read-only, on the
// account set through its store, and in a transaction that only reads (which a server enforces for
// itself) checks the statement as singleReadOnlyStatement does and reads at most `rowLimit` rows. A
// query still running after `timeLimitSeconds` is stopped with freeQueryTimeoutMessage; a server ends it
// by itself a little later too, should this program be gone. run() is meant for a worker thread; cancel()
// may be called from any thread at any time and makes run() return within moments, however long the
// statement would take.
class FreeQuery {
  public:
    static constexpr int defaultRowLimit = 200000;
    static constexpr int defaultTimeLimitSeconds = 60;
    FreeQuery(AccountSet accountSet, const QString& text, int rowLimit = defaultRowLimit,
              int timeLimitSeconds = defaultTimeLimitSeconds);
    FreeQuery(const FreeQuery&) = delete;
    FreeQuery& operator=(const FreeQuery&) = delete;

    FreeQueryResult run();
    void cancel();
    int rowLimit() const { return m_rowLimit; }

  private:
    AccountSet m_accountSet;
    QString m_text;
    int m_rowLimit;
    int m_timeLimitSeconds;
    std::mutex m_mutex;  // guards m_running: cancel() must not reach a connection being closed
    Connection* m_running = nullptr;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_timedOut{false};
};

// The message of a query stopped at its time limit.
QString freeQueryTimeoutMessage(int seconds);

// The message of a result cut at the row limit.
QString freeQueryTruncatedMessage(int rowLimit);
// The characters of a text a free query's result holds at most, and the message of a result whose texts
// were cut there.
constexpr int freeQueryCellCharacters = 1000;
QString freeQueryCutMessage();

}  // namespace hx
