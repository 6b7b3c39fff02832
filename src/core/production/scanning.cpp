#include "core/production/scanning.h"

#include <QDateTime>
#include <algorithm>

#include "core/data/connection.h"
#include "core/piecework/jobtotals.h"
#include "core/production/ticketcode.h"

namespace hx {

namespace {

// A ticket as stored, with what it belongs to; the parts of a deleted bundle, order, process or worker
// are empty.
struct TicketFacts {
    qint64 ticketId = 0;
    qint64 jobId = 0;
    qint64 pieces = 0;
    std::optional<qint64> scannedBy;
    QString scannedDay;
    bool hasBundle = false;
    qint64 orderId = 0;
    bool hasJob = false;
    bool finished = false;
    QString scannerCode;
    QString scannerName;
    bool hasScanner = false;
};

bool readTicket(Connection& cn, const QString& code, TicketFacts& f, ScanOutcome& out) {
    PreparedStatement q(
        cn,
        QStringLiteral("select t.ticketID, t.jobID, t.qty, t.staffID, t.dateD, b.bundleNo, b.color, b.size, "
                       "o.orderID, o.OrderCode, j.JobCode, j.Description, j.stopp, s.StaffCode, s.StaffName "
                       "from bundleTicket t left join bundle b on b.bundleID = t.bundleID "
                       "left join prodOrder o on o.orderID = b.orderID left join job j on j.JobID = t.jobID "
                       "left join staff s on s.staffID = t.staffID where t.code = ?"),
        {code});
    if (!q.next()) return false;
    f.ticketId = q.integer(0);
    f.jobId = q.integer(1);
    f.pieces = q.integer(2);
    if (!q.isNull(3)) f.scannedBy = q.integer(3);
    f.scannedDay = q.text(4);
    f.hasBundle = !q.isNull(5) && !q.isNull(8);
    out.bundleNo = f.hasBundle ? int(q.integer(5)) : 0;
    out.color = q.text(6);
    out.size = q.text(7);
    f.orderId = f.hasBundle ? q.integer(8) : 0;
    out.orderCode = q.text(9);
    f.hasJob = !q.isNull(10);
    out.jobCode = q.text(10);
    out.description = q.text(11);
    f.finished = f.hasJob && !q.isNull(12) && q.integer(12) != 0;
    f.hasScanner = !q.isNull(13);
    f.scannerCode = q.text(13);
    f.scannerName = q.text(14);
    out.pieces = f.pieces;
    while (q.next()) {
    }
    return true;
}

QString paidMessage(const TicketFacts& f) {
    if (!f.hasScanner) return QStringLiteral("该菲票已于 %1 由已删除的员工扫描").arg(f.scannedDay);
    return QStringLiteral("该菲票已于 %1 由 %2 %3 扫描").arg(f.scannedDay, f.scannerCode, f.scannerName);
}

QString unknownMessage(const QString& code) {
    return QStringLiteral("没有菲票号为“%1”的菲票，请核对后重新输入。").arg(code);
}

ScanOutcome refused(ScanOutcome out, const QString& reason) {
    out.accepted = false;
    out.reason = reason;
    return out;
}

// Holds the row of the order, then of the worker, until the transaction ends: scans of one order, and
// changes of one worker's records, wait for each other. Always in this order, so that two desks never
// wait for each other in a circle.
void holdOrder(Connection& cn, qint64 orderId) {
    PreparedStatement q(
        cn, cn.dialect().lockingRows(QStringLiteral("select orderID from prodOrder where orderID = ?")),
        {orderId});
    while (q.next()) {
    }
}

// The worker's code, name and whether dismissed, the row held; false when there is no such worker.
bool holdWorker(Connection& cn, qint64 staffId, Worker& w, bool& dismissed) {
    PreparedStatement q(cn,
                        cn.dialect().lockingRows(QStringLiteral(
                            "select StaffCode, StaffName, Firedd from staff where staffID = ?")),
                        {staffId});
    if (!q.next()) return false;
    w.id = staffId;
    w.code = q.text(0);
    w.name = q.text(1);
    dismissed = !q.isNull(2) && q.integer(2) != 0;
    while (q.next()) {
    }
    return true;
}

// The records of a day, worker and process: how many rows and their pieces.
struct RecordRows {
    int rows = 0;
    qint64 pieces = 0;
};

RecordRows recordRows(Connection& cn, const QDate& day, qint64 staffId, qint64 jobId) {
    PreparedStatement q(
        cn, QStringLiteral("select qty from JobData where dateD = ? and staffID = ? and jobID = ?"),
        {day, staffId, jobId});
    RecordRows r;
    while (q.next()) {
        ++r.rows;
        r.pieces += q.integer(0);
    }
    return r;
}

// Makes the records of the day, worker and process one record of `pieces`, none for 0 or less.
void writeRecord(Connection& cn, const QDate& day, qint64 staffId, qint64 jobId, const RecordRows& was,
                 qint64 pieces) {
    const QVariantList key{day, staffId, jobId};
    if (was.rows == 1 && pieces > 0) {
        cn.exec(QStringLiteral("update JobData set qty = ? where dateD = ? and staffID = ? and jobID = ?"),
                QVariantList{pieces} + key);
        return;
    }
    if (was.rows > 0)
        cn.exec(QStringLiteral("delete from JobData where dateD = ? and staffID = ? and jobID = ?"), key);
    if (pieces > 0)
        cn.exec(QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values (?, ?, ?, ?)"),
                key + QVariantList{pieces});
}

}  // namespace

WorkerLookup workerByBadge(Connection& cn, const QString& badge) {
    WorkerLookup found;
    const QString code = badge.trimmed();
    PreparedStatement q(
        cn, QStringLiteral("select staffID, StaffName, Firedd from staff where StaffCode = ?"), {code});
    if (!q.next()) {
        found.refusal = QStringLiteral("没有工号为“%1”的员工。").arg(code);
        return found;
    }
    if (!q.isNull(2) && q.integer(2) != 0) {
        found.refusal = QStringLiteral("员工 %1 %2 已辞退，不能再计件。").arg(code, q.text(1));
        return found;
    }
    found.worker = Worker{q.integer(0), code, q.text(1)};
    while (q.next()) {
    }
    return found;
}

ScanOutcome acceptTicket(Connection& cn, const QString& typed, const QDate& day, qint64 staffId) {
    ScanOutcome out;
    out.code = normalizedTicketCode(typed);
    if (!day.isValid()) return refused(out, QStringLiteral("请先选择日期。"));
    if (staffId <= 0) return refused(out, QStringLiteral("请先选择员工（或扫描员工工牌）。"));
    if (!ticketKeyOf(out.code)) return refused(out, unknownMessage(out.code));

    Transaction t(cn);
    TicketFacts f;
    if (!readTicket(cn, out.code, f, out)) return refused(out, unknownMessage(out.code));
    if (!f.hasBundle) return refused(out, QStringLiteral("该菲票的扎已从生产单中删除，不能扫描。"));
    if (!f.hasJob) return refused(out, QStringLiteral("该菲票的工序已从工序表中删除，不能扫描。"));
    if (f.finished)
        return refused(out, QStringLiteral("工序“%1”已完工，该菲票不能再扫描。").arg(out.jobCode));
    if (f.scannedBy) return refused(out, paidMessage(f));

    holdOrder(cn, f.orderId);
    Worker w;
    bool dismissed = false;
    if (!holdWorker(cn, staffId, w, dismissed))
        return refused(out, QStringLiteral("没有这个员工，可能已被删除。"));
    if (dismissed) return refused(out, QStringLiteral("员工 %1 %2 已辞退，不能再计件。").arg(w.code, w.name));

    // The moment of the scan orders the worker's list: it comes after the worker's scans of the day
    // before it, also within one millisecond (the worker's row is held, so no other desk adds one between).
    const QString stamp = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
    QDateTime moment = QDateTime::currentDateTime();
    const QDateTime last = QDateTime::fromString(
        cn.scalar(QStringLiteral("select max(scannedAt) from bundleTicket where dateD = ? and staffID = ?"),
                  {day, staffId})
            .toString(),
        stamp);
    if (last.isValid() && last >= moment) moment = last.addMSecs(1);
    const QString now = moment.toString(stamp);
    // The claim: only a ticket nobody has claimed changes, so that of two desks exactly one gets it.
    if (cn.exec(QStringLiteral("update bundleTicket set staffID = ?, dateD = ?, scannedAt = ? "
                               "where ticketID = ? and staffID is null"),
                {staffId, day, now, f.ticketId}) != 1) {
        TicketFacts claimed;
        ScanOutcome ignored;
        readTicket(cn, out.code, claimed, ignored);
        return refused(out, paidMessage(claimed));
    }

    // Never more pieces paid for a process of the order than the order has.
    const qint64 orderPieces =
        cn.scalar(QStringLiteral("select coalesce(sum(qty), 0) from bundle where orderID = ?"), {f.orderId})
            .toLongLong();
    const qint64 paid =
        cn.scalar(QStringLiteral("select coalesce(sum(t.qty), 0) from bundleTicket t join bundle b "
                                 "on b.bundleID = t.bundleID where b.orderID = ? and t.jobID = ? "
                                 "and t.staffID is not null"),
                  {f.orderId, f.jobId})
            .toLongLong();
    if (paid > orderPieces)
        return refused(out, QStringLiteral("生产单“%1”的工序“%2”扫描的件数将达到 %3 件，超过生产单的 %4 件，"
                                           "该菲票不能扫描。")
                                .arg(out.orderCode, out.jobCode)
                                .arg(paid)
                                .arg(orderPieces));

    const RecordRows was = recordRows(cn, day, staffId, f.jobId);
    const qint64 pieces = was.pieces + f.pieces;
    if (pieces > maxPiecesPerRecord)
        return refused(out, QStringLiteral("员工 %1 %2 在 %3 的工序“%4”将超过 %5 件，该菲票不能扫描。")
                                .arg(w.code, w.name, day.toString(Qt::ISODate), out.jobCode)
                                .arg(maxPiecesPerRecord));
    writeRecord(cn, day, staffId, f.jobId, was, pieces);
    t.commit();
    out.accepted = true;
    out.recordPieces = pieces;
    return out;
}

namespace {

ScanOutcome undoScan(Connection& cn, const QString& typed, const QDate* listedDay, qint64 listedStaffId) {
    ScanOutcome out;
    out.code = normalizedTicketCode(typed);
    if (!ticketKeyOf(out.code)) return refused(out, unknownMessage(out.code));
    Transaction t(cn);
    TicketFacts f;
    if (!readTicket(cn, out.code, f, out)) return refused(out, unknownMessage(out.code));
    if (!f.scannedBy) return refused(out, QStringLiteral("该菲票还没有扫描，不用撤销。"));
    const QDate day = QDate::fromString(f.scannedDay, Qt::ISODate);
    if (listedDay && (*f.scannedBy != listedStaffId || day != *listedDay))
        return refused(
            out, QStringLiteral("这张菲票已不是列表中的这次扫描：%1。请重新查看列表。").arg(paidMessage(f)));
    if (f.hasBundle) holdOrder(cn, f.orderId);
    Worker w;
    bool dismissed = false;
    holdWorker(cn, *f.scannedBy, w, dismissed);
    if (cn.exec(QStringLiteral("update bundleTicket set staffID = null, dateD = null, scannedAt = null "
                               "where ticketID = ? and staffID = ? and dateD = ?"),
                {f.ticketId, *f.scannedBy, day}) != 1)
        return refused(out, QStringLiteral("该菲票刚被别处撤销或改动，请重新查看。"));
    const RecordRows was = recordRows(cn, day, *f.scannedBy, f.jobId);
    // A record cut below its tickets behind the program's back goes, rather than turn negative.
    const qint64 pieces = std::max<qint64>(0, was.pieces - f.pieces);
    writeRecord(cn, day, *f.scannedBy, f.jobId, was, pieces);
    t.commit();
    out.accepted = true;
    out.recordPieces = pieces;
    return out;
}

}  // namespace

ScanOutcome undoTicket(Connection& cn, const QString& code) {
    return undoScan(cn, code, nullptr, 0);
}

ScanOutcome undoTicket(Connection& cn, const QString& code, const QDate& day, qint64 staffId) {
    return undoScan(cn, code, &day, staffId);
}

Query scannedTickets(const QDate& day, qint64 staffId) {
    return Query(
        QStringLiteral("select t.code as code, o.OrderCode as orderCode, b.bundleNo as bundleNo, "
                       "b.color as color, b.size as size, j.JobCode as jobCode, j.Description as "
                       "description, t.qty as qty, t.scannedAt as scannedAt, j.UnitPrice as unitPrice "
                       "from bundleTicket t "
                       "left join bundle b on b.bundleID = t.bundleID left join prodOrder o on "
                       "o.orderID = b.orderID left join job j on j.JobID = t.jobID "
                       "where t.dateD = ? and t.staffID = ? order by t.scannedAt, t.ticketID"),
        {day, staffId});
}

TicketHold ticketHold(Connection& cn, const PieceRecord& record) {
    TicketHold hold;
    {
        PreparedStatement q(cn,
                            QStringLiteral("select count(*), coalesce(sum(qty), 0) from bundleTicket "
                                           "where dateD = ? and staffID = ? and jobID = ?"),
                            {record.day, record.staffId, record.jobId});
        q.next();
        hold.tickets = int(q.integer(0));
        hold.ticketPieces = q.integer(1);
    }
    if (hold.tickets == 0) return hold;
    // The unique index tells the record from the others of its day, worker and process by its count.
    const qint64 others =
        cn.scalar(QStringLiteral("select coalesce(sum(qty), 0) from JobData where dateD = ? "
                                 "and staffID = ? and jobID = ? and qty <> ?"),
                  {record.day, record.staffId, record.jobId, record.qty})
            .toLongLong();
    hold.floor = hold.ticketPieces - others;
    return hold;
}

QString recordChangeRefusal(Connection& cn, const PieceRecord& before,
                            const std::optional<PieceRecord>& after) {
    const TicketHold hold = ticketHold(cn, before);
    if (!hold.holdsTickets()) return QString();
    const QString held =
        QStringLiteral("这条计件记录含 %1 张菲票扫描的 %2 件，").arg(hold.tickets).arg(hold.ticketPieces);
    const QString advice = QStringLiteral("\n请先释放这些菲票（释放后它们可以重新扫描）。");
    const bool sameRecord =
        after && after->day == before.day && after->staffId == before.staffId && after->jobId == before.jobId;
    if (!sameRecord) return held + QStringLiteral("不能删除，也不能改到别的日期、员工或工序。") + advice;
    if (after->qty >= hold.floor) return QString();
    return held + QStringLiteral("数量不能少于 %1 件。").arg(hold.floor) + advice;
}

int releaseTickets(Connection& cn, const QDate& day, qint64 staffId, qint64 jobId) {
    std::optional<Transaction> own;
    if (!cn.inTransaction()) own.emplace(cn);
    const int freed =
        cn.exec(QStringLiteral("update bundleTicket set staffID = null, dateD = null, scannedAt = null "
                               "where dateD = ? and staffID = ? and jobID = ?"),
                {day, staffId, jobId});
    if (own) own->commit();
    return freed;
}

}  // namespace hx
