#include "support/windowfixture.h"

#include "core/data/clock.h"
#include "core/data/dialect.h"
#include "core/data/money.h"
#include "core/data/myfuns_lists.h"
#include "core/payroll/generation.h"
#include "gui/shell/session.h"
#include "gui/widgets/pickobj.h"
#include "gui/widgets/workwindow.h"

namespace hxtest {

WindowFixture::WindowFixture(const QString& accountSetName)
    : set(dir.newAccountSet(accountSetName)), accountSet(set.location()) {
    set.open(module.cnMain);
    hx::curAccountSet = set;
    hx::setDataFrm(&module);
}

WindowFixture::~WindowFixture() {
    closeWindows();
    hx::setDataFrm(nullptr);
    module.cnMain.close();
    hx::curUser.clear();
    hx::curAccountSet = hx::AccountSet();
    hx::helpProc = nullptr;
    hx::setToday(QDate());
}

void WindowFixture::logIn(const QString& role) {
    hx::curUser = role;
    hx::curAccountSet = set;
}

QString WindowFixture::moveToNewAccountSet(const QString& name) {
    closeWindows();
    const QString left = accountSet;
    module.cnMain.close();
    set = dir.newAccountSet(name);
    accountSet = set.location();
    set.open(module.cnMain);
    hx::curAccountSet = set;
    return left;
}

bool WindowFixture::activate(QWidget* window) {
    if (showActive(window)) return true;
    const QString what =
        QStringLiteral("the window %1 (%2) never became the active window")
            .arg(QString::fromLatin1(window->metaObject()->className()), window->windowTitle());
    QTest::qFail(qPrintable(what), __FILE__, __LINE__);
    return false;
}

QWidget* WindowFixture::lastWindow() const {
    for (auto it = m_windows.crbegin(); it != m_windows.crend(); ++it)
        if (*it) return it->data();
    return nullptr;
}

void WindowFixture::missingChild(QObject* parent, const QString& name) {
    qFatal("%s has no child named %s", parent ? parent->metaObject()->className() : "no window",
           qPrintable(name));
}

void WindowFixture::closeWindows() {
    for (const QPointer<QWidget>& window : std::as_const(m_windows)) delete window.data();
    m_windows.clear();
    hx::destroyPickObjFrm();
    hx::ClearCaches();
}

QString WindowFixture::dialogProblems() const {
    QString why;
    return dialogs.verify(&why) ? QString() : why;
}

QVariant WindowFixture::money(const QString& text) {
    const auto value = hx::Money::parse(text);
    if (!value) qFatal("not an amount: %s", qPrintable(text));
    return QVariant::fromValue(*value);
}

qint64 WindowFixture::insert(const QString& table, const Fields& fields, const QString& key) {
    QStringList columns;
    QStringList marks;
    QVariantList values;
    for (const auto& field : fields) {
        columns << cn().dialect().quoted(field.first);
        marks << QStringLiteral("?");
        values << field.second;
    }
    const QString insert =
        QStringLiteral("insert into %1 (%2) values (%3)")
            .arg(table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    if (key.isEmpty()) {
        cn().exec(insert, values);
        return 0;
    }
    return cn().insert(insert, values, key);
}

qint64 WindowFixture::addWorker(const QString& code, const QString& name, const Fields& more) {
    return insert(QStringLiteral("staff"),
                  Fields{{QStringLiteral("StaffCode"), code}, {QStringLiteral("StaffName"), name}} + more,
                  QStringLiteral("staffID"));
}

qint64 WindowFixture::addProcess(const QString& code, const Fields& more) {
    return insert(QStringLiteral("job"), Fields{{QStringLiteral("JobCode"), code}} + more,
                  QStringLiteral("JobID"));
}

void WindowFixture::addPieceRecord(const QDate& day, qint64 staffId, qint64 jobId, int qty) {
    insert(QStringLiteral("JobData"), {{QStringLiteral("dateD"), day},
                                       {QStringLiteral("staffID"), staffId},
                                       {QStringLiteral("jobID"), jobId},
                                       {QStringLiteral("qty"), qty}});
}

qint64 WindowFixture::staffId(const QString& code) {
    return cn().scalar(QStringLiteral("select staffID from staff where StaffCode=?"), {code}).toLongLong();
}

qint64 WindowFixture::processId(const QString& code) {
    return cn().scalar(QStringLiteral("select JobID from job where JobCode=?"), {code}).toLongLong();
}

void WindowFixture::addItem(int year, int month, const QString& code, const QString& name,
                            const Fields& more) {
    insert(QStringLiteral("salary"), Fields{{QStringLiteral("year"), year},
                                            {QStringLiteral("month"), month},
                                            {QStringLiteral("ItemCode"), code},
                                            {QStringLiteral("ItemName"), name}} +
                                         more);
}

void WindowFixture::blankMonth(int year, int month) {
    cn().exec(QStringLiteral("delete from salary where year=? and month=?"), {year, month});
    cn().exec(QStringLiteral("insert into salary select ?, ?, ItemCode, null, null, 0 from salary "
                             "where year=? and month=?"),
              {year, month, hx::baseItemYear, hx::baseItemMonth});
}

void WindowFixture::copyBaseMonth(int year, int month) {
    cn().exec(QStringLiteral("delete from salary where year=? and month=?"), {year, month});
    cn().exec(QStringLiteral("insert into salary select ?, ?, ItemCode, ItemName, expression, printWidth "
                             "from salary where year=? and month=?"),
              {year, month, hx::baseItemYear, hx::baseItemMonth});
}

void WindowFixture::setItem(int year, int month, const QString& code, const QString& name,
                            const QString& expression, int width) {
    cn().exec(QStringLiteral("update salary set ItemName=?, expression=?, printWidth=? where year=? and "
                             "month=? and ItemCode=?"),
              {name.isEmpty() ? QVariant() : name, expression.isNull() ? QVariant() : expression, width, year,
               month, code});
}

int WindowFixture::itemCount(int year, int month) {
    return cn()
        .scalar(QStringLiteral("select count(*) from salary where year=? and month=?"), {year, month})
        .toInt();
}

QVariant WindowFixture::item(int year, int month, const QString& code, const QString& column) {
    return cn().scalar(QStringLiteral("select %1 from salary where year=? and month=? and ItemCode=?")
                           .arg(cn().dialect().quoted(column)),
                       {year, month, code});
}

void WindowFixture::addSheetRow(const hx::SheetBatch& batch, const QString& staffCode, const Fields& more) {
    insert(QStringLiteral("salaryData"), Fields{{QStringLiteral("Year"), batch.year},
                                                {QStringLiteral("Month"), batch.month},
                                                {QStringLiteral("salaryDay"), batch.day},
                                                {QStringLiteral("staffCode"), staffCode}} +
                                             more);
}

QVariant WindowFixture::cell(int year, int month, int day, const QString& staffCode, const QString& column) {
    return cn().scalar(QStringLiteral("select %1 from salaryData where Year=? and Month=? and "
                                      "salaryDay=? and staffCode=?")
                           .arg(cn().dialect().quoted(column)),
                       {year, month, day, staffCode});
}

}  // namespace hxtest
