#pragma once

#include <QDate>
#include <QString>

#include "core/data/clock.h"

namespace hx {

class Connection;

// Backup and restore of an open account set. The connection `cn` to the account set at `path` stays open
// and the file is never replaced on disk, so that another copy of the program that has it open goes on
// working with it. Rows held in edit by the data sets on `cn` are stored first (the work does not begin
// when one cannot be); the data sets are closed afterwards and show nothing until read again. While
// another connection is writing to the account set the work is refused with a message. On a failure the
// account set stays as it was and the error is raised.

// Copies the account set byte for byte to its backup file of the day, then compacts the account set in
// place. An earlier backup of the same day is replaced only by a complete copy that passes the integrity
// check, in one rename: a failure (a full disk, the program killed) leaves it as it was, and the message
// says so. Temporary copies that an earlier backup or restore cut off left behind are removed. Refused
// for an account set with more than one hard link (hardLinkProblem). Returns the backup file's path.
QString backupAccountSet(Connection& cn, const QString& path, const QDate& today = hx::today());

// Replaces the content of the account set by that of `source`, which must be an account set of this or an
// earlier version and pass the integrity check; anything else is refused and left untouched. Before that
// the account set is copied to a safety copy beside it, written as safely as a backup, so that a wrong
// restore can be undone. Refused for an account set with more than one hard link. Returns the safety
// copy's path.
QString restoreAccountSet(Connection& cn, const QString& path, const QString& source,
                          const QDate& today = hx::today());

// The safety copy's name: the account set's backup name of the day followed by "恢复前", numbered when
// one of that name exists already.
QString safetyCopyName(const QString& path, const QDate& today = hx::today());

// Non-empty when the file at `path` has more than one hard link (one file under two names): the reason
// it must not be written through any of them, and what to do, for the callers' messages. The engine
// keeps the journal of an unfinished write beside the path it opened the file by; a program that opens
// the file by another name does not find that journal and sees a half-written file as damaged.
QString hardLinkProblem(const QString& path);

}  // namespace hx
