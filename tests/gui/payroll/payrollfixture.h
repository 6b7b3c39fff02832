#pragma once

// An account set open in the data module, with shorthands to fill it, for the payroll window tests.

#include <memory>

#include "core/data/datamodule.h"
#include "support/testsupport.h"

namespace hxtest {

class PayrollFixture {
  public:
    PayrollFixture() {
        module.cnMain.open(dir.createAccountSet(QStringLiteral("厂")));
        hx::setDataFrm(&module);
    }
    ~PayrollFixture() {
        hx::setDataFrm(nullptr);
        module.cnMain.close();
    }

    hx::Connection& cn() { return module.cnMain; }

    qint64 addWorker(const QString& code, const QString& name, int day, int a02 = 0) {
        cn().exec(
            QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay, A02) values (?, ?, ?, ?)"),
            {code, name, day, a02});
        return cn().lastInsertRowId();
    }
    qint64 addJob(const QString& code, double price) {
        cn().exec(QStringLiteral("insert into job (JobCode, UnitPrice) values (?, ?)"), {code, price});
        return cn().lastInsertRowId();
    }
    void addRecord(const QDate& date, qint64 staff, qint64 job, int qty) {
        cn().exec(QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values (?, ?, ?, ?)"),
                  {date, staff, job, qty});
    }
    // The month's 35 item rows, copied from the base month with every item unnamed.
    void blankMonth(int year, int month) {
        cn().exec(QStringLiteral("delete from salary where [year]=? and [month]=?"), {year, month});
        cn().exec(QStringLiteral("insert into salary select ?, ?, ItemCode, null, null, 0 from salary "
                                 "where [year]=2003 and [month]=11"),
                  {year, month});
    }
    // The base month's items as they are, into another month.
    void copyBaseMonth(int year, int month) {
        cn().exec(QStringLiteral("delete from salary where [year]=? and [month]=?"), {year, month});
        cn().exec(QStringLiteral("insert into salary select ?, ?, ItemCode, ItemName, expression, printWidth "
                                 "from salary where [year]=2003 and [month]=11"),
                  {year, month});
    }
    void setItem(int year, int month, const QString& code, const QString& name, const QString& expression,
                 int width = 0) {
        cn().exec(
            QStringLiteral("update salary set ItemName=?, expression=?, printWidth=? where [year]=? and "
                           "[month]=? and ItemCode=?"),
            {name.isEmpty() ? QVariant() : name, expression.isNull() ? QVariant() : expression, width, year,
             month, code});
    }
    int itemCount(int year, int month) {
        return cn()
            .scalar(QStringLiteral("select count(*) from salary where [year]=? and [month]=?"), {year, month})
            .toInt();
    }
    QVariant item(int year, int month, const QString& code, const QString& column) {
        return cn().scalar(
            QStringLiteral("select %1 from salary where [year]=? and [month]=? and ItemCode=?").arg(column),
            {year, month, code});
    }
    QVariant cell(int year, int month, int day, const QString& staffCode, const QString& column) {
        return cn().scalar(QStringLiteral("select %1 from salaryData where [Year]=? and [Month]=? and "
                                          "salaryDay=? and staffCode=?")
                               .arg(column),
                           {year, month, day, staffCode});
    }

    TempProgramDir dir;
    ScriptedDialogs dialogs;
    hx::TdataFrm module;
};

}  // namespace hxtest
