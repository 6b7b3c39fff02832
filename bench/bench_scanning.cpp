// Rows: scanning bundle tickets on the scan page of the piece-work window "计件数", on a copy of the year
// account set (1,000 workers, 3.4 M records) with production orders of its busiest style whose tickets,
// 100,000 of them, are already paid to the workers over the last month of records. A run is one ticket
// as a USB scanner gives it: its code typed into the scan field and Enter, until the record is stored
// and the worker's list of the day (a busy day of 200 tickets) has painted with the new ticket.
#include <QApplication>
#include <QDateEdit>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTime>
#include <memory>
#include <vector>

#include "benchdialogs.h"
#include "benchmark.h"
#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "core/production/production.h"
#include "gui/piecework/jobdata.h"
#include "gui/widgets/mydbgrid.h"
#include "gui/widgets/pickobj.h"

namespace {

const QString year = QStringLiteral("year");
constexpr int paidTickets = 100000;
constexpr int ticketsOfTheDay = 200;
constexpr int bundlesPerOrder = 1000;

std::unique_ptr<hxbench::BenchDialogs> dialogs;
std::unique_ptr<hx::TdataFrm> module;
std::unique_ptr<hx::TjobDataFrm> window;
QStringList freeCodes;  // tickets not yet scanned, one for each run
QString badge;          // the work number of the worker scanning
QDate day;
int runIndex = 0;

void expect(bool ok, const QString& what) {
    if (!ok) throw hx::Error(what);
}

template <class T>
T* part(const char* name) {
    T* w = window->findChild<T*>(QLatin1String(name));
    if (!w) throw hx::Error(QStringLiteral("the window has no %1").arg(QLatin1String(name)));
    return w;
}

// Orders of the style with the most processes in production, enough bundles of 30 pieces for the paid
// tickets and those of the runs, and their tickets; then 100,000 of them paid, in one transaction, to
// the current workers over the last month's days, the first worker's last day getting 200.
void makePaidTickets(hx::Connection& cn) {
    const QString style =
        cn.scalar(QStringLiteral("select StyleGroup from job where stopp = 0 and StyleGroup <> '' "
                                 "group by StyleGroup order by count(*) desc, StyleGroup limit 1"))
            .toString();
    const qint64 processes =
        cn.scalar(QStringLiteral("select count(*) from job where stopp = 0 and StyleGroup = ?"), {style})
            .toLongLong();
    expect(processes > 0, QStringLiteral("no style has processes in production"));
    const QDate last = QDate::fromString(
        cn.scalar(QStringLiteral("select max(dateD) from JobData")).toString(), Qt::ISODate);
    expect(last.isValid(), QStringLiteral("the account set has no piece-work records"));
    const qint64 bundles = (paidTickets + 100 + processes - 1) / processes;
    for (int o = 0; o * bundlesPerOrder < bundles; ++o) {
        const qint64 order =
            hx::addOrder(cn, QStringLiteral("BENCH-%1").arg(o + 1), style, last.addDays(-40));
        std::vector<qint64> ids;
        for (const hx::Bundle& b : hx::generateBundles(
                 cn, order, {{QStringLiteral("红"), QStringLiteral("M"), 30 * bundlesPerOrder}}, 30))
            ids.push_back(b.id);
        hx::makeTickets(cn, ids);
    }

    std::vector<qint64> workers;
    for (hx::PreparedStatement q(
             cn, QStringLiteral("select staffID from staff where Firedd = 0 order by staffID"));
         q.next();)
        workers.push_back(q.integer(0));
    std::vector<QDate> days;
    for (hx::PreparedStatement q(
             cn, QStringLiteral("select distinct dateD from JobData where dateD > ? order by dateD"),
             {last.addDays(-31)});
         q.next();)
        days.push_back(QDate::fromString(q.text(0), Qt::ISODate));
    expect(workers.size() > 100 && !days.empty(), QStringLiteral("too few workers or days"));
    std::vector<qint64> tickets;
    for (hx::PreparedStatement q(cn, QStringLiteral("select ticketID from bundleTicket order by ticketID"));
         q.next();)
        tickets.push_back(q.integer(0));
    expect(tickets.size() > std::size_t(paidTickets), QStringLiteral("too few tickets made"));

    day = days.back();
    hx::Transaction t(cn);
    hx::PreparedStatement pay(
        cn,
        QStringLiteral("update bundleTicket set staffID = ?, dateD = ?, scannedAt = ? where ticketID = ?"));
    for (int i = 0; i < paidTickets; ++i) {
        const bool busy = i < ticketsOfTheDay;
        const qint64 worker = busy ? workers[0] : workers[1 + i % (workers.size() - 1)];
        const QDate paidOn = busy ? day : days[(i / workers.size()) % days.size()];
        pay.bind(1, worker);
        pay.bind(2, paidOn);
        pay.bind(3, paidOn.toString(Qt::ISODate) +
                        QTime(7, 0).addMSecs(i * 300).toString(QStringLiteral(" HH:mm:ss.zzz")));
        pay.bind(4, tickets[std::size_t(i)]);
        pay.run();
    }
    t.commit();
    badge =
        cn.scalar(QStringLiteral("select StaffCode from staff where staffID = ?"), {workers[0]}).toString();
    for (hx::PreparedStatement q(
             cn, QStringLiteral(
                     "select code from bundleTicket where staffID is null order by ticketID limit 50"));
         q.next();)
        freeCodes << q.text(0);
}

// The code as a scanner gives it: a key for each character, then Enter, to the scan field.
void typeCode(const QString& code) {
    QWidget* field = part<QLineEdit>("edScan");
    for (const QChar ch : code) {
        const auto key = Qt::Key(Qt::Key_0 + (ch.unicode() - '0'));
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(field, &press);
        QApplication::sendEvent(field, &release);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(field, &enter);
    QApplication::sendEvent(field, &up);
}

hx::DataSet* scanned() {
    return part<hx::DataSet>("tdScan");
}

void setUp(hxbench::Context& c) {
    const QString copy = c.scratch(QStringLiteral("year.mdb"));
    expect(QFile::copy(c.dataFile(year), copy), QStringLiteral("cannot copy the year account set"));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    dialogs = std::make_unique<hxbench::BenchDialogs>();
    module = std::make_unique<hx::TdataFrm>();
    module->cnMain.open(copy);
    hx::setDataFrm(module.get());
    makePaidTickets(module->cnMain);
    runIndex = 0;

    window = std::make_unique<hx::TjobDataFrm>();
    window->show();
    part<QTabWidget>("PageControl1")->setCurrentIndex(3);
    part<QDateEdit>("cbbDateScan")->setDate(day);
    typeCode(badge);
    QApplication::processEvents();
    dialogs->check();
    expect(scanned()->recordCount() == ticketsOfTheDay,
           QStringLiteral("the worker's day lists %1 tickets").arg(scanned()->recordCount()));
}

void tearDown(hxbench::Context&) {
    window.reset();
    hx::destroyPickObjFrm();
    hx::setDataFrm(nullptr);
    module.reset();
    dialogs.reset();
}

hxbench::Registration scanRow(
    hxbench::withWidgets({QStringLiteral("scan page: scan a ticket"),
                          QStringLiteral("year: 1,000 workers, 100,000 tickets paid, a day of 200"),
                          {year},
                          [](hxbench::Context&) {
                              typeCode(freeCodes.value(runIndex));
                              part<hx::TMyDBGrid>("grdScan")->viewport()->repaint();
                              QApplication::processEvents();
                          },
                          setUp,
                          {},
                          [](hxbench::Context&) {
                              dialogs->check();
                              hx::DataSet* list = scanned();
                              expect(list->recordCount() == ticketsOfTheDay + runIndex + 1,
                                     QStringLiteral("the list holds %1 tickets").arg(list->recordCount()));
                              expect(list->recNo() == list->recordCount() - 1 &&
                                         list->asString(QStringLiteral("code")) == freeCodes.value(runIndex),
                                     QStringLiteral("the ticket scanned is not the list's current one"));
                              expect(module->cnMain
                                             .scalar(QStringLiteral("select count(*) from bundleTicket where "
                                                                    "code = ? and staffID is not null"),
                                                     {freeCodes.value(runIndex)})
                                             .toInt() == 1,
                                     QStringLiteral("the ticket was not stored as paid"));
                              ++runIndex;
                          },
                          tearDown}),
    hxbench::under(0.05));

}  // namespace
