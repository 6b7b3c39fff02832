#include <QtTest>

#include "core/data/connection.h"
#include "core/data/password.h"
#include "support/coresupport.h"

class TestPassword : public QObject {
    Q_OBJECT

  private slots:
    void hashIsSaltedAndNeverTheText() {
        const QString a = hx::hashPassword(QStringLiteral("Secret 1"));
        const QString b = hx::hashPassword(QStringLiteral("Secret 1"));
        QVERIFY(a.startsWith(QStringLiteral("sha256$")));
        QVERIFY(!a.contains(QStringLiteral("Secret")));
        QVERIFY(a != b);           // a fresh salt each time
        QVERIFY(a.size() <= 200);  // fits appuser.ppwwdd
        QVERIFY(hx::passwordMatches(a, QStringLiteral("Secret 1")));
        QVERIFY(hx::passwordMatches(b, QStringLiteral("Secret 1")));
        // The same salt gives the same hash.
        const QByteArray salt("0123456789abcdef");
        QCOMPARE(hx::hashPassword(QStringLiteral("x"), salt), hx::hashPassword(QStringLiteral("x"), salt));
    }

    void comparisonIsExact_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("matches");
        QTest::newRow("same") << QStringLiteral("Ab c") << true;
        QTest::newRow("letter case") << QStringLiteral("ab c") << false;
        QTest::newRow("leading blank") << QStringLiteral(" Ab c") << false;
        QTest::newRow("inner blanks") << QStringLiteral("Ab  c") << false;
        QTest::newRow("prefix") << QStringLiteral("Ab") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void comparisonIsExact() {
        QFETCH(QString, typed);
        QFETCH(bool, matches);
        QCOMPARE(hx::passwordMatches(hx::hashPassword(QStringLiteral("Ab c")), typed), matches);
    }

    void emptyPassword() {
        QVERIFY(hx::hashPassword(QString()).isNull());
        for (const QString& stored : {QString(), QStringLiteral(""), QStringLiteral("   ")}) {
            QVERIFY(hx::passwordMatches(stored, QString()));
            QVERIFY(!hx::passwordMatches(stored, QStringLiteral(" ")));
            QVERIFY(!hx::passwordMatches(stored, QStringLiteral("a")));
        }
    }

    void somethingNotOurHashNeverMatches() {
        QVERIFY(!hx::passwordMatches(QStringLiteral("plain"), QStringLiteral("plain")));
        QVERIFY(!hx::passwordMatches(QStringLiteral("sha256$$"), QStringLiteral("x")));
        QVERIFY(!hx::passwordMatches(QStringLiteral("md5$00$00"), QStringLiteral("x")));
    }

    void systemStore() {
        hxtest::TempProgramDir dir;
        hx::SystemStore store;
        // The roles start with the empty password.
        QVERIFY(store.checkPassword(QStringLiteral("会计"), QString()));
        QCOMPARE(store.storedPassword(QStringLiteral("会计")), std::optional<QString>(QString()));
        // A role without a row is never let in, not even with the empty password.
        QVERIFY(!store.storedPassword(QStringLiteral("老板")));
        QVERIFY(!store.checkPassword(QStringLiteral("老板"), QString()));
        QVERIFY_THROWS_EXCEPTION(hx::DbError, store.setPassword(QStringLiteral("老板"), QStringLiteral("x")));

        store.setPassword(QStringLiteral("生产"), QStringLiteral("O\"Neil's"));
        QVERIFY(store.checkPassword(QStringLiteral("生产"), QStringLiteral("O\"Neil's")));
        QVERIFY(!store.checkPassword(QStringLiteral("人事"), QStringLiteral("O\"Neil's")));
        QVERIFY(store.checkPassword(QStringLiteral("人事"), QString()));

        hx::Connection cn;
        cn.open(dir.file(QStringLiteral("sysunit.dll")));
        const QString raw = cn.scalar(QStringLiteral("select ppwwdd from appuser where userName = ?"),
                                      {QStringLiteral("生产")})
                                .toString();
        QVERIFY(!raw.contains(QStringLiteral("Neil")));

        store.setPassword(QStringLiteral("生产"), QString());
        QVERIFY(cn.scalar(QStringLiteral("select ppwwdd from appuser where userName = ?"),
                          {QStringLiteral("生产")})
                    .isNull());
        QVERIFY(store.checkPassword(QStringLiteral("生产"), QString()));
    }

    void aStoreThatCannotBeOpenedRaisesAndKeepsNothing() {
        // Without the system store the login refuses with the reason; nothing of the half-made store stays
        // behind (the sanitizer run reports what leaks).
        hxtest::TempProgramDir dir;
        QVERIFY(QFile::remove(dir.file(QStringLiteral("sysunit.dll"))));
        QVERIFY_THROWS_EXCEPTION(hx::DbError, hx::SystemStore());
    }
};

QTEST_GUILESS_MAIN(TestPassword)
#include "tst_password.moc"
