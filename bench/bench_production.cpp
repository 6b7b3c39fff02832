// Rows: the bundle tickets of a large order printed to a PDF file: the tickets made, laid out and written.
// The account set is a fresh one of this row's own with the style's processes, the order and its bundles;
// before each run the tickets of the last one are dropped, so every run makes all of them anew.
#include <QFile>
#include <memory>

#include "benchmark.h"
#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/schema.h"
#include "core/production/production.h"
#include "core/production/ticketlayout.h"
#include "core/reports/rvengine.h"

namespace {

constexpr int Bundles = 1000;
constexpr int Processes = 20;

struct Order {
    hx::Connection cn;
    std::vector<qint64> bundles;
};
std::unique_ptr<Order> order;

void makeOrder(hxbench::Context& c) {
    const QString file = c.scratch(QStringLiteral("tickets.mdb"));
    hx::createAccountSetTemplate(file);
    order = std::make_unique<Order>();
    order->cn.open(file);
    for (int i = 1; i <= Processes; ++i)
        order->cn.exec(
            QStringLiteral("insert into job (JobCode, Description, StyleGroup, UnitPrice, stopp) "
                           "values (?, ?, 'K20', 0.35, 0)"),
            {QStringLiteral("K20-%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("第%1道工序").arg(i)});
    const qint64 id =
        hx::addOrder(order->cn, QStringLiteral("PO-2026-1000"), QStringLiteral("K20"), QDate(2026, 12, 1));
    for (const hx::Bundle& b : hx::generateBundles(order->cn, id,
                                                   {{QStringLiteral("红"), QStringLiteral("M"), 15000},
                                                    {QStringLiteral("藏青"), QStringLiteral("XL"), 15000}},
                                                   30))
        order->bundles.push_back(b.id);
    if (order->bundles.size() != std::size_t(Bundles))
        throw hx::Error(QStringLiteral("the order has no 1,000 bundles"));
}

hxbench::Registration ticketsRow(
    hxbench::withWidgets({QStringLiteral("tickets for 1,000 bundles of 20 processes to PDF"),
                          QStringLiteral("1,000 bundles, 20 processes: 20,000 tickets"),
                          {},
                          [](hxbench::Context& c) {
                              const std::vector<hx::TicketStrip> strips =
                                  hx::makeTickets(order->cn, order->bundles);
                              const std::optional<hx::Snapshot> pages = hx::layoutTickets(strips);
                              const QString file = c.scratch(QStringLiteral("tickets.pdf"));
                              hx::writePdf(*pages, file, QStringLiteral("菲票"));
                              if (pages->pageCount() < Bundles / 3 || QFile(file).size() < 100000)
                                  throw hx::Error(QStringLiteral("the tickets were not written"));
                          },
                          makeOrder,
                          [](hxbench::Context&) { hx::dropTickets(order->cn, order->bundles); },
                          {},
                          [](hxbench::Context&) { order.reset(); }}),
    hxbench::under(10));

}  // namespace
