// hexiu-bench-backup: backs up one account set as the system menu's 备份数据 does, for
// bench/backup-torture.sh. Prints the backup file's path and ends with 0, or prints the message the user
// would see and ends with 1.
#include <QCoreApplication>
#include <QDate>
#include <cstdio>

#include "core/data/accountset.h"
#include "core/data/connection.h"
#include "core/data/errors.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.size() > 2) {
        std::fprintf(stderr, "usage: hexiu-bench-backup ACCOUNTSET.mdb [YYYY-MM-DD]\n");
        return 2;
    }
    const QDate day = args.size() == 2 ? QDate::fromString(args[1], Qt::ISODate) : QDate::currentDate();
    if (!day.isValid()) {
        std::fprintf(stderr, "hexiu-bench-backup: the date must be YYYY-MM-DD\n");
        return 2;
    }
    try {
        hx::Connection cn;
        cn.open(args[0]);
        const QString backup = hx::accountSetAt(args[0]).backup(cn, day);
        std::printf("%s\n", qPrintable(backup));
        return 0;
    } catch (const hx::Error& e) {
        std::printf("%s\n", e.message().toUtf8().constData());
        return 1;
    }
}
