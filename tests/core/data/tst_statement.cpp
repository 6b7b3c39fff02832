#include <QtTest>
#include <chrono>
#include <limits>
#include <thread>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/data/sqlite/sqlitedatabase.h"
#include "support/coresupport.h"

using namespace hx;

// The connection and its one statement type: opening only what is a database, values in and out as the
// file keeps them, statements reused, errors raised with the database's own message.
class TestStatement : public QObject {
    Q_OBJECT

    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;

    QString typeOf(const QString& table, const QString& column, const QString& where) {
        return cn.scalar(QStringLiteral("select typeof(%1) from %2 where %3").arg(column, table, where))
            .toString();
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("r"));
        cn.exec("create table t (d DATE, n INTEGER, m CURRENCY, s VARCHAR(10))");
        cn.exec("insert into t values ('2025-03-01', 7, 12.5, 'O''Neil')");
        cn.exec("insert into t values ('2025-02-28', NULL, 3, '0012')");
        cn.exec("insert into t values ('2025-03-02 08:30', -1, NULL, NULL)");
    }
    void cleanup() { dir.reset(); }

    void opensOnlyAnExistingDatabase() {
        if (hxtest::onServer()) QSKIP("a database file that is missing or is no database is the file's own");
        Connection other;
        const QString missing = dir->file(QStringLiteral("无.mdb"));
        try {
            other.open(missing);
            QFAIL("a missing file must not open");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("文件不存在")), qPrintable(e.message()));
        }
        QVERIFY(!QFile::exists(missing));
        QVERIFY(!other.isOpen());

        const QString text = dir->file(QStringLiteral("文本.mdb"));
        {
            QFile f(text);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("这不是数据库，只是一段足够长的文字，长过数据库文件的头部。这不是数据库，只是一段文字。");
        }
        const QByteArray before = [&] {
            QFile f(text);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        try {
            other.open(text);
            QFAIL("a file that is not a database must not open");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("不是有效的数据库文件")), qPrintable(e.message()));
        }
        QVERIFY(!other.isOpen());
        QFile f(text);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QVERIFY_THROWS_EXCEPTION(DbError, other.exec("select 1"));
    }

    void readOnlyConnectionIsRefusedEveryChange() {
        Connection ro;
        hxtest::openAgain(ro, cn, Connection::Access::ReadOnly);
        QCOMPARE(ro.scalar("select count(*) from t").toInt(), 3);
        QVERIFY_THROWS_EXCEPTION(DbError, ro.exec("delete from t"));
        QVERIFY_THROWS_EXCEPTION(DbError, ro.execScript("create table u (a integer)"));
        QCOMPARE(cn.scalar("select count(*) from t").toInt(), 3);
    }

    // The second writer of a row waits until the first one's transaction ends, then writes on what the
    // first one stored.
    void aWriterWaitsForAnotherConnectionsTransaction() {
        Connection holder;
        hxtest::openAgain(holder, cn);
        holder.beginTransaction();
        holder.exec("update t set n = 100 where n = 7");
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            holder.commit();
        });
        // Without waiting for the lock this raises "database is locked" at once.
        int changed = 0;
        try {
            changed = cn.exec("update t set n = n + 1 where s = 'O''Neil'");
        } catch (...) {
            release.join();
            throw;
        }
        release.join();
        QCOMPARE(changed, 1);
        QCOMPARE(cn.scalar("select n from t where s = 'O''Neil'").toInt(), 101);
    }

    void boundValuesOfEveryKind() {
        PreparedStatement r(
            cn, "select ?, cast(? as bigint), ?, ?, ?, ?",
            {QDate(2025, 3, 1), qint64(1) << 40, 0.25, QVariant::fromValue(*Money::parse("1.5")),
             QStringLiteral("O\"Neil'"), QVariant()});
        QVERIFY(r.next());
        QCOMPARE(r.value(0), QVariant(QStringLiteral("2025-03-01")));
        QCOMPARE(r.kind(1), PreparedStatement::Kind::Integer);
        QCOMPARE(r.integer(1), qint64(1) << 40);
        QCOMPARE(r.real(2), 0.25);
        QCOMPARE(r.real(3), 1.5);
        QCOMPARE(r.value(4).toString(), QStringLiteral("O\"Neil'"));
        QCOMPARE(r.kind(5), PreparedStatement::Kind::Null);
        QVERIFY(!r.value(5).isValid());
        QVERIFY(!r.next());

        // Whole numbers over their whole range, as the bulk paths read them.
        PreparedStatement whole(
            cn, "select cast(? as bigint), cast(? as bigint), cast(? as integer)",
            {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), -42});
        QVERIFY(whole.next());
        const qint64 expected[] = {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(),
                                   -42};
        for (int c = 0; c < 3; ++c) {
            qint64 n = 0;
            QCOMPARE(whole.integerOrKind(c, n), PreparedStatement::Kind::Integer);
            QCOMPARE(n, expected[c]);
            QCOMPARE(whole.integer(c), expected[c]);
        }

        // An amount read from a text is exact over the whole range of money, and beyond it refused.
        PreparedStatement amounts(cn, "select ?, ?, ?",
                                  {"922337203685477.5807", "922337203685477.5808", "x"});
        QVERIFY(amounts.next());
        QCOMPARE(amounts.money(0), Money::fromUnits(std::numeric_limits<qint64>::max()));
        QVERIFY_THROWS_EXCEPTION(MoneyOverflowError, amounts.money(1));
        QCOMPARE(amounts.money(2), Money());

        // An element of a list of whole numbers bound as one parameter; Null outside the list.
        const Dialect& dialect = cn.dialect();
        const QString list = dialect.wholeNumberList({5, -7, std::numeric_limits<qint64>::max()});
        PreparedStatement element(cn, QStringLiteral("select %1, %2, %3, %4")
                                          .arg(dialect.listElement("1"), dialect.listElement("1 + 1"),
                                               dialect.listElement("3"), dialect.listElement("4")));
        element.bindAll({list, list, list, list});
        QVERIFY(element.next());
        QCOMPARE(element.integer(0), qint64(5));
        QCOMPARE(element.integer(1), qint64(-7));
        QCOMPARE(element.integer(2), std::numeric_limits<qint64>::max());
        QVERIFY(element.isNull(3));
        PreparedStatement outside(cn, QStringLiteral("select %1").arg(dialect.listElement("0")), {list});
        QVERIFY(outside.next());
        QVERIFY(outside.isNull(0));
    }

    // Values go in as a free query should see them, whichever way they are bound.
    void valuesAreStoredAsAFreeQuerySeesThem() {
        cn.exec(
            "insert into t (d, n, m, s) values (?, ?, ?, ?)",
            {QDate(2025, 4, 1), true, QVariant::fromValue(Money::fromYuan(300)), QString(QLatin1String(""))});
        QCOMPARE(cn.scalar("select n from t where d='2025-04-01'"), QVariant(qint64(-1)));
        QCOMPARE(cn.scalar("select m from t where d='2025-04-01'"), QVariant(qint64(300)));
        QCOMPARE(hxtest::rowCount(cn, "t", "d='2025-04-01' and s = ''"), 1);  // empty text, not Null

        PreparedStatement insert(cn, "insert into t (d, n, m, s) values (?, ?, ?, ?)");
        QCOMPARE(insert.parameterCount(), 4);
        insert.bind(1, QDate(2025, 4, 2));
        insert.bindYesNo(2, false);
        insert.bind(3, *Money::parse("12.3456"));
        insert.bind(4, QString());
        QCOMPARE(insert.run(), 1);
        QCOMPARE(cn.scalar("select n from t where d='2025-04-02'"), QVariant(qint64(0)));
        QCOMPARE(cn.scalar("select m from t where d='2025-04-02'"), QVariant(12.3456));
        QCOMPARE(hxtest::rowCount(cn, "t", "d='2025-04-02' and s is null"), 1);
        PreparedStatement back(cn, "select m from t where d='2025-04-02'");
        QVERIFY(back.next());
        QCOMPARE(back.money(0), *Money::parse("12.3456"));
    }

    // An amount goes in and comes back with every digit, however it is bound and read: as a value of a
    // statement, in a condition, in a data set's row and in what the data set posts.
    void amountsKeepEveryDigit_data() {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("beyondAReal");
        QTest::newRow("the most a user may type") << "89999999999.9999" << false;
        QTest::newRow("a ten-thousandth below zero") << "-0.0001" << false;
        QTest::newRow("eighteen digits") << "12345678901234.5678" << true;
        QTest::newRow("the largest amount") << "922337203685477.5807" << true;
        QTest::newRow("the smallest amount") << "-922337203685477.5808" << true;
    }
    void amountsKeepEveryDigit() {
        QFETCH(QString, amount);
        QFETCH(bool, beyondAReal);
        if (beyondAReal && !hxtest::onServer())
            QSKIP("the file keeps amounts as reals, which hold fifteen digits exactly");
        const Money m = *Money::fromDecimalText(amount.toLatin1());
        QCOMPARE(m.toPlainString(), amount);
        PreparedStatement insert(cn, "insert into t (s, m) values (?, ?)");
        insert.bind(1, QStringLiteral("bound"));
        insert.bind(2, m);
        QCOMPARE(insert.run(), 1);
        cn.exec("insert into t (s, m) values (?, ?)", {"variant", QVariant::fromValue(m)});
        PreparedStatement back(cn, "select m from t where s = ?");
        for (const char* s : {"bound", "variant"}) {
            back.reset();
            back.bind(1, QString::fromLatin1(s));
            QVERIFY(back.next());
            QCOMPARE(back.money(0), m);
        }
        QCOMPARE(cn.scalar("select count(*) from t where m = ?", {QVariant::fromValue(m)}).toInt(), 2);

        DataSet ds(&cn);
        ds.setSql("select s, m from t where s in ('bound', 'variant') order by s");
        ds.setUpdateTable("t", {"s"});
        ds.open();
        QCOMPARE(ds.valueAt(0, 1).value<Money>(), m);
        QCOMPARE(ds.valueAt(1, 1).value<Money>(), m);
        // Posted one unit nearer to zero, then back: the row is found as it was read both times.
        const Money nearer = m + Money::fromUnits(m < Money() ? 1 : -1);
        ds.setValue("m", QVariant::fromValue(nearer));
        QVERIFY(ds.post());
        back.reset();
        back.bind(1, QStringLiteral("bound"));
        QVERIFY(back.next());
        QCOMPARE(back.money(0), nearer);
        ds.setValue("m", QVariant::fromValue(m));
        QVERIFY(ds.post());
        ds.close();
        ds.open();
        QCOMPARE(ds.valueAt(0, 1).value<Money>(), m);
    }

    // Prepared once, run many times: values bound stay until rebound, a reset starts the rows anew, and a
    // run the database refuses leaves the statement usable.
    void aStatementIsReusedWithNewValues() {
        cn.execScript("create unique index ts on t (s)");
        PreparedStatement insert(cn, "insert into t (s, n) values (?, ?)");
        insert.bind(2, 5);
        for (const char* s : {"a1", "a2", "a3"}) {
            insert.bind(1, QString::fromLatin1(s));
            QCOMPARE(insert.run(), 1);
        }
        insert.bind(1, QStringLiteral("a2"));
        try {
            insert.run();
            QFAIL("a duplicate must be refused");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("重复")), qPrintable(e.message()));
        }
        insert.bind(1, QStringLiteral("a4"));
        QCOMPARE(insert.run(), 1);
        QCOMPARE(cn.scalar("select count(*) from t where n = 5").toInt(), 4);

        PreparedStatement read(cn, "select s from t where n = ? order by s");
        read.bind(1, 5);
        QVERIFY(read.next());
        QCOMPARE(read.text(0), QStringLiteral("a1"));
        read.reset();
        QStringList all;
        while (read.next()) all << read.text(0);
        QCOMPARE(all, QStringList({"a1", "a2", "a3", "a4"}));
        read.reset();
        read.bind(1, 7);
        QVERIFY(read.next());
        QCOMPARE(read.text(0), QStringLiteral("O'Neil"));
        QCOMPARE(read.columnName(0), QStringLiteral("s"));
        QCOMPARE(read.columnType(0).size, 10);
    }

    // Rows written in large numbers read back as bound rows do, texts with every sign a line of text can
    // break on included; unfinished they store nothing once rolled back, and a duplicate is refused with
    // the message of a bound insert.
    void rowsInLargeNumbersReadBackAsWritten() {
        cn.exec(
            QStringLiteral("create table w (n INTEGER, r DOUBLE PRECISION, m CURRENCY, s VARCHAR(20), b %1)")
                .arg(hxtest::onServer() ? "bytea" : "BLOB"));
        const QByteArray bytes("\0\x01\\\t\xff", 5);
        const QString awkward = QStringLiteral("甲\t乙\\N\n丙\r\\");
        const int rows = 3000;  // more than the server takes in one piece
        {
            Transaction transaction(cn);
            RowWriter writer(cn, "w", {"n", "r", "m", "s", "b"});
            for (int i = 0; i < rows; ++i) {
                writer.add(i);
                writer.add(i / 8.0);
                writer.add(Money::fromUnits(qint64(i) * 10001));
                if (i == 1)
                    writer.add(awkward);
                else if (i == 2)
                    writer.add(QString(QLatin1String("")));
                else if (i == 3)
                    writer.addNull();
                else
                    writer.add(QStringLiteral("行%1").arg(i));
                writer.add(i == 1 ? QVariant(bytes) : QVariant());
            }
            writer.finish();
            transaction.commit();
        }
        QCOMPARE(cn.scalar("select count(*) from w").toInt(), rows);
        PreparedStatement back(cn, "select n, r, m, s, b from w order by n");
        for (int i = 0; i < rows; ++i) {
            QVERIFY(back.next());
            QCOMPARE(back.integer(0), qint64(i));
            QCOMPARE(back.real(1), i / 8.0);
            QCOMPARE(back.money(2), Money::fromUnits(qint64(i) * 10001));
            if (i == 1) QCOMPARE(back.text(3), awkward);
            if (i == 1) QCOMPARE(back.value(4).toByteArray(), bytes);
            if (i == 0) QCOMPARE(back.kind(4), PreparedStatement::Kind::Null);
            if (i == 2) QCOMPARE(back.kind(3), PreparedStatement::Kind::Text);
            if (i == 2) QCOMPARE(back.text(3), QString());
            if (i == 3) QCOMPARE(back.kind(3), PreparedStatement::Kind::Null);
        }
        QVERIFY(!back.next());
        back.reset();

        {
            Transaction transaction(cn);
            RowWriter writer(cn, "w", {"n", "s"});
            for (int i = 0; i < 10; ++i) {
                writer.add(rows + i);
                writer.add(QStringLiteral("未完"));
            }
            writer.add(rows + 10);  // half a row, and no finish
        }
        QCOMPARE(cn.scalar("select count(*) from w").toInt(), rows);
        QVERIFY(!cn.inTransaction());

        cn.execScript("create unique index w_s on w (s)");
        try {
            Transaction transaction(cn);
            RowWriter writer(cn, "w", {"n", "s"});
            writer.add(-1);
            writer.add(QStringLiteral("新的"));
            writer.add(-2);
            writer.add(QStringLiteral("行7"));
            writer.finish();
            transaction.commit();
            QFAIL("a duplicate must be refused");
        } catch (const ConstraintError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("重复")), qPrintable(e.message()));
        }
        QCOMPARE(cn.scalar("select count(*) from w").toInt(), rows);
        QCOMPARE(cn.scalar("select count(*) from w where n < 0").toInt(), 0);
    }

    // A statement whose columns are asked for before it runs (as a list asks) may have its rows sent in
    // another form; every value reads as it does from the same statement not asked.
    void aDescribedStatementReadsAsAnUndescribedOne() {
        cn.exec(
            QStringLiteral("create table v (d DATE, a SMALLINT, b INTEGER, c BIGINT, s VARCHAR(20), x %1)")
                .arg(hxtest::onServer() ? "bytea" : "BLOB"));
        const QByteArray bytes("\0\x01\\x\xff", 5);
        const QList<QVariantList> rows{
            {QDate(2025, 3, 1), -32768, std::numeric_limits<int>::min(), std::numeric_limits<qint64>::min(),
             QStringLiteral("甲乙"), bytes},
            {QDate(2025, 3, 1), 32767, std::numeric_limits<int>::max(), std::numeric_limits<qint64>::max(),
             QString(QLatin1String("")), QByteArray("")},
            {QDate(1, 1, 1), 0, 0, 0, QStringLiteral("0012"), QVariant()},
            {QDate(9999, 12, 31), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
            {QVariant(), 1, 2, 3, QStringLiteral(" 7 "), QByteArray("text")},
        };
        for (const QVariantList& row : rows) cn.exec("insert into v values (?, ?, ?, ?, ?, ?)", row);
        if (hxtest::onServer()) cn.exec("insert into v (d, a) values ('0044-03-15 BC', 9)");
        const char* sql = "select d, a, b, c, s, x, b > 0, d + 0 from v order by a";
        PreparedStatement plain(cn, sql);
        PreparedStatement described(cn, sql);
        QCOMPARE(described.columnCount(), 8);
        int read = 0;
        while (plain.next()) {
            QVERIFY(described.next());
            ++read;
            for (int c = 0; c < 8; ++c) {
                const auto where = qPrintable(QStringLiteral("row %1, column %2").arg(read).arg(c));
                QVERIFY2(described.kind(c) == plain.kind(c), where);
                qint64 n = 0, m = 0;
                QVERIFY2(described.integerOrKind(c, n) == plain.integerOrKind(c, m) && n == m, where);
                if (plain.kind(c) == PreparedStatement::Kind::Null) continue;
                QVERIFY2(described.integer(c) == plain.integer(c), where);
                QVERIFY2(described.real(c) == plain.real(c), where);
                QVERIFY2(described.utf8(c).toByteArray() == plain.utf8(c).toByteArray(), where);
                QByteArrayView t, u;
                QVERIFY2(described.textOrKind(c, t) == plain.textOrKind(c, u) && t == u, where);
                QVERIFY2(described.value(c) == plain.value(c), where);
            }
        }
        QVERIFY(!described.next());
        QCOMPARE(read, rows.size() + (hxtest::onServer() ? 1 : 0));
        // What was written comes back, not only the same both ways.
        PreparedStatement first(cn, "select d, a, b, c, s, x from v where a = -32768");
        QCOMPARE(first.columnCount(), 6);
        QVERIFY(first.next());
        QCOMPARE(first.text(0), QStringLiteral("2025-03-01"));
        QCOMPARE(first.integer(1), qint64(-32768));
        QCOMPARE(first.integer(2), qint64(std::numeric_limits<int>::min()));
        QCOMPARE(first.integer(3), std::numeric_limits<qint64>::min());
        QCOMPARE(first.text(4), QStringLiteral("甲乙"));
        QCOMPARE(first.value(5).toByteArray(), bytes);
        if (hxtest::onServer()) {
            PreparedStatement old(cn, "select d from v where a = 9");
            QCOMPARE(old.columnCount(), 1);
            QVERIFY(old.next());
            QCOMPARE(old.text(0), QStringLiteral("0044-03-15 BC"));
        }
    }

    // What a result column holds comes from the schema: through an alias too, never for a computed one.
    void statementsTellTheKindOfEachColumn() {
        PreparedStatement q(cn, "select d, n, m as amount, s, n + 1 from t");
        const FieldType expected[] = {FieldType::Date, FieldType::Integer, FieldType::Money, FieldType::Text,
                                      FieldType::Unknown};
        for (int c = 0; c < 5; ++c) QCOMPARE(q.columnType(c).type, expected[c]);
        QCOMPARE(q.columnType(3).size, 10);
        QCOMPARE(q.columnType(0).size, 0);
        // A stored column is named as the schema writes it, an alias as it is given.
        PreparedStatement named(cn, "select StaffCode, StaffName as who, * from staff");
        QCOMPARE(named.columnName(0), QStringLiteral("StaffCode"));
        QCOMPARE(named.columnName(1), QStringLiteral("who"));
        QCOMPARE(named.columnName(2), QStringLiteral("staffID"));
    }

    // Tables, their columns with kinds and keys, and views, as the catalogue has them.
    void theCatalogueDescribesTablesAndViews() {
        QVERIFY(cn.tableExists("salaryData"));
        QVERIFY(cn.tableExists("SALARYDATA"));
        QVERIFY(!cn.tableExists("qryData"));  // a view is no table
        QVERIFY(!cn.tableExists("nosuch"));
        QVERIFY(!cn.tableExists("staff'; drop table staff; --"));
        QVERIFY(cn.tableExists("staff"));

        const std::vector<TableColumn> salary = cn.tableColumns("Salary");
        QStringList names;
        QList<int> keys;
        for (const TableColumn& column : salary) {
            names << column.name;
            keys << column.keyPosition;
        }
        // As the schema writes them; the server keeps names that are not quoted in lower case.
        QStringList written = {"year", "month", "ItemCode", "ItemName", "expression", "printWidth"};
        if (hxtest::onServer())
            for (QString& name : written) name = name.toLower();
        QCOMPARE(names, written);
        QCOMPARE(keys, QList<int>({1, 2, 3, 0, 0, 0}));
        QCOMPARE(salary[4].type.type, FieldType::Text);
        QCOMPARE(salary[4].type.size, 255);
        QCOMPARE(salary[0].type.type, FieldType::Integer);
        const std::vector<TableColumn> kinds = cn.tableColumns("t");
        QCOMPARE(int(kinds.size()), 4);
        QCOMPARE(kinds[0].type.type, FieldType::Date);
        QCOMPARE(kinds[2].type.type, FieldType::Money);
        QCOMPARE(kinds[3].type.type, FieldType::Text);
        QCOMPARE(kinds[3].type.size, 10);
        QCOMPARE(kinds[1].keyPosition, 0);  // no declared key
        QVERIFY(cn.tableColumns("nosuch").empty());

        const QString view = cn.viewDefinition("qrydataday");
        QVERIFY2(view.startsWith("CREATE VIEW qryDataDay", Qt::CaseInsensitive), qPrintable(view));
        QCOMPARE(view, hxtest::schemaDefinition(cn, "view", "qryDataDay"));
        QVERIFY(cn.viewDefinition("staff").isEmpty());  // a table is no view
        QVERIFY(cn.viewDefinition("nosuch").isEmpty());
    }

    // An insert gives back the key its row was given; one that inserts nothing or is refused raises and
    // leaves the table as it was.
    void anInsertGivesBackItsKey() {
        const QString add = QStringLiteral("insert into staff (StaffCode, StaffName) values (?, ?)");
        const qint64 first = cn.insert(add, {"001", "O'Neil"}, "staffID");
        QCOMPARE(cn.scalar("select StaffName from staff where staffID=?", {first}).toString(),
                 QStringLiteral("O'Neil"));
        const qint64 second = cn.insert(add, {"002", "b"}, "StaffID");
        QVERIFY(second > first);
        cn.exec("delete from staff where staffID=?", {second});
        // A deleted row's key is never handed out again.
        const qint64 third = cn.insert(add, {"003", "c"}, "staffID");
        QVERIFY(third > second);
        QCOMPARE(third, hxtest::lastKeyIssued(cn, "staff"));

        QVERIFY_THROWS_EXCEPTION(ConstraintError, cn.insert(add, {"001", "again"}, "staffID"));
        QVERIFY_THROWS_EXCEPTION(
            DbError,
            cn.insert("insert into staff (StaffCode, StaffName) select 'x', 'y' where 1 = 0", {}, "staffID"));
        QCOMPARE(hxtest::rowCount(cn, "staff"), 2);
        // Within a transaction rolled back, the row is gone with it.
        {
            Transaction t(cn);
            QVERIFY(cn.insert(add, {"004", "d"}, "staffID") > third);
        }
        QCOMPARE(hxtest::rowCount(cn, "staff"), 2);
        // The row of a key given back is complete: the statement has run to its end.
        const qint64 fifth = cn.insert(add, {"005", "e"}, "staffID");
        QCOMPARE(cn.scalar("select StaffCode from staff where staffID=?", {fifth}).toString(),
                 QStringLiteral("005"));
    }

    void pagingReadsOneWindowOfRows() {
        const auto page = [&](qint64 rows, qint64 offset) {
            QStringList found;
            PreparedStatement q(
                cn, cn.dialect().paged("select n from t where n is not null order by n", rows, offset));
            while (q.next()) found << q.text(0);
            return found;
        };
        QCOMPARE(page(1, 0), QStringList({"-1"}));
        QCOMPARE(page(5, 1), QStringList({"7"}));
        QCOMPARE(page(0, 0), QStringList());
        QVERIFY(page(2, 2).isEmpty());
    }

    // The engine's settings for a large piece of work last as long as the outermost hint, and never
    // outlive the database they were made on.
    void bulkWorkIsUndoneWhenItEnds() {
        const qint64 usual = hxtest::cacheSetting(cn);
        {
            const BulkWork outer(cn);
            const qint64 bulk = hxtest::cacheSetting(cn);
            QVERIFY(bulk != usual);
            {
                const BulkWork inner(cn);
                QCOMPARE(hxtest::cacheSetting(cn), bulk);
            }
            QCOMPARE(hxtest::cacheSetting(cn), bulk);
            QCOMPARE(cn.scalar("select count(*) from t").toInt(), 3);
        }
        QCOMPARE(hxtest::cacheSetting(cn), usual);
        {
            const BulkWork cut(cn);
            Connection other;
            hxtest::openAgain(other, cn);
            cn.close();
            hxtest::openAgain(cn, other);
        }
        QCOMPARE(hxtest::cacheSetting(cn), usual);
        const BulkWork again(cn);
        QVERIFY(hxtest::cacheSetting(cn) != usual);
    }

    void errorsAreRaised() {
        QVERIFY_THROWS_EXCEPTION(DbError, PreparedStatement(cn, "select * from t where n=?", {}));
        QVERIFY_THROWS_EXCEPTION(DbError, PreparedStatement(cn, "select ?", {1, 2}));
        try {
            PreparedStatement r(cn, "select nothing from t");
            QFAIL("a bad statement must raise");
        } catch (const DbError& e) {
            QVERIFY(e.message().contains("nothing"));
        }
        // A second statement is never run, nor silently left out.
        QVERIFY_THROWS_EXCEPTION(DbError, cn.exec("update t set n = 1; delete from t"));
        QVERIFY_THROWS_EXCEPTION(DbError, cn.exec("update t set n = 1; nonsense"));
        QCOMPARE(cn.scalar("select count(*) from t").toInt(), 3);
        QCOMPARE(cn.scalar("select count(*) from t where n = 1").toInt(), 0);
        // Blanks, comments and semicolons after it are fine.
        QCOMPARE(cn.exec("update t set n = 2 where n = 7; -- done\n;"), 1);
        // A text of no statement, and a statement moved away, raise rather than run nothing.
        QString rest;
        PreparedStatement none = PreparedStatement::first(cn, " -- nothing\n;", &rest);
        QVERIFY(none.isEmpty());
        QVERIFY(!none.isReadOnly());
        QVERIFY_THROWS_EXCEPTION(DbError, none.next());
        QVERIFY_THROWS_EXCEPTION(DbError, none.bindAll({}));
        PreparedStatement moved(cn, "select 1");
        PreparedStatement taken = std::move(moved);
        QVERIFY(taken.next());
        QVERIFY_THROWS_EXCEPTION(DbError, moved.run());
        QVERIFY_THROWS_EXCEPTION(DbError, moved.columnCount());
    }

    // A statement may outlive the connection that made it, and a transaction left open is rolled back.
    void closingLeavesNothingBehind() {
        auto alive = std::make_unique<PreparedStatement>(cn, "select s from t order by s");
        QVERIFY(alive->next());
        cn.beginTransaction();
        cn.exec("delete from t");
        Connection other;
        hxtest::openAgain(other, cn);
        cn.close();
        QVERIFY(!cn.isOpen());
        QVERIFY_THROWS_EXCEPTION(DbError, cn.scalar("select 1"));
        QVERIFY_THROWS_EXCEPTION(DbError, sqliteDatabase(cn));
        alive.reset();
        hxtest::openAgain(cn, other);
        QCOMPARE(cn.scalar("select count(*) from t").toInt(), 3);
        QVERIFY(!cn.inTransaction());
    }

    void dataSetValuesKeepTheirTypes() {
        cn.exec("create unique index t_key on t (s)");
        DataSet ds(&cn);
        ds.setSql("select d, n, m, s from t order by d");
        ds.setUpdateTable("t", {"s"});
        ds.open();
        QCOMPARE(ds.recordCount(), 3);
        QCOMPARE(ds.valueAt(0, 0), QVariant(QDate(2025, 2, 28)));
        QVERIFY(ds.valueAt(0, 1).isNull());
        QCOMPARE(ds.valueAt(0, 2).value<Money>(), Money::fromYuan(3));
        QCOMPARE(ds.valueAt(0, 3), QVariant(QStringLiteral("0012")));
        QCOMPARE(ds.valueAt(1, 0), QVariant(QDate(2025, 3, 1)));
        QCOMPARE(ds.valueAt(1, 1), QVariant(qint64(7)));
        QCOMPARE(ds.valueAt(1, 2).value<Money>(), *Money::parse("12.5"));
        QCOMPARE(ds.valueAt(1, 3), QVariant(QStringLiteral("O'Neil")));
        // A time after the date is dropped.
        QCOMPARE(ds.valueAt(2, 0), QVariant(QDate(2025, 3, 2)));
        QVERIFY(ds.valueAt(2, 3).isNull());
        // Stored by its key, Null in this row, and read back.
        ds.setRecNo(2);
        ds.setValue("n", 9);
        QVERIFY(ds.post());
        QCOMPARE(cn.scalar("select n from t where s is null").toInt(), 9);
    }

    // The file holds what its columns do not declare: a column of no type holds any value, a date column
    // a day that does not exist, and each value keeps the kind it was bound as.
    void theFileKeepsWhatItsColumnsDoNotDeclare() {
        if (hxtest::onServer()) QSKIP("a server's column holds only values of its declared type");
        cn.exec("create table u (d DATE, m CURRENCY, s VARCHAR(10), x)");
        cn.exec("insert into u values ('2025-03-01', 12.5, 'O''Neil', 1.5)");
        cn.exec("insert into u values ('2025-02-30', 3, '0012', 'a')");
        PreparedStatement q(cn, "select d, x, x + 1 from u");
        QCOMPARE(q.columnType(0).type, FieldType::Date);
        QCOMPARE(q.columnType(1).type, FieldType::Unknown);
        QCOMPARE(q.columnType(2).type, FieldType::Unknown);
        QCOMPARE(cn.tableColumns("u")[3].type.type, FieldType::Unknown);

        DataSet ds(&cn);
        ds.setSql("select d, x from u order by s desc");
        ds.open();
        QCOMPARE(ds.valueAt(0, 1), QVariant(1.5));
        // A day that does not exist stays the stored text.
        QCOMPARE(ds.valueAt(1, 0), QVariant(QStringLiteral("2025-02-30")));
        ds.close();

        // Whole yuan as integers, other amounts as reals, an empty text as text, Null as Null.
        cn.exec("insert into u (d, m, s, x) values (?, ?, ?, ?)",
                {QDate(2025, 4, 1), QVariant::fromValue(Money::fromYuan(300)), QString(QLatin1String("")),
                 false});
        QCOMPARE(typeOf("u", "m", "d='2025-04-01'"), QStringLiteral("integer"));
        QCOMPARE(typeOf("u", "s", "d='2025-04-01'"), QStringLiteral("text"));
        QCOMPARE(cn.scalar("select x from u where d='2025-04-01'"), QVariant(qint64(0)));
        PreparedStatement insert(cn, "insert into u (d, m, s) values (?, ?, ?)");
        insert.bind(1, QDate(2025, 4, 2));
        insert.bind(2, *Money::parse("12.3456"));
        insert.bind(3, QString());
        QCOMPARE(insert.run(), 1);
        QCOMPARE(typeOf("u", "m", "d='2025-04-02'"), QStringLiteral("real"));
        QCOMPARE(typeOf("u", "s", "d='2025-04-02'"), QStringLiteral("null"));
    }
};

HX_BOTH_ENGINES;
QTEST_GUILESS_MAIN(TestStatement)
#include "tst_statement.moc"
