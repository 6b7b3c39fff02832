#pragma once

#include <QDate>
#include <QString>
#include <optional>

#include "core/data/queries.h"

namespace hx {

class Connection;

// A worker as the scan page shows them.
struct Worker {
    qint64 id = 0;
    QString code;
    QString name;
};

// The worker whose badge carries this work number (StaffCode), or why there is none to scan for.
struct WorkerLookup {
    std::optional<Worker> worker;
    QString refusal;
};
WorkerLookup workerByBadge(Connection& cn, const QString& badge);

// What became of a ticket scanned (or undone): accepted, or refused with the reason the page shows (and
// beeps for). What the ticket is, as far as it is known, comes with both.
struct ScanOutcome {
    bool accepted = false;
    QString reason;  // empty when accepted
    QString code;    // as typed, without blanks and dashes
    QString orderCode;
    int bundleNo = 0;
    QString color;
    QString size;
    QString jobCode;
    QString description;
    qint64 pieces = 0;
    // The worker's record of the ticket's process on the day, after the scan or undo (0: no record).
    qint64 recordPieces = 0;
};

// Pays the ticket with this code to the worker on the work day, in one transaction: the ticket is
// claimed for the worker and its pieces are added to the worker's piece-work record of its process on
// that day (one record per day, worker and process). Refused, with nothing stored: a code that is no
// ticket (mistyped), a ticket of a finished or deleted process or of a deleted bundle, a ticket already
// paid (the day and the worker who scanned it), a dismissed worker, a record that would exceed the
// most pieces a record holds, and pieces of the order's process beyond the order's pieces. Of two desks
// that scan one ticket at the same moment exactly one is accepted.
ScanOutcome acceptTicket(Connection& cn, const QString& code, const QDate& day, qint64 staffId);
// Undoes the scan of the ticket: its pieces leave the record again (which goes when it reaches 0) and the
// ticket can be scanned again. Refused for a code that is no ticket or a ticket not scanned.
ScanOutcome undoTicket(Connection& cn, const QString& code);
// The same, only while the ticket is the worker's scan of the day (a row of their list): refused when it
// was undone and scanned again elsewhere since, so that nobody else's scan is undone.
ScanOutcome undoTicket(Connection& cn, const QString& code, const QDate& day, qint64 staffId);

// The tickets the worker scanned on the day, in the order scanned: code, orderCode, bundleNo, color,
// size, jobCode, description, qty, scannedAt, unitPrice (the process's piece rate in the register).
Query scannedTickets(const QDate& day, qint64 staffId);

// ---- records that hold ticket pieces

// A piece-work record as stored: a row of JobData.
struct PieceRecord {
    QDate day;
    qint64 staffId = 0;
    qint64 jobId = 0;
    qint64 qty = 0;
};

// The tickets paid into the records of a day, worker and process, and what that means for one of them.
struct TicketHold {
    int tickets = 0;
    qint64 ticketPieces = 0;
    // The least count the record may be given: the tickets' pieces less what the other records of the
    // same day, worker and process hold. The record holds ticket pieces when this is above 0.
    qint64 floor = 0;
    bool holdsTickets() const { return tickets > 0 && floor > 0; }
};
TicketHold ticketHold(Connection& cn, const PieceRecord& record);

// Why the stored record `before` may not become `after` (nothing: be deleted), as the piece-work window
// shows it, with what to do; empty when it may. It may not while it holds ticket pieces and the change
// deletes it, moves it to another day, worker or process, or gives it fewer pieces than its floor.
QString recordChangeRefusal(Connection& cn, const PieceRecord& before,
                            const std::optional<PieceRecord>& after);

// Frees every ticket paid into the records of the day, worker and process, so that each can be scanned
// again; the records keep their pieces, as typed ones, until the caller changes or deletes them. Runs in
// the caller's transaction when there is one (the change of the record belongs in the same one). Returns
// how many tickets were freed.
int releaseTickets(Connection& cn, const QDate& day, qint64 staffId, qint64 jobId);

}  // namespace hx
