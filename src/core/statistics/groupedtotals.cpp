#include "core/statistics/groupedtotals.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <climits>
#include <numeric>
#include <optional>
#include <vector>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/money.h"
#include "core/data/typedrows.h"
#include "core/data/values.h"

namespace hx {

QVector<Field> groupedTotalsFields(const Grouping& grouping) {
    QVector<Field> fields;
    auto add = [&fields](bool on, const char* name, FieldType type) {
        if (on) fields.append(Field(QString::fromUtf8(name), type));
    };
    add(grouping.date, "日期", FieldType::Date);
    add(grouping.classGroup, "班组", FieldType::Text);
    add(grouping.staff, "工号", FieldType::Text);
    add(grouping.staff, "姓名", FieldType::Text);
    add(grouping.style, "款式", FieldType::Text);
    add(grouping.job, "工序", FieldType::Text);
    add(grouping.salaryDay, "发薪日", FieldType::Integer);
    add(true, "数量", FieldType::Integer);
    add(true, "金额", FieldType::Money);
    fields.last().displayFormat = currencyFormat();
    for (Field& f : fields) f.readOnly = true;
    return fields;
}

namespace {

// A text as the file stores it, for ordering: no value, or its UTF-8 bytes.
using StoredText = std::optional<QByteArray>;

StoredText storedText(const PreparedStatement& q, int column) {
    if (q.kind(column) == PreparedStatement::Kind::Null) return std::nullopt;
    const QByteArrayView bytes = q.utf8(column);
    return QByteArray(bytes.data(), bytes.size());
}

// The ranks of texts in the database's own order of them: no value first, then byte by byte with the
// shorter of two texts that agree first. Equal texts share a rank.
std::vector<int> ranksOf(const std::vector<StoredText>& texts) {
    auto less = [&texts](int a, int b) {
        if (!texts[a] || !texts[b]) return !texts[a] && texts[b];
        return *texts[a] < *texts[b];
    };
    std::vector<int> order(texts.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), less);
    std::vector<int> ranks(texts.size());
    int rank = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && less(order[i - 1], order[i])) ++rank;
        ranks[order[i]] = rank;
    }
    return ranks;
}

struct Worker {
    int codeRank = 0;
    int groupRank = 0;
    int salaryDay = INT_MIN;  // no pay day sorts first, as a missing value does in the database
    bool excluded = false;
    QVariant group, code, name, salaryDayValue;
};

struct Process {
    int codeRank = 0;
    int styleRank = 0;
    std::optional<qint64> priceUnits;  // ten-thousandths of a yuan, rounded as the saved queries do
    bool excluded = false;
    QVariant style, code;
};

template <class T>
struct Register {
    std::vector<T> items;
    QHash<qint64, int> indexById;
    const T* find(qint64 id) const {
        const auto found = indexById.constFind(id);
        return found == indexById.constEnd() ? nullptr : &items[std::size_t(*found)];
    }
};

Register<Worker> loadWorkers(Connection& cn, bool notFired) {
    Register<Worker> workers;
    std::vector<StoredText> codes, groups;
    PreparedStatement q(
        cn, QStringLiteral("select staffID, StaffCode, StaffName, ClassGroup, salaryDay, Firedd from staff"));
    while (q.next()) {
        Worker w;
        w.code = q.value(1);
        w.name = q.value(2);
        w.group = q.value(3);
        w.salaryDayValue = q.value(4);
        if (q.kind(4) != PreparedStatement::Kind::Null) w.salaryDay = int(q.integer(4));
        w.excluded = notFired && q.integer(5) != 0;
        codes.push_back(storedText(q, 1));
        groups.push_back(storedText(q, 3));
        workers.indexById.insert(q.integer(0), int(workers.items.size()));
        workers.items.push_back(std::move(w));
    }
    const std::vector<int> codeRanks = ranksOf(codes), groupRanks = ranksOf(groups);
    for (std::size_t i = 0; i < workers.items.size(); ++i) {
        workers.items[i].codeRank = codeRanks[i];
        workers.items[i].groupRank = groupRanks[i];
    }
    return workers;
}

Register<Process> loadProcesses(Connection& cn, bool notStopped) {
    Register<Process> processes;
    std::vector<StoredText> codes, styles;
    PreparedStatement q(cn, QStringLiteral("select JobID, JobCode, StyleGroup, stopp, "
                                           "cast(round(UnitPrice * 10000) as bigint) from job"));
    while (q.next()) {
        Process p;
        p.code = q.value(1);
        p.style = q.value(2);
        p.excluded = notStopped && q.integer(3) != 0;
        if (q.kind(4) != PreparedStatement::Kind::Null) p.priceUnits = q.integer(4);
        codes.push_back(storedText(q, 1));
        styles.push_back(storedText(q, 2));
        processes.indexById.insert(q.integer(0), int(processes.items.size()));
        processes.items.push_back(std::move(p));
    }
    const std::vector<int> codeRanks = ranksOf(codes), styleRanks = ranksOf(styles);
    for (std::size_t i = 0; i < processes.items.size(); ++i) {
        processes.items[i].codeRank = codeRanks[i];
        processes.items[i].styleRank = styleRanks[i];
    }
    return processes;
}

// yyyymmdd of a stored date "yyyy-mm-dd": in the order of the dates.
int dayNumber(QByteArrayView text) {
    auto digits = [&text](int from, int count) {
        int n = 0;
        for (int i = from; i < from + count && i < text.size(); ++i) n = n * 10 + (text[i] - '0');
        return n;
    };
    return digits(0, 4) * 10000 + digits(5, 2) * 100 + digits(8, 2);
}

// The position of a group in the result: the chosen items in their fixed order, 0 for the others.
using GroupKey = std::array<int, 6>;

struct Group {
    GroupKey key;
    const Worker* worker;    // one worker of the group: the group's worker items are his
    const Process* process;  // likewise for the process items
    qint64 qty;
    qint64 units;
    bool hasAmount;  // some record of the group has a price
};

[[noreturn]] void outOfRange() {
    throw DbError(QStringLiteral("汇总的数量或金额超出了可以计算的范围。"));
}

void addInto(Group& into, const Group& from) {
    if (__builtin_add_overflow(into.qty, from.qty, &into.qty) ||
        __builtin_add_overflow(into.units, from.units, &into.units))
        outOfRange();
    into.hasAmount = into.hasAmount || from.hasAmount;
}

// Orders the groups and sums those with equal keys into one.
void mergeEqualGroups(std::vector<Group>& groups) {
    std::sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) { return a.key < b.key; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (kept > 0 && groups[kept - 1].key == groups[i].key)
            addInto(groups[kept - 1], groups[i]);
        else
            groups[kept++] = groups[i];
    }
    groups.resize(kept);
}

class Summing {
  public:
    Summing(const Grouping& grouping, TypedRows& out) : m_grouping(grouping), m_out(out) {}

    // One record; records come in date order.
    void add(int day, const Worker& w, const Process& p, qint64 qty) {
        qint64 units = 0;
        if (p.priceUnits && __builtin_mul_overflow(qty, *p.priceUnits, &units)) outOfRange();
        const GroupKey key{m_grouping.date ? day : 0,         m_grouping.classGroup ? w.groupRank : 0,
                           m_grouping.staff ? w.codeRank : 0, m_grouping.style ? p.styleRank : 0,
                           m_grouping.job ? p.codeRank : 0,   m_grouping.salaryDay ? w.salaryDay : 0};
        const Group record{key, &w, &p, qty, units, p.priceUnits.has_value()};
        // Consecutive records of one group (the records of a day, worker and process come together)
        // are summed on the spot.
        if (m_current && m_current->key == key) {
            addInto(*m_current, record);
            return;
        }
        if (m_current) {
            const bool dayEnded = m_grouping.date && m_current->key[0] != day;
            m_pending.push_back(*m_current);
            // A day's groups are complete when the next day starts; without days, groups are merged now
            // and then so that the pending list stays near the number of groups.
            if (dayEnded) {
                flush();
            } else if (!m_grouping.date && m_pending.size() >= m_mergeAt) {
                mergeEqualGroups(m_pending);
                m_mergeAt = std::max<std::size_t>(2 * m_pending.size(), 1 << 16);
            }
        }
        m_current = record;
    }

    void finish() {
        if (m_current) m_pending.push_back(*m_current);
        m_current.reset();
        flush();
    }

  private:
    void flush() {
        mergeEqualGroups(m_pending);
        for (const Group& g : m_pending) addRow(g);
        m_pending.clear();
    }

    // A million groups of a year go straight into the rows, held by type.
    void addRow(const Group& g) {
        const int row = m_out.appendRow();
        int column = 0;
        if (m_grouping.date) {
            if (g.key[0] != m_lastDay) {
                m_lastDay = g.key[0];
                m_lastDate = QDate(m_lastDay / 10000, m_lastDay / 100 % 100, m_lastDay % 100);
            }
            m_out.setValue(row, column++, m_lastDate);
        }
        if (m_grouping.classGroup) m_out.setValue(row, column++, g.worker->group);
        if (m_grouping.staff) {
            m_out.setValue(row, column++, g.worker->code);
            m_out.setValue(row, column++, g.worker->name);
        }
        if (m_grouping.style) m_out.setValue(row, column++, g.process->style);
        if (m_grouping.job) m_out.setValue(row, column++, g.process->code);
        if (m_grouping.salaryDay) m_out.setValue(row, column++, g.worker->salaryDayValue);
        m_out.setInteger(row, column++, g.qty);
        if (g.hasAmount) m_out.setValue(row, column, QVariant::fromValue(Money::fromUnits(g.units)));
    }

    const Grouping m_grouping;
    TypedRows& m_out;
    std::optional<Group> m_current;
    std::vector<Group> m_pending;
    std::size_t m_mergeAt = 1 << 16;
    int m_lastDay = -1;
    QVariant m_lastDate;
};

}  // namespace

void fillGroupedTotals(Connection& cn, const GroupedTotalsQuery& query, DataSet& rows) {
    const Register<Worker> workers = loadWorkers(cn, query.notFired);
    const Register<Process> processes = loadProcesses(cn, query.notStopped);

    const QVector<Field> fields = groupedTotalsFields(query.grouping);
    TypedRows out(int(fields.size()));
    Summing summing(query.grouping, out);
    // In the order of the unique index, which holds every column read: no sorting and no table access.
    PreparedStatement q(
        cn,
        QStringLiteral("select dateD, staffID, jobID, qty from JobData where dateD between ? and ? "
                       "order by dateD, staffID, jobID"),
        {query.from, query.to});
    qint64 lastWorkerId = -1;
    const Worker* worker = nullptr;
    while (q.next()) {
        const qint64 workerId = q.integer(1);
        if (workerId != lastWorkerId) {
            lastWorkerId = workerId;
            worker = workers.find(workerId);
        }
        if (!worker || worker->excluded) continue;
        const Process* process = processes.find(q.integer(2));
        if (!process || process->excluded) continue;
        summing.add(dayNumber(q.utf8(0)), *worker, *process, q.integer(3));
    }
    summing.finish();

    const Grouping& g = query.grouping;
    const bool grouped = g.date || g.classGroup || g.staff || g.style || g.job || g.salaryDay;
    // Without a grouping there is always the one row of the sums, as a sum in the database gives.
    if (!grouped && out.rowCount() == 0) out.appendRow();

    rows.close();
    rows.defineFields(fields);
    rows.openWithTypedRows(std::move(out));
}

QVector<Field> grandTotalFields() {
    Field tmy(QStringLiteral("tmy"), FieldType::Money);
    tmy.displayFormat = currencyFormat();
    return {{QStringLiteral("qty"), FieldType::Integer}, tmy};
}

void fillGrandTotals(const DataSet& rows, DataSet& totals) {
    const int qtyField = rows.fieldIndex(QStringLiteral("数量"));
    const int tmyField = rows.fieldIndex(QStringLiteral("金额"));
    qint64 qty = 0;
    Money tmy;
    bool anyQty = false;
    bool anyTmy = false;
    for (int row = 0; row < rows.recordCount(); ++row) {
        const QVariant q = rows.valueAt(row, qtyField);
        const QVariant m = rows.valueAt(row, tmyField);
        if (!q.isNull()) {
            qty += q.toLongLong();
            anyQty = true;
        }
        if (!m.isNull()) {
            tmy += Money::fromVariant(m);
            anyTmy = true;
        }
    }
    totals.close();
    totals.open();
    totals.append();
    totals.setValue(0, anyQty ? QVariant(qty) : QVariant());
    totals.setValue(1, anyTmy ? QVariant::fromValue(tmy) : QVariant());
    totals.post();
}

}  // namespace hx
