// Makes a directory a ready program directory: creates the system store when it is missing and brings
// the account-set template up to date with the schema script. Account sets and an existing system store
// are never touched.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <cstdio>

#include "core/data/errors.h"
#include "core/data/schema.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: hexiu-mkdb PROGRAM_DIRECTORY\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    try {
        const QString store = dir.filePath(QStringLiteral("sysunit.dll"));
        if (!QFile::exists(store)) hx::createSystemStore(store);

        const QString templ = dir.filePath(QStringLiteral("mlcp.dll"));
        const QString fresh = templ + QStringLiteral(".new");
        QFile::remove(fresh);
        hx::createAccountSetTemplate(fresh);
        QFile::remove(templ);
        if (!QFile::rename(fresh, templ)) throw hx::FileError(QStringLiteral("cannot replace ") + templ);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hexiu-mkdb: %s\n", e.what());
        return 1;
    }
    return 0;
}
