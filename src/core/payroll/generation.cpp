#include "core/payroll/generation.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <memory>

namespace hx {

namespace {

constexpr int maxTextLength = 50;  // the T columns of salaryData

bool isComputedFamily(const QString& code) {
    return code.startsWith(QLatin1Char('B')) || code.startsWith(QLatin1Char('C'));
}

int itemIndex(const QString& family, int first) {
    return salaryItemIndex(family + QStringLiteral("%1").arg(first, 2, 10, QLatin1Char('0')));
}

QString formulaProblem(const SheetFormulas::Item& item) {
    if (item.expression.trimmed().isEmpty()) return QStringLiteral("%1 没有公式或默认值").arg(item.code);
    return QStringLiteral("%1 的公式“%2”有误：%3").arg(item.code, item.expression, item.parseError);
}

// The value as its sheet column keeps it, which is what a later formula reads from the row.
Decimal asStored(int index, Decimal value) {
    if (salaryItemCodes()[index].startsWith(QLatin1Char('B'))) return Decimal::fromDouble(value.toDouble());
    return Decimal::fromMoney(value.toMoney());
}

struct TextItem {
    int index;
    QString text;
};

// The named T items of the month with their default texts, stored as typed (a quotation mark included).
std::vector<TextItem> textDefaults(Connection& cn, int year, int month) {
    std::vector<TextItem> texts;
    PreparedStatement q =
        cn.query(QStringLiteral("select ItemCode, ItemName, expression from salary where year=? "
                                "and month=? and ItemCode like 'T%' order by ItemCode"),
                 {year, month});
    while (q.next()) {
        const int index = salaryItemIndex(q.value(0).toString());
        if (index < 0 || q.value(1).toString().isEmpty()) continue;
        // A named item without a default text gets the empty text, not Null.
        const QString text = q.value(2).isNull() ? QString(QLatin1String("")) : q.value(2).toString();
        if (text.size() > maxTextLength)
            throw PayrollError(QStringLiteral("%1 的默认值“%2”超过 %3 个字符")
                                   .arg(salaryItemCodes()[index], text)
                                   .arg(maxTextLength));
        texts.push_back({index, text});
    }
    return texts;
}

// Values by row id. Ids given by the database are small and dense, so a plain array serves; a
// hand-made id far beyond the row count goes to a hash instead.
template <class T>
class IdTable {
  public:
    void insert(qint64 id, T value) {
        if (id >= 0 && id < denseLimit) {
            if (size_t(id) >= m_dense.size()) m_dense.resize(size_t(id) + 1);
            m_dense[size_t(id)] = value;
        } else {
            m_sparse.insert(id, value);
        }
    }
    const T* find(qint64 id) const {
        if (id >= 0 && size_t(id) < m_dense.size()) {
            const auto& slot = m_dense[size_t(id)];
            return slot ? &*slot : nullptr;
        }
        const auto it = m_sparse.constFind(id);
        return it == m_sparse.constEnd() ? nullptr : &*it;
    }

  private:
    static constexpr qint64 denseLimit = 1 << 22;
    std::vector<std::optional<T>> m_dense;
    QHash<qint64, T> m_sparse;
};

QString pieceWageOverflowMessage(const QString& code, const QString& name) {
    return QStringLiteral(
               "计件工资超出范围：工号 %1（%2）的件数乘单价或合计太大，没有生成。"
               "请检查这名员工的计件记录中的数量和工序单价。")
        .arg(code, name);
}

QString isoDate(const QDate& d) {
    return d.toString(Qt::ISODate);
}

}  // namespace

SheetFormulas SheetFormulas::load(Connection& cn, int year, int month, bool generation) {
    SheetFormulas result;
    PreparedStatement q =
        cn.query(QStringLiteral("select ItemCode, ItemName, expression from salary where year=? "
                                "and month=? order by ItemCode"),
                 {year, month});
    while (q.next()) {
        const int index = salaryItemIndex(q.value(0).toString());
        if (index < 0) continue;
        Item item;
        item.index = index;
        item.code = salaryItemCodes()[index];
        if (!isComputedFamily(item.code)) continue;
        item.expression = q.value(2).toString();
        if (generation) {
            if (q.value(1).toString().isEmpty()) continue;
        } else {
            static const QRegularExpression names(QStringLiteral("[ABCabc]"));
            if (!item.expression.contains(names)) continue;
        }
        try {
            item.formula = Formula::parse(item.expression);
        } catch (const FormulaError& e) {
            item.parseError = e.message();
        }
        if (!generation && item.formula && item.formula->variableIndexes().empty()) continue;
        result.m_items.push_back(std::move(item));
    }
    std::sort(result.m_items.begin(), result.m_items.end(),
              [](const Item& a, const Item& b) { return a.index < b.index; });
    return result;
}

SheetFormulas SheetFormulas::forGeneration(Connection& cn, int year, int month) {
    return load(cn, year, month, true);
}

SheetFormulas SheetFormulas::forRecalculation(Connection& cn, int year, int month) {
    return load(cn, year, month, false);
}

void SheetFormulas::apply(Decimal* row, const QString& staffCode) const {
    for (const Item& item : m_items) {
        if (!item.formula) throw PayrollError(formulaProblem(item));
        try {
            row[item.index] = asStored(item.index, item.formula->evaluate(row));
        } catch (const FormulaError& e) {
            throw PayrollError(QStringLiteral("%1 的公式“%2”无法计算（工号 %3）：%4")
                                   .arg(item.code, item.expression, staffCode, e.message()));
        }
    }
}

int generateSalarySheet(Connection& cn, const SheetBatch& batch, const QDate& from, const QDate& to) {
    const QStringList& codes = salaryItemCodes();
    const int a01 = itemIndex(QStringLiteral("A"), 1);
    const int a02 = itemIndex(QStringLiteral("A"), 2);
    const int b01 = itemIndex(QStringLiteral("B"), 1);
    const int t01 = itemIndex(QStringLiteral("T"), 1);

    // Every named B and C formula of the month is checked once before anything changes, so that a faulty
    // one fails the generation also when the batch has no workers to evaluate it on. A formula without
    // item codes, such as 1/0, is evaluated here as well: it would fail on every row alike.
    const SheetFormulas formulas = SheetFormulas::forGeneration(cn, batch.year, batch.month);
    for (const SheetFormulas::Item& item : formulas.items()) {
        if (!item.formula) throw PayrollError(formulaProblem(item));
        try {
            item.formula->constantValue();
        } catch (const FormulaError& e) {
            throw PayrollError(
                QStringLiteral("%1 的公式“%2”无法计算：%3").arg(item.code, item.expression, e.message()));
        }
    }

    Transaction transaction(cn);
    cn.exec(QStringLiteral("delete from salaryData where Year=? and Month=? and salaryDay=?"),
            {batch.year, batch.month, batch.day});
    const std::vector<TextItem> texts = textDefaults(cn, batch.year, batch.month);

    int rows = 0;
    {
        // The batch's workers in the order of their codes, with their fixed amounts.
        struct Worker {
            QString code;
            QString name;
            std::array<Money, 7> fixed;
            qint64 pieceUnits = 0;  // the piece wage in ten-thousandths of a yuan
        };
        std::vector<Worker> workers;
        IdTable<int> workerOf;  // staffID -> index in workers
        {
            PreparedStatement staff(
                cn, QStringLiteral("select staffID, StaffCode, StaffName, A02, A03, A04, A05, A06, "
                                   "A07, A08 from staff where salaryDay = ? and Firedd = 0 "
                                   "order by StaffCode"));
            staff.bind(1, batch.day);
            while (staff.next()) {
                Worker w;
                w.code = staff.text(1);
                w.name = staff.text(2);
                for (int i = 0; i < 7; ++i) w.fixed[size_t(i)] = staff.money(3 + i);
                workerOf.insert(staff.integer(0), int(workers.size()));
                workers.push_back(std::move(w));
            }
        }
        // Piece wages: pieces times the current piece rate, summed exactly in ten-thousandths. A process
        // without a rate pays nothing.
        IdTable<qint64> rates;         // JobID -> piece rate in ten-thousandths
        std::vector<qint64> rateList;  // the same by position JobID, while the ids stay few and small
        bool smallRates = true;  // no product of a record's pieces (32 bits) and its rate leaves 64 bits
        {
            constexpr qint64 listLimit = 1 << 20;
            constexpr qint64 smallRate = qint64(1) << 31;  // 214,748.3648 yuan
            PreparedStatement jobs(cn, QStringLiteral("select JobID, UnitPrice from job"));
            while (jobs.next()) {
                const qint64 id = jobs.integer(0);
                const qint64 rate = jobs.money(1).units();
                rates.insert(id, rate);
                smallRates = smallRates && rate > -smallRate && rate < smallRate;
                if (id < 1 || id > listLimit) {
                    smallRates = false;
                } else {
                    if (size_t(id) > rateList.size()) rateList.resize(size_t(id));
                    rateList[size_t(id - 1)] = rate;
                }
            }
        }
        if (cn.dialect().readsRowsInProcess()) {
            // The records are read straight from the index that leads with the date and summed here,
            // which is several times faster than a join grouped by the database.
            PreparedStatement records(cn, QStringLiteral("select staffID, jobID, qty from JobData "
                                                         "where dateD between ? and ?"));
            records.bind(1, isoDate(from));
            records.bind(2, isoDate(to));
            while (records.next()) {
                const int* worker = workerOf.find(records.integer(0));
                if (!worker) continue;
                const qint64* rate = rates.find(records.integer(1));
                if (!rate) continue;
                // Checked: a wrapped product or sum would be a wrong wage, not an error.
                Worker& w = workers[size_t(*worker)];
                qint64 amount = 0;
                if (__builtin_mul_overflow(records.integer(2), *rate, &amount) ||
                    __builtin_add_overflow(w.pieceUnits, amount, &w.pieceUnits))
                    throw PayrollError(pieceWageOverflowMessage(w.code, w.name));
            }
        } else {
            // Across a network the records stay where they are: the database sums each worker's wage and
            // one row per worker comes back as decimal text. It sums whole numbers several times faster
            // than exact decimals and looks a rate up in a list faster than it joins the processes, so
            // the rates go with the query as a list of whole ten-thousandths whenever no product can
            // overflow; the sums themselves are of any size.
            const Dialect& dialect = cn.dialect();
            PreparedStatement wages(
                cn, smallRates ? QStringLiteral("select staffID, sum(qty * %1) from JobData "
                                                "where dateD between ? and ? group by staffID")
                                     .arg(dialect.listElement(QStringLiteral("jobID")))
                               : QStringLiteral("select d.staffID, sum(d.qty * j.UnitPrice) from JobData d "
                                                "join job j on j.JobID = d.jobID "
                                                "where d.dateD between ? and ? group by d.staffID"));
            int parameter = 1;
            if (smallRates) wages.bind(parameter++, dialect.wholeNumberList(rateList));
            wages.bind(parameter++, isoDate(from));
            wages.bind(parameter, isoDate(to));
            while (wages.next()) {
                const int* worker = workerOf.find(wages.integer(0));
                if (!worker) continue;
                Worker& w = workers[size_t(*worker)];
                if (wages.isNull(1)) continue;  // only records of processes without a rate, or gone
                bool whole = false;
                const std::optional<Money> wage = smallRates
                                                      ? Money::fromUnits(wages.utf8(1).toLongLong(&whole))
                                                      : Money::parse(wages.text(1));
                if (!wage || (smallRates && !whole))
                    throw PayrollError(pieceWageOverflowMessage(w.code, w.name));
                w.pieceUnits = wage->units();
            }
        }

        QStringList columns{QStringLiteral("Year"), QStringLiteral("Month"), QStringLiteral("salaryDay"),
                            QStringLiteral("staffCode"), QStringLiteral("staffName")};
        columns += codes;
        RowWriter writer(cn, QStringLiteral("salaryData"), columns);
        std::array<Decimal, SalaryItemCount> row;
        std::array<const QString*, SalaryItemCount> textOf{};  // unnamed text items stay empty
        for (const TextItem& t : texts) textOf[size_t(t.index)] = &t.text;
        for (const Worker& w : workers) {
            row.fill(Decimal());
            writer.add(batch.year);
            writer.add(batch.month);
            writer.add(batch.day);
            writer.add(w.code);
            writer.add(w.name);
            const Money pieceWage = Money::fromUnits(w.pieceUnits);
            try {
                row[a01] = Decimal::fromMoney(pieceWage);
            } catch (const FormulaError&) {
                throw PayrollError(pieceWageOverflowMessage(w.code, w.name));
            }
            for (int i = a02; i < b01; ++i) row[i] = Decimal::fromMoney(w.fixed[size_t(i - a02)]);
            formulas.apply(row.data(), w.code);
            for (int i = 0; i < SalaryItemCount; ++i) {
                if (i == a01)
                    writer.add(pieceWage);
                else if (i < b01)
                    writer.add(w.fixed[size_t(i - a02)]);
                else if (i < t01 && codes[i].startsWith(QLatin1Char('B')))
                    writer.add(row[i].toDouble());
                else if (i < t01)
                    writer.add(row[i].toMoney());
                else if (textOf[size_t(i)])  // text items are the same in every row
                    writer.add(*textOf[size_t(i)]);
                else
                    writer.addNull();
            }
            ++rows;
        }
        writer.finish();
    }
    transaction.commit();
    return rows;
}

int recalculateWorker(Connection& cn, int year, int month, const QString& staffCode) {
    const SheetFormulas formulas = SheetFormulas::forRecalculation(cn, year, month);
    if (formulas.isEmpty()) return 0;
    const QStringList& codes = salaryItemCodes();
    const int t01 = itemIndex(QStringLiteral("T"), 1);

    // A row is found by its key: the worker's row of one batch (salaryDay) in the month.
    QStringList read{QStringLiteral("salaryDay")};
    for (int i = 0; i < t01; ++i) read << codes[i];
    QStringList sets;
    for (const auto& item : formulas.items()) sets << item.code + QStringLiteral("=?");
    const Dialect& dialect = cn.dialect();
    const QString update =
        QStringLiteral("update salaryData set %1 where %2=? and %3=? and %4=? and %5")
            .arg(sets.join(QLatin1Char(',')), dialect.quoted(QStringLiteral("Year")),
                 dialect.quoted(QStringLiteral("Month")), dialect.quoted(QStringLiteral("salaryDay")),
                 dialect.nullSafeEqual(dialect.quoted(QStringLiteral("staffCode")), QStringLiteral("?")));

    struct StoredRow {
        qint64 salaryDay;
        std::array<Decimal, SalaryItemCount> values;
    };
    std::vector<StoredRow> stored;
    PreparedStatement q = cn.query(QStringLiteral("select %1 from salaryData where Year=? and Month=? and "
                                                  "staffCode=?")
                                       .arg(read.join(QLatin1Char(','))),
                                   {year, month, staffCode});
    while (q.next()) {
        StoredRow r;
        r.salaryDay = q.integer(0);
        for (int i = 0; i < t01; ++i) r.values[i] = Decimal::fromVariant(q.value(i + 1));
        stored.push_back(r);
    }
    q.reset();

    auto write = [&](const StoredRow& r) {
        QVariantList params;
        for (const auto& item : formulas.items()) {
            const Decimal v = r.values[item.index];
            if (item.code.startsWith(QLatin1Char('B')))
                params << v.toDouble();
            else
                params << QVariant::fromValue(v.toMoney());
        }
        params << year << month << r.salaryDay << staffCode;
        cn.exec(update, params);
    };
    // A worker held twice in a batch (an older file, whose key index could not be built) cannot be
    // told apart: the rows are left as they are rather than both given the values of one.
    for (std::size_t i = 0; i < stored.size(); ++i)
        for (std::size_t j = i + 1; j < stored.size(); ++j)
            if (stored[i].salaryDay == stored[j].salaryDay)
                throw DbError(
                    QStringLiteral("工资表中工号 %1 在 %2 年 %3 月 %4 日的批次中有重复的行，无法重算。")
                        .arg(staffCode)
                        .arg(year)
                        .arg(month)
                        .arg(stored[i].salaryDay));
    for (StoredRow& r : stored) {
        try {
            formulas.apply(r.values.data(), staffCode);
        } catch (const PayrollError&) {
            write(r);  // the items before the failing one keep their new values
            throw;
        }
        write(r);
    }
    return int(stored.size());
}

int previousItemMonth(Connection& cn, int year, int month) {
    int n = monthNumber(year, month);
    do {
        --n;
    } while (cn.scalar(QStringLiteral("select count(*) from salary where (12*year+month)=?"), {n}).toInt() <
                 2 &&
             n > baseItemMonthNumber);
    return n;
}

int copyItemMonth(Connection& cn, int year, int month, int source) {
    if (monthNumber(year, month) == baseItemMonthNumber) return 0;
    const int available =
        cn.scalar(QStringLiteral("select count(*) from salary where (12*year+month)=?"), {source}).toInt();
    if (available == 0) return 0;
    Transaction transaction(cn);
    cn.exec(QStringLiteral("delete from salary where year=? and month=?"), {year, month});
    const int copied = cn.exec(QStringLiteral("insert into salary(year,month,ItemCode,ItemName,expression,"
                                              "printWidth) select ?, ?, ItemCode, ItemName, expression, "
                                              "printWidth from salary where (12*year+month)=?"),
                               {year, month, source});
    transaction.commit();
    return copied;
}

}  // namespace hx
