#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <atomic>
#include <thread>

#include "core/data/connection.h"
#include "core/data/schema.h"
#include "core/payroll/generation.h"
#include "core/production/production.h"
#include "core/production/qrcode.h"
#include "core/production/scanning.h"
#include "core/production/ticketcode.h"
#include "support/coresupport.h"

using namespace hx;
using namespace Qt::StringLiterals;

class TestProduction : public QObject {
    Q_OBJECT

    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;
    const QDate day{2026, 12, 8};
    qint64 sun = 0, li = 0, zhou = 0;   // workers 0012, 0013, 0014
    qint64 cut = 0, sew = 0, iron = 0;  // the processes of style S1 in production

    qint64 addWorker(const QString& code, const QString& name, bool dismissed = false) {
        return cn.insert("insert into staff (StaffCode, StaffName, salaryDay, Firedd) values (?, ?, 10, ?)",
                         {code, name, dismissed ? -1 : 0}, "staffID");
    }
    qint64 addJob(const QString& code, const QString& style, const QString& price, bool finished = false) {
        return cn.insert(
            "insert into job (JobCode, Description, StyleGroup, UnitPrice, stopp) values (?, ?, ?, ?, ?)",
            {code, "工序" + code, style, QVariant::fromValue(*Money::parse(price)), finished ? -1 : 0},
            "JobID");
    }
    // An order of S1 with bundles of 30 from the breakdown; its bundles' keys.
    std::vector<qint64> order(const QString& code, const std::vector<BreakdownLine>& lines) {
        std::vector<qint64> ids;
        for (const Bundle& b : generateBundles(cn, addOrder(cn, code, "S1", day), lines, 30))
            ids.push_back(b.id);
        return ids;
    }
    QString codeOf(qint64 bundleId, qint64 jobId) {
        return cn.scalar("select code from bundleTicket where bundleID = ? and jobID = ?", {bundleId, jobId})
            .toString();
    }
    QString records(const QString& where = "1=1") {
        return hxtest::rowsText(cn, "JobData", "dateD, staffID, jobID, qty",
                                {"dateD", "staffID", "jobID", "qty"}, where);
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::OpenAccountSet>(cn, "p");
        sun = addWorker("0012", "孙八");
        li = addWorker("0013", "李四");
        zhou = addWorker("0014", "周五");
        cut = addJob("J1", "S1", "0.12");
        sew = addJob("J2", "S1", "0.3333");
        iron = addJob("J3", "S1", "1.5");
        addJob("J4", "S1", "9", true);
        addJob("K1", "S2", "7");
    }
    void cleanup() { dir.reset(); }

    // Bundles of the size asked, a smaller last one for the remainder, numbers going on after the
    // order's bundles; a breakdown that cannot be cut stores nothing.
    void bundlesFromABreakdown() {
        const qint64 o = addOrder(cn, "PO-1", "S1", day);
        QCOMPARE(generateBundles(cn, o, {{"红", "M", 1200}}, 30).size(), std::size_t(40));
        QCOMPARE(hxtest::rowCount(cn, "bundle", "qty = 30 and bundleNo between 1 and 40"), 40);
        const std::vector<Bundle> more = generateBundles(cn, o, {{" 蓝 ", "L", 65}, {"白", "S", 30}}, 30);
        QCOMPARE(
            hxtest::rowsText(cn, "bundle", "bundleNo", {"bundleNo", "color", "size", "qty"}, "bundleNo > 40"),
            u"41|蓝|L|30;42|蓝|L|30;43|蓝|L|5;44|白|S|30"_s);
        QCOMPARE(more.back().number, 44);
        QCOMPARE(more.back().id, cn.scalar("select bundleID from bundle where bundleNo = 44").toLongLong());
        QVERIFY_THROWS_EXCEPTION(ProductionError, generateBundles(cn, o, {{"红", "M", 10}}, 0));
        QVERIFY_THROWS_EXCEPTION(ProductionError,
                                 generateBundles(cn, o, {{"红", "M", 10}, {"红", "L", 0}}, 5));
        QVERIFY_THROWS_EXCEPTION(ProductionError, generateBundles(cn, o, {{"红", "M", 30000000}}, 1));
        QVERIFY_THROWS_EXCEPTION(ProductionError, generateBundles(cn, o + 99, {{"红", "M", 10}}, 5));
        QVERIFY_THROWS_EXCEPTION(ProductionError, addOrder(cn, "PO-1", "S1", day));
        QCOMPARE(hxtest::rowCount(cn, "bundle"), 44);
        QCOMPARE(orderByCode(cn, "PO-1"), o);
    }

    // Codes carry their key, and a code with one digit changed or two neighbours swapped is no code.
    void ticketCodesCatchTypingSlips() {
        for (const qint64 key : {qint64(1), qint64(2), qint64(4711), maxTicketKey}) {
            const QString code = ticketCode(key);
            QCOMPARE(code.size(), ticketCodeLength);
            QCOMPARE(ticketKeyOf(code), std::optional<qint64>(key));
            QCOMPARE(ticketKeyOf(code.left(3) + " " + code.mid(3, 3) + "-" + code.mid(6)),
                     std::optional<qint64>(key));
            for (int i = 0; i < code.size(); ++i) {
                for (char d = '0'; d <= '9'; ++d) {
                    QString typo = code;
                    typo[i] = QLatin1Char(d);
                    if (typo != code) QVERIFY2(!ticketKeyOf(typo), qPrintable(typo));
                }
                if (i + 1 < code.size() && code[i] != code[i + 1]) {
                    QString swapped = code;
                    std::swap(swapped[i], swapped[i + 1]);
                    QVERIFY2(!ticketKeyOf(swapped), qPrintable(swapped));
                }
            }
        }
        QVERIFY(ticketCode(1).left(4) != ticketCode(2).left(4));
        QVERIFY(!ticketKeyOf("12345678"));
        QVERIFY(!ticketKeyOf("12345678a"));
        QVERIFY_THROWS_EXCEPTION(Error, ticketCode(maxTicketKey + 1));
    }

    // A ticket per bundle and process of the style in production, made once; later processes of the
    // style are added; tickets are dropped only while none is scanned.
    void ticketsAreMadeOnce() {
        const std::vector<qint64> bundles = order("PO-1", {{"红", "M", 45}});
        const std::vector<TicketStrip> strips = makeTickets(cn, bundles);
        QCOMPARE(strips.size(), std::size_t(2));
        QCOMPARE(strips[1].orderCode, u"PO-1"_s);
        QCOMPARE(strips[1].style, u"S1"_s);
        QCOMPARE(strips[1].bundleNo, 2);
        QCOMPARE(strips[1].pieces, 15);
        QStringList codes;
        for (const TicketStrip& s : strips) {
            QCOMPARE(s.tickets.size(), std::size_t(3));
            QCOMPARE(s.tickets[1].jobCode, u"J2"_s);
            QCOMPARE(s.tickets[1].description, u"工序J2"_s);
            QCOMPARE(s.tickets[2].pieces, s.pieces);
            for (const TicketLine& t : s.tickets) {
                QVERIFY(ticketKeyOf(t.code));
                QCOMPARE(t.code, codeOf(s.bundleId, t.jobId));
                codes << t.code;
            }
        }
        QCOMPARE(QSet<QString>(codes.begin(), codes.end()).size(), 6);
        const qint64 later = addJob("J5", "S1", "0.5");
        const std::vector<TicketStrip> again = makeTickets(cn, {bundles[1], bundles[0]});
        QCOMPARE(again[1].tickets.size(), std::size_t(4));
        for (int i = 0; i < 3; ++i) QCOMPARE(again[1].tickets[i].code, strips[0].tickets[i].code);
        QCOMPARE(again[1].tickets[3].jobId, later);
        QCOMPARE(hxtest::rowCount(cn, "bundleTicket"), 8);

        QVERIFY(acceptTicket(cn, codes[0], day, sun).accepted);
        QVERIFY_THROWS_EXCEPTION(ProductionError, dropTickets(cn, bundles));
        QCOMPARE(hxtest::rowCount(cn, "bundleTicket"), 8);
        QCOMPARE(dropTickets(cn, {bundles[1]}), 4);
        const qint64 styleless = addOrder(cn, "PO-2", "", day);
        QVERIFY_THROWS_EXCEPTION(ProductionError,
                                 makeTickets(cn, {generateBundles(cn, styleless, {{"", "", 5}}, 5)[0].id}));
        QVERIFY_THROWS_EXCEPTION(ProductionError, makeTickets(cn, {bundles[0] + 1000}));
        QCOMPARE(hxtest::rowCount(cn, "bundleTicket"), 4);

        // An order or bundle goes with its tickets, never with another order's; none while a ticket of it
        // is paid, and a refused delete of several bundles deletes none.
        const std::vector<qint64> other = order("PO-3", {{"蓝", "L", 30}});
        makeTickets(cn, other);
        const qint64 first = orderByCode(cn, "PO-1");
        QVERIFY_THROWS_EXCEPTION(ProductionError, deleteOrder(cn, first));
        QVERIFY_THROWS_EXCEPTION(ProductionError, deleteBundles(cn, {bundles[1], bundles[0]}));
        QCOMPARE(hxtest::rowCount(cn, "bundle"), 4);
        QCOMPARE(orderCount(cn, first).scanned, 1);
        QVERIFY(undoTicket(cn, codes[0]).accepted);
        deleteOrder(cn, first);
        QCOMPARE(orderByCode(cn, "PO-1"), 0);
        QCOMPARE(hxtest::rowCount(cn, "bundle",
                                  QStringLiteral("bundleID in (%1, %2)").arg(bundles[0]).arg(bundles[1])),
                 0);
        QCOMPARE(hxtest::rowCount(cn, "bundleTicket"), 4);
        deleteBundles(cn, other);
        QCOMPARE(hxtest::rowCount(cn, "bundleTicket"), 0);
        QCOMPARE(hxtest::rowCount(cn, "bundle"), 1);
        QCOMPARE(nextBundleNo(cn, orderByCode(cn, "PO-3")), 1);
    }

    // Accepted tickets add to the worker's one record of the process for the day; refusals store
    // nothing; an undone ticket leaves the record and can be scanned again.
    void scanRefuseAndUndo() {
        const std::vector<qint64> bundles = order("PO-1", {{"红", "M", 60}});
        makeTickets(cn, bundles);
        cn.exec("insert into JobData (dateD, staffID, jobID, qty) values (?, ?, ?, 7)", {day, sun, sew});
        const ScanOutcome first = acceptTicket(cn, " " + codeOf(bundles[0], sew) + "\n", day, sun);
        QVERIFY2(first.accepted, qPrintable(first.reason));
        QCOMPARE(first.recordPieces, 37);
        QCOMPARE(first.orderCode, u"PO-1"_s);
        QCOMPARE(first.bundleNo, 1);
        QVERIFY(acceptTicket(cn, codeOf(bundles[1], sew), day, sun).accepted);
        QVERIFY(acceptTicket(cn, codeOf(bundles[1], cut), day, sun).accepted);
        const QString all =
            QStringLiteral("2026-12-08|%1|%2|30;2026-12-08|%1|%3|67").arg(sun).arg(cut).arg(sew);
        QCOMPARE(records(), all);

        const ScanOutcome twice = acceptTicket(cn, codeOf(bundles[0], sew), day.addDays(1), li);
        QVERIFY(!twice.accepted);
        QCOMPARE(twice.reason, u"该菲票已于 2026-12-08 由 0012 孙八 扫描"_s);
        QString typo = codeOf(bundles[0], iron);
        typo[4] = typo[4] == '1' ? '2' : '1';
        QCOMPARE(acceptTicket(cn, typo, day, li).reason,
                 "没有菲票号为“" + typo + "”的菲票，请核对后重新输入。");
        cn.exec("update job set stopp = -1 where JobID = ?", {iron});
        QCOMPARE(acceptTicket(cn, codeOf(bundles[0], iron), day, li).reason,
                 u"工序“J3”已完工，该菲票不能再扫描。"_s);
        cn.exec("update job set stopp = 0 where JobID = ?", {iron});
        const qint64 gone = addWorker("0099", "王九", true);
        QCOMPARE(acceptTicket(cn, codeOf(bundles[0], iron), day, gone).reason,
                 u"员工 0099 王九 已辞退，不能再计件。"_s);
        QCOMPARE(workerByBadge(cn, "0099").refusal, u"员工 0099 王九 已辞退，不能再计件。"_s);
        QCOMPARE(workerByBadge(cn, " 0013 ").worker->id, li);
        QCOMPARE(workerByBadge(cn, "7777").refusal, u"没有工号为“7777”的员工。"_s);
        QCOMPARE(records(), all);
        QCOMPARE(hxtest::rowCount(cn, "bundleTicket", "staffID is not null"), 3);

        const Query list = scannedTickets(day, sun);
        PreparedStatement listed(cn, list.sql, list.params);
        QStringList scanned;
        while (listed.next()) scanned << listed.text(0);
        QCOMPARE(scanned,
                 QStringList({codeOf(bundles[0], sew), codeOf(bundles[1], sew), codeOf(bundles[1], cut)}));

        QCOMPARE(undoTicket(cn, codeOf(bundles[1], cut)).recordPieces, 0);
        QCOMPARE(undoTicket(cn, codeOf(bundles[0], sew)).recordPieces, 37);
        QCOMPARE(undoTicket(cn, codeOf(bundles[0], sew)).reason, u"该菲票还没有扫描，不用撤销。"_s);
        QCOMPARE(records(), QStringLiteral("2026-12-08|%1|%2|37").arg(sun).arg(sew));
        QVERIFY(acceptTicket(cn, codeOf(bundles[0], sew), day, li).accepted);
        QCOMPARE(
            hxtest::rowsText(cn, "bundleTicket", "ticketID", {"dateD", "staffID"}, "staffID is not null"),
            QStringLiteral("2026-12-08|%1;2026-12-08|%2").arg(li).arg(sun));
    }

    // Two desks scan the same ticket at the same moment, for two workers: exactly one is paid.
    void twoDesksClaimOneTicket() {
        const std::vector<qint64> bundles = order("PO-1", {{"红", "M", 600}});
        makeTickets(cn, bundles);
        Connection desk;
        hxtest::openAgain(desk, cn);
        for (std::size_t round = 0; round < bundles.size(); ++round) {
            const QString code = codeOf(bundles[round], cut);
            std::atomic<int> ready{0};
            ScanOutcome there;
            QString failure;
            std::thread other([&] {
                ++ready;
                while (ready < 2) {
                }
                try {
                    there = acceptTicket(desk, code, day, li);
                } catch (const Error& e) {
                    failure = e.message();
                }
            });
            ++ready;
            while (ready < 2) {
            }
            const ScanOutcome here = acceptTicket(cn, code, day, sun);
            other.join();
            QCOMPARE(failure, QString());
            QVERIFY2(here.accepted != there.accepted, qPrintable(here.reason + " / " + there.reason));
            const ScanOutcome& loser = here.accepted ? there : here;
            QCOMPARE(loser.reason, here.accepted ? u"该菲票已于 2026-12-08 由 0012 孙八 扫描"_s
                                                 : u"该菲票已于 2026-12-08 由 0013 李四 扫描"_s);
        }
        QCOMPARE(cn.scalar("select sum(qty) from JobData").toLongLong(), 600);
        QCOMPARE(hxtest::rowCount(cn, "bundleTicket", "staffID is not null"), 20);
    }

    // Three workers scan 60 tickets of an order of 1,200 pieces in 40 bundles over the month: each piece
    // wage on the salary sheet is the pieces of the tickets they were paid times the piece rates.
    void salaryOfScannedTickets() {
        const std::vector<qint64> bundles = order("PO-1", {{"红", "M", 600}, {"蓝", "L", 600}});
        QCOMPARE(bundles.size(), std::size_t(40));
        makeTickets(cn, bundles);
        const qint64 workers[] = {sun, li, zhou};
        const qint64 jobs[] = {cut, sew, iron};
        for (int i = 0; i < 60; ++i) {
            const ScanOutcome s = acceptTicket(cn, codeOf(bundles[i % 40], jobs[i / 40 + i % 2]),
                                               day.addDays(i % 5), workers[i % 3]);
            QVERIFY2(s.accepted, qPrintable(s.reason));
        }
        QVERIFY(!acceptTicket(cn, codeOf(bundles[7], jobs[1]), day, zhou).accepted);
        QVERIFY(undoTicket(cn, codeOf(bundles[8], jobs[0])).accepted);

        cn.exec(
            "insert into salary select 2026, 12, ItemCode, ItemName, null, printWidth from salary "
            "where year = 2003 and month = 11 and ItemCode = 'A01'");
        generateSalarySheet(cn, {2026, 12, 10}, QDate(2026, 12, 1), QDate(2026, 12, 31));
        QHash<qint64, Money> expected;
        PreparedStatement paid(
            cn,
            "select t.staffID, sum(t.qty), j.UnitPrice from bundleTicket t join job j on "
            "j.JobID = t.jobID where t.staffID is not null group by t.staffID, j.UnitPrice");
        while (paid.next()) expected[paid.integer(0)] += Money::fromVariant(paid.value(2)) * paid.integer(1);
        QCOMPARE(expected.size(), 3);
        for (const qint64 w : workers) {
            const QVariant a01 = cn.scalar(
                "select s.A01 from salaryData s join staff w on w.StaffCode = s.staffCode "
                "where s.Year = 2026 and w.staffID = ?",
                {w});
            QCOMPARE(Money::fromVariant(a01), expected[w]);
        }
        QCOMPARE(cn.scalar("select sum(qty) from JobData").toLongLong(), 59 * 30);
    }

    // A record that holds ticket pieces keeps at least their sum, and goes only once they are released.
    void theFloorOfARecordHoldingTickets() {
        const std::vector<qint64> bundles = order("PO-1", {{"红", "M", 60}});
        makeTickets(cn, bundles);
        acceptTicket(cn, codeOf(bundles[0], sew), day, sun);
        acceptTicket(cn, codeOf(bundles[1], sew), day, sun);
        const PieceRecord record{day, sun, sew, 60};
        QCOMPARE(ticketHold(cn, record).floor, 60);
        PieceRecord less = record;
        less.qty = 59;
        const QString advice = "\n请先释放这些菲票（释放后它们可以重新扫描）。";
        QCOMPARE(recordChangeRefusal(cn, record, less),
                 "这条计件记录含 2 张菲票扫描的 60 件，数量不能少于 60 件。" + advice);
        less.qty = 61;
        QCOMPARE(recordChangeRefusal(cn, record, less), QString());
        less.day = day.addDays(1);
        QCOMPARE(recordChangeRefusal(cn, record, less),
                 "这条计件记录含 2 张菲票扫描的 60 件，不能删除，也不能改到别的日期、员工或工序。" + advice);
        QVERIFY(!recordChangeRefusal(cn, record, std::nullopt).isEmpty());
        // A typed record beside it lowers its floor, and may go itself.
        cn.exec("insert into JobData (dateD, staffID, jobID, qty) values (?, ?, ?, 25)", {day, sun, sew});
        QCOMPARE(ticketHold(cn, record).floor, 35);
        QCOMPARE(recordChangeRefusal(cn, {day, sun, sew, 25}, std::nullopt), QString());
        QVERIFY(recordChangeRefusal(cn, record, PieceRecord{day, sun, sew, 34}).contains("不能少于 35 件"));
        QVERIFY(!ticketHold(cn, {day, li, sew, 60}).holdsTickets());
        {
            Transaction t(cn);
            QCOMPARE(releaseTickets(cn, day, sun, sew), 2);
            cn.exec("delete from JobData where dateD = ? and staffID = ? and jobID = ? and qty = 60",
                    {day, sun, sew});
            t.commit();
        }
        QCOMPARE(ticketHold(cn, record).tickets, 0);
        QVERIFY(acceptTicket(cn, codeOf(bundles[0], sew), day, li).accepted);
    }

    // Done and left per process, the bundles not done at each, and never more paid than the order has
    // pieces, even when a bundle was cut down after its tickets were printed.
    void progressAndNothingBeyondTheCut() {
        const std::vector<qint64> bundles = order("PO-1", {{"红", "M", 90}});
        makeTickets(cn, bundles);
        acceptTicket(cn, codeOf(bundles[0], cut), day, sun);
        acceptTicket(cn, codeOf(bundles[2], cut), day, sun);
        acceptTicket(cn, codeOf(bundles[1], iron), day, li);
        const qint64 o = orderByCode(cn, "PO-1");
        const auto rows = [this](const Query& q, int columns) {
            PreparedStatement s(cn, q.sql, q.params);
            QStringList texts;
            while (s.next()) {
                QStringList row;
                for (int c = 0; c < columns; ++c) row << s.value(c).toString();
                texts << row.join('|');
            }
            return texts.join(';');
        };
        QCOMPARE(rows(orderProgress(o), 6),
                 u"%1|J1|工序J1|90|60|30;%2|J2|工序J2|90|0|90;%3|J3|工序J3|90|30|60"_s.arg(cut).arg(sew).arg(
                     iron));
        QCOMPARE(rows(openBundles(o), 3),
                 u"J1|工序J1|2;J2|工序J2|1;J2|工序J2|2;J2|工序J2|3;J3|工序J3|1;J3|工序J3|3"_s);

        cn.exec("update bundle set qty = 10 where bundleID = ?", {bundles[1]});
        QVERIFY(acceptTicket(cn, codeOf(bundles[0], sew), day, li).accepted);
        QVERIFY(acceptTicket(cn, codeOf(bundles[1], sew), day, li).accepted);
        const ScanOutcome beyond = acceptTicket(cn, codeOf(bundles[2], sew), day, li);
        QCOMPARE(beyond.reason,
                 u"生产单“PO-1”的工序“J2”扫描的件数将达到 90 件，超过生产单的 70 件，该菲票不能扫描。"_s);
        QCOMPARE(cn.scalar("select qty from JobData where staffID = ? and jobID = ?", {li, sew}).toLongLong(),
                 60);
    }

    // A QR code of a ticket is read back by a real reader.
    void aReaderDecodesTheQrCode() {
        const QString zbar = QStandardPaths::findExecutable("zbarimg");
        if (zbar.isEmpty()) QSKIP("zbarimg (zbar-tools) is not installed: the QR codes are not read back");
        for (const QString& text :
             {ticketCode(1), ticketCode(maxTicketKey), QString("生产单 PO-1 第 12 扎")}) {
            const QString png = dir->file("qr.png");
            QVERIFY(QrCode::encode(text).image(3).save(png));
            QProcess reader;
            reader.start(zbar, {"--raw", "-q", "-Sbinary", png});
            QVERIFY(reader.waitForFinished(20000));
            QCOMPARE(QString::fromUtf8(reader.readAllStandardOutput()).trimmed(), text);
        }
        const QrCode small = QrCode::encode(ticketCode(5));
        QCOMPARE(small.image(2, 4).width(), (small.size() + 8) * 2);
    }

    // A backup holds the orders and their tickets, and a restore brings them back with the records they
    // were paid into; tickets made afterwards get keys and codes of their own.
    void backupAndRestoreKeepTheTickets() {
        const std::vector<qint64> bundles = order("PO-1", {{"红", "M", 60}});
        makeTickets(cn, bundles);
        acceptTicket(cn, codeOf(bundles[0], cut), day, sun);
        const QString saved = dir->accountSet.backup(cn, day);
        acceptTicket(cn, codeOf(bundles[1], cut), day, li);
        dir->accountSet.restore(cn, saved, day.addDays(1));
        QCOMPARE(hxtest::rowsText(cn, "bundleTicket", "ticketID", {"staffID"}, "staffID is not null"),
                 QString::number(sun));
        QCOMPARE(records(), QStringLiteral("2026-12-08|%1|%2|30").arg(sun).arg(cut));
        QCOMPARE(makeTickets(cn, {order("PO-2", {{"白", "S", 30}})[0]})[0].tickets.size(), std::size_t(3));
        QCOMPARE(hxtest::rowCount(cn, "bundleTicket"), 9);
        QCOMPARE(cn.scalar("select count(distinct code) from bundleTicket").toInt(), 9);
    }

    // An account set of an earlier version, without the production tables, is still one and gets them.
    void anEarlierAccountSetGetsTheTables() {
        if (hxtest::onServer()) QSKIP("an account set on a server is made with every table of its version");
        const QString path = dir->createAccountSet("old");
        {
            Connection old;
            old.open(path);
            old.execScript("drop table bundleTicket; drop table bundle; drop table prodOrder;");
        }
        QVERIFY(isAccountSet(path));
        Connection old;
        old.open(path);
        upgradeAccountSet(old);
        QCOMPARE(
            hxtest::schemaObjectCount(old, {"prodOrder", "bundle", "bundleTicket", "bundleTicket_scans"}), 4);
    }
};

HX_BOTH_ENGINES;
QTEST_GUILESS_MAIN(TestProduction)
#include "tst_production.moc"
