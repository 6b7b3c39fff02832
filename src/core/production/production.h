#pragma once

#include <QDate>
#include <QString>
#include <vector>

#include "core/data/errors.h"
#include "core/data/queries.h"

namespace hx {

class Connection;

// A production order, its bundles and their tickets that cannot be made as asked: the reason as the
// production clerk reads it. Nothing was stored.
class ProductionError : public Error {
  public:
    using Error::Error;
};

// ---- orders and bundles

// Stores a new production order and returns its key. The order number must be new; the style is the
// style group of the processes whose tickets the bundles get.
qint64 addOrder(Connection& cn, const QString& orderCode, const QString& style, const QDate& day,
                const QString& memo = QString());
// The key of the order with this number; 0 when there is none.
qint64 orderByCode(Connection& cn, const QString& orderCode);

// Every column of the orders a window edits, newest first; keyed by orderID.
Query orderList();
// Every column of an order's bundles a window edits, by bundle number; keyed by bundleID.
Query bundleList(qint64 orderId);

// So many pieces of one colour in one size: a line of an order's breakdown.
struct BreakdownLine {
    QString color;
    QString size;
    qint64 pieces = 0;
};

// A bundle as stored.
struct Bundle {
    qint64 id = 0;
    int number = 0;
    QString color;
    QString size;
    qint64 pieces = 0;
};

// The most bundles one generation makes (a large order is a few thousand).
constexpr int maxBundlesPerGeneration = 20000;

// Cuts each line of the breakdown into bundles of `bundleSize` pieces, the last one of a line smaller
// when the size does not divide its pieces, and stores them to the order in one transaction, numbered
// on after the order's bundles that exist. Returns the new bundles in order. Raises ProductionError for
// an order that does not exist, a bundle size or a line's pieces below one, texts too long, or more
// than maxBundlesPerGeneration bundles.
std::vector<Bundle> generateBundles(Connection& cn, qint64 orderId,
                                    const std::vector<BreakdownLine>& breakdown, qint64 bundleSize);

// What an order, or some of its bundles, hold: bundles, their pieces, the tickets made of them and how
// many of those are scanned (paid).
struct ProductionCount {
    int bundles = 0;
    qint64 pieces = 0;
    int tickets = 0;
    int scanned = 0;
};
ProductionCount orderCount(Connection& cn, qint64 orderId);
ProductionCount bundleCount(Connection& cn, const std::vector<qint64>& bundleIds);
// The style stored for the order; empty when it has none or there is no such order.
QString orderStyle(Connection& cn, qint64 orderId);
// The number a bundle added by hand takes: one after the order's highest.
int nextBundleNo(Connection& cn, qint64 orderId);

// Deletes the order with its bundles and their tickets, in one transaction. Refused (ProductionError,
// nothing deleted) while one of its tickets is scanned: those pieces are paid to a worker.
void deleteOrder(Connection& cn, qint64 orderId);
// Deletes the bundles with their tickets, in one transaction; refused as deleteOrder is, for a scanned
// ticket of one of them or a bundle that does not exist.
void deleteBundles(Connection& cn, const std::vector<qint64>& bundleIds);

// ---- tickets

// One tear-off ticket of a bundle's strip: a process, the pieces it pays, its code.
struct TicketLine {
    qint64 ticketId = 0;
    qint64 jobId = 0;
    QString jobCode;
    QString description;
    qint64 pieces = 0;
    QString code;
};

// What one bundle's strip of tickets shows.
struct TicketStrip {
    qint64 bundleId = 0;
    QString orderCode;
    QString style;
    QString color;
    QString size;
    int bundleNo = 0;
    qint64 pieces = 0;
    std::vector<TicketLine> tickets;  // in the order of the process register
};

// Makes the tickets of the bundles, one for each process of the order's style that is in production,
// in one transaction, and returns the bundles' strips in the order given. A ticket is made once: asked
// again, a bundle keeps its tickets and codes, and gets tickets only for processes added to the style
// since. Raises ProductionError for a bundle that does not exist, an order without a style, or a style
// without a process in production.
std::vector<TicketStrip> makeTickets(Connection& cn, const std::vector<qint64>& bundleIds);
// The strips of the bundles with the tickets they have, made nothing.
std::vector<TicketStrip> ticketStrips(Connection& cn, const std::vector<qint64>& bundleIds);
// Deletes the tickets of the bundles, so that a bundle's pieces can be corrected and its tickets printed
// anew; refused (ProductionError, nothing deleted) when one of them is scanned. Returns how many went.
int dropTickets(Connection& cn, const std::vector<qint64>& bundleIds);

// ---- progress

// Per process of the order (the style's processes in production and every process it has tickets of,
// in the order of the register): jobID, jobCode, description, pieces (the order's), done (the pieces of
// its scanned tickets), remaining.
Query orderProgress(qint64 orderId);
// The bundles not yet done at each of those processes: jobCode, description, bundleNo, color, size, qty,
// by process and bundle number.
Query openBundles(qint64 orderId);

}  // namespace hx
