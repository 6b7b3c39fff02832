#include "core/production/production.h"

#include <algorithm>

#include "core/data/connection.h"
#include "core/piecework/jobtotals.h"
#include "core/production/ticketcode.h"

namespace hx {

namespace {

// The longest colour and size a bundle holds (the columns' sizes).
constexpr int maxLabelLength = 20;

QVariant textOrNull(const QString& text) {
    const QString t = text.trimmed();
    return t.isEmpty() ? QVariant() : QVariant(t);
}

// The strip of one bundle as stored, its tickets in the order of the process register; false when the
// bundle does not exist.
bool readStrip(PreparedStatement& q, qint64 bundleId, TicketStrip& strip) {
    q.reset();
    q.bind(1, bundleId);
    bool found = false;
    while (q.next()) {
        if (!found) {
            found = true;
            strip.bundleId = bundleId;
            strip.orderCode = q.text(0);
            strip.style = q.text(1);
            strip.color = q.text(2);
            strip.size = q.text(3);
            strip.bundleNo = int(q.integer(4));
            strip.pieces = q.integer(5);
        }
        if (q.isNull(6)) continue;  // a bundle without tickets
        TicketLine line;
        line.ticketId = q.integer(6);
        line.jobId = q.integer(7);
        line.jobCode = q.text(8);
        line.description = q.text(9);
        line.pieces = q.integer(10);
        line.code = q.text(11);
        strip.tickets.push_back(line);
    }
    return found;
}

const QString stripQuery = QStringLiteral(
    "select o.OrderCode, o.StyleGroup, b.color, b.size, b.bundleNo, b.qty, t.ticketID, t.jobID, j.JobCode, "
    "j.Description, t.qty, t.code from bundle b join prodOrder o on o.orderID = b.orderID "
    "left join bundleTicket t on t.bundleID = b.bundleID left join job j on j.JobID = t.jobID "
    "where b.bundleID = ? order by t.jobID");

QString noBundleMessage(qint64 bundleId) {
    return QStringLiteral("没有这一扎（编号 %1），可能已被删除。").arg(bundleId);
}

}  // namespace

qint64 addOrder(Connection& cn, const QString& orderCode, const QString& style, const QDate& day,
                const QString& memo) {
    if (orderCode.trimmed().isEmpty()) throw ProductionError(QStringLiteral("请填写生产单号。"));
    if (!day.isValid()) throw ProductionError(QStringLiteral("请填写生产单的日期。"));
    if (orderByCode(cn, orderCode.trimmed()) != 0)
        throw ProductionError(QStringLiteral("生产单号“%1”已经有了。").arg(orderCode.trimmed()));
    return cn.insert(
        QStringLiteral("insert into prodOrder (OrderCode, StyleGroup, dateD, memo) values (?, ?, ?, ?)"),
        {orderCode.trimmed(), textOrNull(style), day, textOrNull(memo)}, QStringLiteral("orderID"));
}

qint64 orderByCode(Connection& cn, const QString& orderCode) {
    return cn.scalar(QStringLiteral("select orderID from prodOrder where OrderCode = ?"), {orderCode})
        .toLongLong();
}

Query orderList() {
    return Query(QStringLiteral("select orderID, OrderCode, StyleGroup, dateD, memo from prodOrder "
                                "order by dateD desc, orderID desc"))
        .editing(QStringLiteral("prodOrder"), {QStringLiteral("orderID")});
}

Query bundleList(qint64 orderId) {
    return Query(QStringLiteral("select bundleID, orderID, bundleNo, color, size, qty from bundle "
                                "where orderID = ? order by bundleNo"),
                 {orderId})
        .editing(QStringLiteral("bundle"), {QStringLiteral("bundleID")});
}

std::vector<Bundle> generateBundles(Connection& cn, qint64 orderId,
                                    const std::vector<BreakdownLine>& breakdown, qint64 bundleSize) {
    if (bundleSize < 1 || bundleSize > maxPiecesPerRecord)
        throw ProductionError(QStringLiteral("每扎件数必须在 1 到 %1 之间。").arg(maxPiecesPerRecord));
    qint64 bundles = 0;
    for (const BreakdownLine& line : breakdown) {
        const QString label = line.color.trimmed() + QLatin1Char(' ') + line.size.trimmed();
        if (line.pieces < 1)
            throw ProductionError(QStringLiteral("“%1”的件数必须大于 0。").arg(label.trimmed()));
        if (line.color.trimmed().size() > maxLabelLength || line.size.trimmed().size() > maxLabelLength)
            throw ProductionError(QStringLiteral("颜色和尺码都不能超过 %1 个字：“%2”。")
                                      .arg(maxLabelLength)
                                      .arg(label.trimmed()));
        bundles += (line.pieces + bundleSize - 1) / bundleSize;
        if (bundles > maxBundlesPerGeneration)
            throw ProductionError(QStringLiteral("一次最多生成 %1 扎，请加大每扎件数或分几次生成。")
                                      .arg(maxBundlesPerGeneration));
    }
    std::vector<Bundle> made;
    Transaction t(cn);
    // The order is held, so that two desks generating at once do not hand out the same numbers.
    PreparedStatement order(
        cn, cn.dialect().lockingRows(QStringLiteral("select orderID from prodOrder where orderID = ?")),
        {orderId});
    if (!order.next()) throw ProductionError(QStringLiteral("生产单不存在，可能已被删除。"));
    while (order.next()) {
    }
    int number =
        int(cn.scalar(QStringLiteral("select coalesce(max(bundleNo), 0) from bundle where orderID = ?"),
                      {orderId})
                .toLongLong());
    for (const BreakdownLine& line : breakdown) {
        for (qint64 left = line.pieces; left > 0; left -= bundleSize) {
            Bundle b;
            b.number = ++number;
            b.color = line.color.trimmed();
            b.size = line.size.trimmed();
            b.pieces = std::min(left, bundleSize);
            b.id = cn.insert(QStringLiteral("insert into bundle (orderID, bundleNo, color, size, qty) "
                                            "values (?, ?, ?, ?, ?)"),
                             {orderId, b.number, textOrNull(b.color), textOrNull(b.size), b.pieces},
                             QStringLiteral("bundleID"));
            made.push_back(b);
        }
    }
    t.commit();
    return made;
}

std::vector<TicketStrip> makeTickets(Connection& cn, const std::vector<qint64>& bundleIds) {
    Transaction t(cn);
    // The bundle's order is held while its tickets are made: a second desk asking at the same moment
    // waits, and then finds them made.
    PreparedStatement order(cn, cn.dialect().lockingRows(QStringLiteral(
                                    "select OrderCode, StyleGroup from prodOrder where orderID = "
                                    "(select orderID from bundle where bundleID = ?)")));
    PreparedStatement add(
        cn,
        QStringLiteral("insert into bundleTicket (bundleID, jobID, qty) select b.bundleID, j.JobID, b.qty "
                       "from bundle b join prodOrder o on o.orderID = b.orderID "
                       "join job j on j.StyleGroup = o.StyleGroup and j.stopp = 0 "
                       "where b.bundleID = ? and not exists (select 1 from bundleTicket t "
                       "where t.bundleID = b.bundleID and t.jobID = j.JobID)"));
    PreparedStatement count(cn, QStringLiteral("select count(*) from bundleTicket where bundleID = ?"));
    for (const qint64 bundleId : bundleIds) {
        order.reset();
        order.bind(1, bundleId);
        if (!order.next()) throw ProductionError(noBundleMessage(bundleId));
        const QString orderCode = order.text(0);
        const QString style = order.text(1);
        while (order.next()) {
        }
        add.bind(1, bundleId);
        add.run();
        count.reset();
        count.bind(1, bundleId);
        count.next();
        if (count.integer(0) > 0) continue;
        if (style.trimmed().isEmpty())
            throw ProductionError(QStringLiteral("生产单“%1”没有填款式，不能打印菲票。").arg(orderCode));
        throw ProductionError(
            QStringLiteral("款式“%1”没有在产的工序，不能打印菲票。请先在工序表中录入该款式的工序。")
                .arg(style));
    }
    // The new tickets get their codes from their keys.
    std::vector<qint64> uncoded;
    {
        PreparedStatement q(cn, QStringLiteral("select ticketID from bundleTicket where code is null"));
        while (q.next()) uncoded.push_back(q.integer(0));
    }
    PreparedStatement code(cn, QStringLiteral("update bundleTicket set code = ? where ticketID = ?"));
    for (const qint64 id : uncoded) {
        code.bind(1, ticketCode(id));
        code.bind(2, id);
        code.run();
    }
    std::vector<TicketStrip> strips = ticketStrips(cn, bundleIds);
    t.commit();
    return strips;
}

std::vector<TicketStrip> ticketStrips(Connection& cn, const std::vector<qint64>& bundleIds) {
    std::vector<TicketStrip> strips;
    PreparedStatement q(cn, stripQuery);
    for (const qint64 bundleId : bundleIds) {
        TicketStrip strip;
        if (!readStrip(q, bundleId, strip)) throw ProductionError(noBundleMessage(bundleId));
        strips.push_back(std::move(strip));
    }
    return strips;
}

namespace {

// Bundles about to lose their tickets. Each is held, so that no desk scans one of its tickets between
// the look and the change: a scan holds the bundle's order, and the order is held here too.
class UnscannedBundles {
  public:
    explicit UnscannedBundles(Connection& cn)
        : m_bundle(cn, cn.dialect().lockingRows(
                           QStringLiteral("select o.orderID, b.bundleNo from prodOrder o join bundle b on "
                                          "b.orderID = o.orderID where b.bundleID = ?"))),
          m_scanned(cn, QStringLiteral(
                            "select count(*) from bundleTicket where bundleID = ? and staffID is not null")) {
    }

    // Holds the bundle; raises the refusal (%1: the bundle's number) when a ticket of it is scanned.
    void hold(qint64 bundleId, const QString& refusal) {
        m_bundle.reset();
        m_bundle.bind(1, bundleId);
        if (!m_bundle.next()) throw ProductionError(noBundleMessage(bundleId));
        const int number = int(m_bundle.integer(1));
        while (m_bundle.next()) {
        }
        m_scanned.reset();
        m_scanned.bind(1, bundleId);
        m_scanned.next();
        if (m_scanned.integer(0) > 0) throw ProductionError(refusal.arg(number));
    }

  private:
    PreparedStatement m_bundle;
    PreparedStatement m_scanned;
};

}  // namespace

int dropTickets(Connection& cn, const std::vector<qint64>& bundleIds) {
    Transaction t(cn);
    int dropped = 0;
    UnscannedBundles unscanned(cn);
    for (const qint64 bundleId : bundleIds) {
        unscanned.hold(bundleId,
                       QStringLiteral("第 %1 扎已有菲票扫描过，不能删除它的菲票。请先撤销这些扫描。"));
        dropped += cn.exec(QStringLiteral("delete from bundleTicket where bundleID = ?"), {bundleId});
    }
    t.commit();
    return dropped;
}

ProductionCount orderCount(Connection& cn, qint64 orderId) {
    ProductionCount count;
    PreparedStatement q(
        cn, QStringLiteral("select count(*), coalesce(sum(qty), 0) from bundle where orderID = ?"),
        {orderId});
    if (q.next()) {
        count.bundles = int(q.integer(0));
        count.pieces = q.integer(1);
    }
    PreparedStatement t(
        cn,
        QStringLiteral("select count(*), coalesce(sum(case when t.staffID is null then 0 else 1 "
                       "end), 0) from bundleTicket t join bundle b on b.bundleID = t.bundleID "
                       "where b.orderID = ?"),
        {orderId});
    if (t.next()) {
        count.tickets = int(t.integer(0));
        count.scanned = int(t.integer(1));
    }
    return count;
}

ProductionCount bundleCount(Connection& cn, const std::vector<qint64>& bundleIds) {
    ProductionCount count;
    PreparedStatement b(cn, QStringLiteral("select qty from bundle where bundleID = ?"));
    PreparedStatement t(cn, QStringLiteral("select count(*), coalesce(sum(case when staffID is null then 0 "
                                           "else 1 end), 0) from bundleTicket where bundleID = ?"));
    for (const qint64 id : bundleIds) {
        b.reset();
        b.bind(1, id);
        if (!b.next()) continue;
        ++count.bundles;
        count.pieces += b.integer(0);
        t.reset();
        t.bind(1, id);
        if (t.next()) {
            count.tickets += int(t.integer(0));
            count.scanned += int(t.integer(1));
        }
    }
    return count;
}

QString orderStyle(Connection& cn, qint64 orderId) {
    return cn.scalar(QStringLiteral("select StyleGroup from prodOrder where orderID = ?"), {orderId})
        .toString();
}

int nextBundleNo(Connection& cn, qint64 orderId) {
    return int(
        cn.scalar(QStringLiteral("select coalesce(max(bundleNo), 0) + 1 from bundle where orderID = ?"),
                  {orderId})
            .toLongLong());
}

void deleteOrder(Connection& cn, qint64 orderId) {
    Transaction t(cn);
    // The order is held, as a scan holds it: no ticket of it is paid between the look and the delete.
    PreparedStatement order(
        cn, cn.dialect().lockingRows(QStringLiteral("select OrderCode from prodOrder where orderID = ?")),
        {orderId});
    if (!order.next()) throw ProductionError(QStringLiteral("生产单不存在，可能已被删除。"));
    const QString code = order.text(0);
    while (order.next()) {
    }
    const qint64 scanned =
        cn.scalar(
              QStringLiteral("select count(*) from bundleTicket t join bundle b on b.bundleID = t.bundleID "
                             "where b.orderID = ? and t.staffID is not null"),
              {orderId})
            .toLongLong();
    if (scanned > 0)
        throw ProductionError(
            QStringLiteral("生产单“%1”已有 %2 张菲票扫描计件，不能删除。请先在计件数据中撤销这些扫描。")
                .arg(code)
                .arg(scanned));
    cn.exec(QStringLiteral("delete from bundleTicket where bundleID in "
                           "(select bundleID from bundle where orderID = ?)"),
            {orderId});
    cn.exec(QStringLiteral("delete from bundle where orderID = ?"), {orderId});
    cn.exec(QStringLiteral("delete from prodOrder where orderID = ?"), {orderId});
    t.commit();
}

void deleteBundles(Connection& cn, const std::vector<qint64>& bundleIds) {
    Transaction t(cn);
    UnscannedBundles unscanned(cn);
    for (const qint64 bundleId : bundleIds) {
        unscanned.hold(bundleId,
                       QStringLiteral("第 %1 扎已有菲票扫描计件，不能删除。请先在计件数据中撤销这些扫描。"));
        cn.exec(QStringLiteral("delete from bundleTicket where bundleID = ?"), {bundleId});
        cn.exec(QStringLiteral("delete from bundle where bundleID = ?"), {bundleId});
    }
    t.commit();
}

namespace {

// The processes of an order: those of its style in production and those it has tickets of. Two
// parameters, both the order's key.
const QString orderProcesses = QStringLiteral(
    "with procs as (select JobID from job where stopp = 0 and StyleGroup = "
    "(select StyleGroup from prodOrder where orderID = ?) "
    "union select t.jobID from bundleTicket t join bundle b on b.bundleID = t.bundleID where b.orderID = "
    "?) ");

}  // namespace

Query orderProgress(qint64 orderId) {
    return Query(
        orderProcesses +
            QStringLiteral(
                "select j.JobID as jobID, j.JobCode as jobCode, j.Description as description, "
                "o.pieces as pieces, coalesce(d.done, 0) as done, o.pieces - coalesce(d.done, 0) as "
                "remaining from procs p join job j on j.JobID = p.JobID "
                "cross join (select coalesce(sum(qty), 0) as pieces from bundle where orderID = ?) o "
                "left join (select t.jobID as jobID, sum(t.qty) as done from bundleTicket t "
                "join bundle b on b.bundleID = t.bundleID where b.orderID = ? and t.staffID is not null "
                "group by t.jobID) d on d.jobID = p.JobID order by j.JobID"),
        {orderId, orderId, orderId, orderId});
}

Query openBundles(qint64 orderId) {
    return Query(
        orderProcesses +
            QStringLiteral("select j.JobCode as jobCode, j.Description as description, b.bundleNo as "
                           "bundleNo, b.color as color, b.size as size, b.qty as qty "
                           "from procs p join job j on j.JobID = p.JobID join bundle b on b.orderID = ? "
                           "left join bundleTicket t on t.bundleID = b.bundleID and t.jobID = p.JobID "
                           "where t.staffID is null order by j.JobID, b.bundleNo"),
        {orderId, orderId, orderId});
}

}  // namespace hx
