#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <map>

#include "core/data/connection.h"
#include "core/data/money.h"
#include "core/data/schema.h"
#include "core/payroll/formula.h"
#include "generator.h"
#include "support/coresupport.h"

using hx::Money;
using hxbench::GeneratorOptions;

namespace {

GeneratorOptions tinyOptions(std::uint64_t seed) {
    GeneratorOptions o;
    o.workers = 40;
    o.processes = 60;
    o.months = 2;
    o.startYear = 2025;
    o.startMonth = 2;
    o.seed = seed;
    return o;
}

// SHA-256 over every row of every account-set table, in a fixed order, with each value's type.
QByteArray digest(const QString& path) {
    hx::Connection cn;
    cn.open(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QStringList statements = {
        QStringLiteral("select * from staff order by staffID"),
        QStringLiteral("select * from job order by JobID"),
        QStringLiteral("select * from JobData order by dateD, staffID, jobID, qty"),
        QStringLiteral("select * from salary order by year, month, ItemCode"),
        QStringLiteral("select * from salaryData order by Year, Month, salaryDay, staffCode"),
        QStringLiteral("select * from wCodeName"),
    };
    for (const QString& sql : statements) {
        hash.addData(sql.toUtf8());
        hx::PreparedStatement q = cn.query(sql);
        const int columns = q.columnCount();
        while (q.next()) {
            for (int c = 0; c < columns; ++c) {
                const QVariant v = q.value(c);
                hash.addData(v.isNull() ? QByteArray("null") : QByteArray(v.typeName()));
                hash.addData(v.toString().toUtf8());
                hash.addData(QByteArray(1, '\x1f'));
            }
            hash.addData(QByteArray(1, '\x1e'));
        }
    }
    return hash.result();
}

qint64 count(hx::Connection& cn, const QString& sql, const QVariantList& params = {}) {
    return cn.scalar(sql, params).toLongLong();
}

}  // namespace

class TestGenerator : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_tiny;  // generated once, read by several tests

    QString file(const QString& name) const { return m_dir.filePath(name); }

  private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_tiny = file(QStringLiteral("tiny.mdb"));
        const auto result = hxbench::generateAccountSet(m_tiny, tinyOptions(7));
        QCOMPARE(result.workers, 40);
        QCOMPARE(result.processes, 60);
        QVERIFY(result.records > 0);
    }

    void rowsSatisfyTheSchemaAndItsUnwrittenRules() {
        hx::Connection cn;
        cn.open(m_tiny);
        QVERIFY(hxtest::passesIntegrityCheck(cn));

        // Every row goes again, unchanged, into a fresh template: no check, length or uniqueness rule of
        // the schema refuses any of them.
        const QString fresh = file(QStringLiteral("fresh.mdb"));
        hx::createAccountSetTemplate(fresh);
        hx::Connection target;
        target.open(fresh);
        target.exec(QStringLiteral("attach database ? as g"), {m_tiny});
        target.exec(QStringLiteral("delete from salary"));
        for (const char* table : {"staff", "job", "JobData", "salary", "salaryData"}) {
            const QString name = QString::fromLatin1(table);
            try {
                target.exec(QStringLiteral("insert into main.%1 select * from g.%1").arg(name));
            } catch (const hx::DbError& e) {
                QFAIL(qPrintable(name + QStringLiteral(": ") + e.message()));
            }
            QCOMPARE(count(target, QStringLiteral("select count(*) from main.%1").arg(name)),
                     count(cn, QStringLiteral("select count(*) from %1").arg(name)));
        }

        // What the schema does not enforce: records point at existing workers and processes, on real
        // working days (Monday to Saturday) inside the generated months.
        QCOMPARE(count(cn, QStringLiteral("select count(*) from JobData d where not exists "
                                          "(select 1 from staff s where s.staffID = d.staffID)")),
                 qint64(0));
        QCOMPARE(count(cn, QStringLiteral("select count(*) from JobData d where not exists "
                                          "(select 1 from job j where j.JobID = d.jobID)")),
                 qint64(0));
        QCOMPARE(count(cn, QStringLiteral("select count(*) from JobData where date(dateD) is null or "
                                          "date(dateD) <> dateD or strftime('%w', dateD) = '0' or "
                                          "dateD not between '2025-02-01' and '2025-03-31'")),
                 qint64(0));
        QCOMPARE(count(cn, QStringLiteral("select count(*) from JobData where qty <= 0")), qint64(0));
        QCOMPARE(count(cn, QStringLiteral("select count(*) from staff where salaryDay is null or "
                                          "salaryDay not between 1 and 31")),
                 qint64(0));
        // Money keeps at most four decimals, as the Currency columns of the program hold it.
        QCOMPARE(count(cn, QStringLiteral("select count(*) from job where UnitPrice <= 0 or "
                                          "abs(UnitPrice * 10000 - round(UnitPrice * 10000)) > 1e-6")),
                 qint64(0));
        QCOMPARE(
            count(cn, QStringLiteral("select count(*) from staff where "
                                     "abs(A06 * 10000 - round(A06 * 10000)) > 1e-6 or LevelSalary <= 0")),
            qint64(0));
    }

    void looksLikeAFactory() {
        hx::Connection cn;
        cn.open(m_tiny);
        const qint64 dismissed = count(cn, QStringLiteral("select count(*) from staff where Firedd <> 0"));
        QVERIFY(dismissed >= 1 && dismissed <= 40 / 5);
        // A dismissed worker keeps the records made before leaving.
        QVERIFY(count(cn, QStringLiteral("select count(*) from JobData where staffID in "
                                         "(select staffID from staff where Firedd <> 0)")) > 0);
        const qint64 finished = count(cn, QStringLiteral("select count(*) from job where stopp <> 0"));
        QVERIFY(finished >= 1 && finished < 60);
        QVERIFY(count(cn, QStringLiteral("select count(distinct ClassGroup) from staff")) >= 4);
        QVERIFY(count(cn, QStringLiteral("select count(distinct salaryDay) from staff")) >= 2);
        QVERIFY(count(cn, QStringLiteral("select count(distinct StyleGroup) from job")) >= 2);
        QVERIFY(count(cn, QStringLiteral("select count(*) from job where StyleGroup is null")) >= 1);
        // Piece rates carry four decimals, not only whole fen.
        QVERIFY(count(cn, QStringLiteral("select count(*) from job where "
                                         "cast(round(UnitPrice * 10000) as integer) % 100 <> 0")) > 0);
        QCOMPARE(count(cn, QStringLiteral(
                               "select count(*) from staff where StaffCode not glob '[0-9][0-9][0-9][0-9]'")),
                 qint64(0));

        // About 300 records per worker in a month: the median over the workers' months.
        hx::PreparedStatement q =
            cn.query(QStringLiteral("select count(*) from JobData group by staffID, substr(dateD, 1, 7)"));
        std::vector<qint64> perMonth;
        while (q.next()) perMonth.push_back(q.value(0).toLongLong());
        QVERIFY(perMonth.size() >= 60);
        std::sort(perMonth.begin(), perMonth.end());
        const qint64 median = perMonth[perMonth.size() / 2];
        QVERIFY2(median >= 250 && median <= 350, qPrintable(QString::number(median)));
    }

    void salaryItemsUseEveryFormulaFeature() {
        hx::Connection cn;
        cn.open(m_tiny);
        for (const auto& [year, month] : {std::pair{2003, 11}, {2025, 2}, {2025, 3}}) {
            hx::PreparedStatement q =
                cn.query(QStringLiteral("select ItemCode from salary where year=? and month=? "
                                        "order by ItemCode"),
                         {year, month});
            QStringList codes;
            while (q.next()) codes << q.value(0).toString();
            QCOMPARE(codes.size(), 35);
            QCOMPARE(codes.first(), QStringLiteral("A01"));
            QCOMPARE(codes.last(), QStringLiteral("T05"));
        }
        // The fixed items are named in every month, as the staff register names them.
        QCOMPARE(count(cn, QStringLiteral(
                               "select count(*) from salary where ItemCode in ('A03','A04','A05','A06') "
                               "and ItemName <> '' and expression = '*********系统提供*********'")),
                 qint64(3 * 4));

        hx::PreparedStatement q =
            cn.query(QStringLiteral("select ItemCode, ItemName, expression, printWidth from salary "
                                    "where year=2025 order by month, ItemCode"));
        static const QRegularExpression reference(QStringLiteral("\\b([ABCT]\\d\\d)\\b"));
        static const QRegularExpression number(QStringLiteral("^\\d+(\\.\\d+)?$"));
        QString formulas;
        bool constant = false, textDefault = false;
        while (q.next()) {
            const QString code = q.value(0).toString();
            const QString name = q.value(1).toString();
            const QString expression = q.value(2).toString();
            if (name.isEmpty()) {
                QVERIFY2(q.value(2).isNull() && q.value(3).toInt() == 0, qPrintable(code));
                continue;
            }
            if (code.startsWith(QLatin1Char('T'))) {
                textDefault = textDefault || !expression.isEmpty();
                continue;
            }
            if (code.startsWith(QLatin1Char('A'))) continue;
            QVERIFY2(!expression.isEmpty(), qPrintable(code));
            // A formula reads only items that come before its own.
            auto it = reference.globalMatch(expression);
            while (it.hasNext()) {
                const QString used = it.next().captured(1);
                QVERIFY2(used < code, qPrintable(code + QStringLiteral(" uses ") + used));
            }
            // The program's own check, as the item setup applies it when the accountant saves a formula.
            const QStringList problems = hx::checkItemFormula(code, expression);
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
            constant = constant || number.match(expression).hasMatch();
            formulas += expression + QLatin1Char('\n');
        }
        QVERIFY(constant);
        QVERIFY(textDefault);
        for (const char* feature :
             {"iif(", "round(", "int(", " and ", " or ", "not ", "<>", ">=", "<=", "*", "/", "-", "+", "("}) {
            QVERIFY2(formulas.contains(QLatin1String(feature)), feature);
        }
        for (const char* comparison : {"[^<>]=[^=]", "[^<>]<[^=>]", "[^<>]>[^=]"})
            QVERIFY2(formulas.contains(QRegularExpression(QLatin1String(comparison))), comparison);
    }

    void aGeneratedMonthEvaluatesForEveryWorker() {
        // The month's formulas, applied in code order to each active worker's piece wage of February and
        // fixed amounts, as generating the sheet does: no formula fails, and pay comes out plausible.
        hx::Connection cn;
        cn.open(m_tiny);
        std::vector<std::pair<int, hx::Formula>> formulas;
        hx::PreparedStatement items =
            cn.query(QStringLiteral("select ItemCode, expression from salary where year=2025 and "
                                    "month=2 and ItemName <> '' and (ItemCode like 'B%' or "
                                    "ItemCode like 'C%') order by ItemCode"));
        while (items.next())
            formulas.emplace_back(hx::salaryItemIndex(items.value(0).toString()),
                                  hx::Formula::parse(items.value(1).toString()));
        QVERIFY(formulas.size() >= 15);

        hx::PreparedStatement workers = cn.query(QStringLiteral(
            "select s.A02, s.A03, s.A04, s.A05, s.A06, s.A07, s.A08, "
            "(select sum(d.qty * cast(round(j.UnitPrice * 10000) as integer)) from JobData d join job j "
            " on j.JobID = d.jobID where d.staffID = s.staffID and d.dateD between '2025-02-01' and "
            "'2025-02-28') "
            "from staff s where s.Firedd = 0"));
        const int gross = hx::salaryItemIndex(QStringLiteral("C07"));
        const int net = hx::salaryItemIndex(QStringLiteral("C10"));
        int rows = 0;
        while (workers.next()) {
            std::vector<hx::Decimal> row(hx::SalaryItemCount);
            row[0] = hx::Decimal::fromMoney(Money::fromUnits(workers.value(7).toLongLong()));
            for (int i = 0; i < 7; ++i)
                row[size_t(i + 1)] = hx::Decimal::fromMoney(Money::fromVariant(workers.value(i)));
            for (const auto& [index, formula] : formulas) {
                try {
                    row[size_t(index)] = hx::Decimal::fromMoney(formula.evaluate(row).toMoney());
                } catch (const hx::FormulaError& e) {
                    QFAIL(qPrintable(hx::salaryItemCodes()[index] + QStringLiteral(": ") + e.message()));
                }
            }
            QVERIFY(row[size_t(gross)] >= row[0]);
            QVERIFY(row[size_t(net)] > hx::Decimal());
            ++rows;
        }
        QVERIFY(rows >= 30);
    }

    void sameSeedSameContentOtherSeedOtherContent() {
        GeneratorOptions o = tinyOptions(11);
        o.workers = 12;
        o.processes = 20;
        o.months = 1;
        const QString a = file(QStringLiteral("a.mdb")), b = file(QStringLiteral("b.mdb")),
                      c = file(QStringLiteral("c.mdb"));
        hxbench::generateAccountSet(a, o);
        hxbench::generateAccountSet(b, o);
        o.seed = 12;
        hxbench::generateAccountSet(c, o);
        QCOMPARE(digest(a), digest(b));
        QVERIFY(digest(a) != digest(c));
    }

    void opensAsAnAccountSetAndItsTotalsAddUp() {
        QVERIFY(hx::isAccountSet(m_tiny));
        hx::Connection cn;
        cn.open(m_tiny);

        std::map<qint64, Money> price;
        hx::PreparedStatement jobs = cn.query(QStringLiteral("select JobID, UnitPrice from job"));
        while (jobs.next()) price[jobs.value(0).toLongLong()] = Money::fromVariant(jobs.value(1));

        std::map<qint64, Money> computed;
        hx::PreparedStatement records = cn.query(QStringLiteral("select staffID, jobID, qty from JobData"));
        while (records.next())
            computed[records.value(0).toLongLong()] +=
                price.at(records.value(1).toLongLong()) * records.value(2).toLongLong();

        std::map<qint64, Money> queried;
        hx::PreparedStatement sums = cn.query(
            QStringLiteral("select d.staffID, sum(d.qty * cast(round(j.UnitPrice * 10000) as integer)) "
                           "from JobData d join job j on j.JobID = d.jobID group by d.staffID"));
        while (sums.next())
            queried[sums.value(0).toLongLong()] = Money::fromUnits(sums.value(1).toLongLong());

        QCOMPARE(computed.size(), size_t(40));
        QCOMPARE(queried.size(), computed.size());
        for (const auto& [staff, amount] : computed) QCOMPARE(queried.at(staff).units(), amount.units());
        // The statistics' saved query sees every record, with the same money to the cent.
        QCOMPARE(count(cn, QStringLiteral("select count(*) from qryData")),
                 count(cn, QStringLiteral("select count(*) from JobData")));
        Money total;
        for (const auto& entry : computed) total += entry.second;
        QCOMPARE(
            Money::fromVariant(cn.scalar(QStringLiteral("select round(sum(tmy), 2) from qryData"))).units(),
            total.rounded(2).units());
    }

    void refusesToOverwriteAndLeavesNothingOnFailure() {
        const QString existing = file(QStringLiteral("existing.mdb"));
        {
            QFile f(existing);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep");
        }
        QVERIFY_THROWS_EXCEPTION(hx::Error, hxbench::generateAccountSet(existing, tinyOptions(1)));
        QFile f(existing);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep"));

        // A template that already holds workers is not an empty template.
        const QString used = file(QStringLiteral("used-template.dll"));
        hx::createAccountSetTemplate(used);
        {
            hx::Connection cn;
            cn.open(used);
            cn.exec(
                QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values ('9', '某', 5)"));
        }
        GeneratorOptions o = tinyOptions(1);
        o.templatePath = used;
        const QString target = file(QStringLiteral("from-used.mdb"));
        QVERIFY_THROWS_EXCEPTION(hx::Error, hxbench::generateAccountSet(target, o));
        QVERIFY(!QFile::exists(target));
        QVERIFY(!QFile::exists(target + QStringLiteral(".generating")));
    }

    void refusesSizesItCannotWrite_data() {
        QTest::addColumn<int>("workers");
        QTest::addColumn<int>("months");
        QTest::addColumn<int>("startYear");
        QTest::addColumn<int>("startMonth");
        QTest::newRow("no workers") << 0 << 1 << 2025 << 1;
        QTest::newRow("no months") << 5 << 0 << 2025 << 1;
        QTest::newRow("month 13") << 5 << 1 << 2025 << 13;
        // The salary items are copied from the base item month, which the range must follow.
        QTest::newRow("the base item month itself") << 5 << 1 << 2003 << 11;
    }
    void refusesSizesItCannotWrite() {
        QFETCH(int, workers);
        QFETCH(int, months);
        QFETCH(int, startYear);
        QFETCH(int, startMonth);
        GeneratorOptions o = tinyOptions(1);
        o.workers = workers;
        o.months = months;
        o.startYear = startYear;
        o.startMonth = startMonth;
        const QString target = file(QStringLiteral("refused.mdb"));
        QVERIFY_THROWS_EXCEPTION(hx::Error, hxbench::generateAccountSet(target, o));
        QVERIFY(!QFile::exists(target));
    }

    void smallestSetAndAGivenTemplate() {
        // One worker and one process: every bundle of the day is the same process, so only the sizes
        // keep the records apart.
        const QString templ = file(QStringLiteral("mlcp.dll"));
        hx::createAccountSetTemplate(templ);
        {
            hx::Connection cn;
            cn.open(templ);
            cn.exec(QStringLiteral("update wCodeName set wCode = 33"));
        }
        GeneratorOptions o = tinyOptions(3);
        o.workers = 1;
        o.processes = 1;
        o.months = 1;
        o.recordsPerWorkerMonth = 600;
        o.templatePath = templ;
        const QString target = file(QStringLiteral("smallest.mdb"));
        const auto result = hxbench::generateAccountSet(target, o);
        QCOMPARE(result.dismissed, 0);
        QVERIFY(result.records > 400);
        hx::Connection cn;
        cn.open(target);
        QCOMPARE(count(cn, QStringLiteral("select count(*) from JobData")), result.records);
        QCOMPARE(
            count(cn, QStringLiteral("select count(*) from (select distinct dateD, staffID, jobID, qty from "
                                     "JobData)")),
            result.records);
        QCOMPARE(count(cn, QStringLiteral("select wCode from wCodeName")), qint64(33));
    }
};

QTEST_GUILESS_MAIN(TestGenerator)
#include "tst_generator.moc"
