#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/myfuns.h"
#include "core/data/schema.h"

class TestMyFuns : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& data) const {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QByteArray read(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

  private slots:
    void isValidName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("blanks and Chinese") << QStringLiteral(" 二〇二四 年 ") << true;
        QTest::newRow("dots and quote-like") << QStringLiteral("a.b'c(1)") << true;
        QTest::newRow("backslash in the middle") << QStringLiteral("ab\\cd") << false;
        QTest::newRow("colon at the end") << QStringLiteral("abc:") << false;
        for (const QChar c : QStringLiteral("/*?\"<>|"))
            QTest::newRow(qPrintable(QStringLiteral("char %1").arg(c)))
                << QStringLiteral("x%1y").arg(c) << false;
    }
    void isValidName() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(hx::IsValidName(name), valid);
    }

    void copyReplacesALongerTargetCompletely() {
        write(QStringLiteral("short.bin"), QByteArray("abc\0def", 7));
        write(QStringLiteral("long.bin"), QByteArray(100000, 'x'));
        hx::CopyMDB(path(QStringLiteral("short.bin")), path(QStringLiteral("long.bin")));
        QCOMPARE(read(QStringLiteral("long.bin")), QByteArray("abc\0def", 7));
    }

    void copyCreatesTheTargetAndKeepsEveryByte() {
        QByteArray data;
        for (int i = 0; i < 200000; ++i) data.append(char(i * 7));
        write(QStringLiteral("big.bin"), data);
        hx::CopyMDB(path(QStringLiteral("big.bin")), path(QStringLiteral("big-copy.bin")));
        QCOMPARE(read(QStringLiteral("big-copy.bin")), data);
    }

    void copyFailures() {
        QVERIFY_THROWS_EXCEPTION(hx::FileError, hx::CopyMDB(path(QStringLiteral("missing.bin")),
                                                            path(QStringLiteral("never.bin"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("never.bin"))));

        write(QStringLiteral("src.bin"), "data");
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("adir")));
        QVERIFY_THROWS_EXCEPTION(hx::FileError,
                                 hx::CopyMDB(path(QStringLiteral("src.bin")), path(QStringLiteral("adir"))));

        // Onto itself, also through another spelling of the path: the file must survive.
        QVERIFY_THROWS_EXCEPTION(hx::FileError, hx::CopyMDB(path(QStringLiteral("src.bin")),
                                                            dir.path() + QStringLiteral("/./src.bin")));
        QCOMPARE(read(QStringLiteral("src.bin")), QByteArray("data"));
    }

    // The copy reaches the target only whole and sound: a source that fails the integrity check (or
    // a copy that cannot be written) leaves the target and the folder as they were.
    void aCheckedCopyReplacesTheTargetOnlyBySoundCopy() {
        const QString sound = path(QStringLiteral("sound.mdb"));
        hx::createAccountSetTemplate(sound);
        write(QStringLiteral("earlier.mdb"), "the earlier copy");
        write(QStringLiteral("torn.mdb"), read(QStringLiteral("sound.mdb")).left(5000));
        const QString temporary = hx::checkedCopyTemporaryName(path(QStringLiteral("earlier.mdb")));
        QVERIFY(!temporary.endsWith(QStringLiteral(".mdb")));
        for (const QString& source : {QStringLiteral("torn.mdb"), QStringLiteral("missing.mdb")}) {
            try {
                hx::CopyMDBChecked(path(source), path(QStringLiteral("earlier.mdb")));
                QFAIL(qPrintable(source));
            } catch (const hx::FileError& e) {
                QVERIFY2(e.message().contains(source == QStringLiteral("torn.mdb")
                                                  ? QStringLiteral("没有通过完整性检查")
                                                  : QStringLiteral("文件或文件夹不存在")),
                         qPrintable(e.message()));
            }
            QCOMPARE(read(QStringLiteral("earlier.mdb")), QByteArray("the earlier copy"));
            QVERIFY(!QFile::exists(temporary));
        }
        // A leftover of a copy cut off earlier is replaced.
        write(QFileInfo(temporary).fileName(), "half a copy");
        hx::CopyMDBChecked(sound, path(QStringLiteral("earlier.mdb")));
        QCOMPARE(read(QStringLiteral("earlier.mdb")), read(QStringLiteral("sound.mdb")));
        QVERIFY(!QFile::exists(temporary));
    }

    void compactKeepsTheContent() {
        const QString source = path(QStringLiteral("set.mdb"));
        hx::createAccountSetTemplate(source);
        {
            hx::Connection cn;
            cn.open(source);
            cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values (?, ?, ?)"),
                    {QStringLiteral("A01"), QStringLiteral("O\"Neil"), 5});
        }
        const QString target = path(QStringLiteral("compact.mdb"));
        hx::CompactMDB(source, target);
        QVERIFY(hx::isAccountSet(target));
        hx::Connection cn;
        cn.open(target);
        QCOMPARE(cn.scalar(QStringLiteral("select StaffName from staff where StaffCode = ?"),
                           {QStringLiteral("A01")})
                     .toString(),
                 QStringLiteral("O\"Neil"));
    }

    void compactOntoAnExistingTargetFails() {
        const QString source = path(QStringLiteral("set2.mdb"));
        hx::createAccountSetTemplate(source);
        // Even an empty file, which SQLite itself would accept as the target.
        write(QStringLiteral("empty.mdb"), QByteArray());
        QVERIFY_THROWS_EXCEPTION(hx::FileError, hx::CompactMDB(source, path(QStringLiteral("empty.mdb"))));
        QCOMPARE(read(QStringLiteral("empty.mdb")), QByteArray());

        QVERIFY_THROWS_EXCEPTION(
            hx::Error, hx::CompactMDB(path(QStringLiteral("nothing.mdb")), path(QStringLiteral("n.mdb"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("n.mdb"))));
    }

    void matchingFilesTakesHiddenFilesByNameWithoutCase() {
        QTemporaryDir listDir;
        QCOMPARE(hx::matchingFiles(listDir.path() + QStringLiteral("/*.mdb")), QStringList());
        for (const QString& name :
             {QStringLiteral("b.mdb"), QStringLiteral("厂2026-12-10.mdb"), QStringLiteral("_x.mdb"),
              QStringLiteral("厂.mdb"), QStringLiteral("A.mdb"), QStringLiteral("a2026-12-10.mdb"),
              QStringLiteral("a.mdb"), QStringLiteral(".hidden.mdb"), QStringLiteral("c.mdb.bak"),
              QStringLiteral("mlcp.dll")}) {
            QFile f(listDir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QDir(listDir.path()).mkdir(QStringLiteral("d.mdb"));
        // An account set before its backups, "_" after the letters as capitals compare.
        QCOMPARE(
            hx::matchingFiles(listDir.path() + QStringLiteral("/*.mdb")),
            (QStringList{QStringLiteral(".hidden.mdb"), QStringLiteral("A.mdb"), QStringLiteral("a.mdb"),
                         QStringLiteral("a2026-12-10.mdb"), QStringLiteral("b.mdb"), QStringLiteral("_x.mdb"),
                         QStringLiteral("厂.mdb"), QStringLiteral("厂2026-12-10.mdb")}));
    }

    void backupFileName() {
        const QDate day(2005, 3, 12);
        QCOMPARE(hx::BackupFileName(QStringLiteral("/opt/pay/pay.mdb"), day),
                 QStringLiteral("/opt/pay/pay2005-03-12"));
        QCOMPARE(hx::BackupFileName(QStringLiteral("x.mdb"), QDate(2024, 11, 5)),
                 QStringLiteral("x2024-11-05"));
        QCOMPARE(hx::BackupFileName(QStringLiteral("ab"), day), QStringLiteral("2005-03-12"));
        QVERIFY(hx::IsValidName(QFileInfo(hx::BackupFileName(QStringLiteral("/p/a.mdb"))).fileName()));
    }
};

QTEST_GUILESS_MAIN(TestMyFuns)
#include "tst_myfuns.moc"
