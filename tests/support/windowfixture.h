#pragma once

// The set-up every window test shares: a temporary program directory, scripted dialogs, the data module
// open on a fresh account set, the login values, shorthands that fill the account set with bound
// parameters, and the windows under test.

#include <QDate>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <QtTest>
#include <utility>

#include "core/data/datamodule.h"
#include "support/testsupport.h"

namespace hx {
struct SheetBatch;
}

namespace hxtest {

// Column values of a row to insert, by column name.
using Fields = QList<QPair<QString, QVariant>>;

// Constructed in a test's init() and destroyed in its cleanup() (HX_FINISH_FIXTURE). Its lifetime is
// one test function: the program directory, the account set and the login values are gone afterwards.
class WindowFixture {
  public:
    // A fresh account set NAME on the test's engine, open in the data module, which the windows find
    // through dataFrm(), and the session's account set (curAccountSet).
    explicit WindowFixture(const QString& accountSetName = QStringLiteral("厂"));
    ~WindowFixture();
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    hx::Connection& cn() { return module.cnMain; }
    // As after a login with the role: curUser is the role, curAccountSet the account set.
    void logIn(const QString& role);
    // The windows closed and the data module and the session on a fresh account set NAME beside the
    // first, as after a login to it; returns the location of the account set left, which stays as it was.
    QString moveToNewAccountSet(const QString& name);

    // ---- the windows under test

    // Creates the window (with the arguments given), shows it and waits until it is the active window. When
    // it never becomes active the test fails here (a window test without the focus proves nothing) and
    // nullptr comes back; `QVERIFY(f.openWindow<...>())` then stops the test function. The fixture deletes
    // the window at the latest in closeWindows().
    template <class T, class... Args>
    T* openWindow(Args&&... args) {
        T* window = new T(std::forward<Args>(args)...);
        m_windows << QPointer<QWidget>(window);
        return activate(window) ? window : nullptr;
    }
    // Shows and activates a window made elsewhere (a panel's entry opens its own), failing the test when
    // it never becomes active.
    bool activate(QWidget* window);
    // The child of the last window opened with that object name. A missing one is a fault of the test
    // itself (a renamed or removed widget): the run stops there with its name.
    template <class T>
    T* child(const QString& name) {
        return child<T>(lastWindow(), name);
    }
    template <class T>
    static T* child(QObject* parent, const QString& name) {
        T* found = parent ? parent->findChild<T*>(name) : nullptr;
        if (!found) missingChild(parent, name);
        return found;
    }
    QWidget* lastWindow() const;
    // Deletes the windows opened here, the picker and the lists cached for the piece-work window.
    void closeWindows();
    // What the scripted dialogs left unanswered or unused; empty when everything went to script.
    QString dialogProblems() const;

    // ---- filling the account set; every value is a bound parameter

    static QVariant money(const QString& text);  // a Money from its text, as the grids store it
    // Inserts one row; returns the value its column `key` was given, 0 when no key is named.
    qint64 insert(const QString& table, const Fields& fields, const QString& key = QString());
    qint64 addWorker(const QString& code, const QString& name, const Fields& more = {});
    qint64 addProcess(const QString& code, const Fields& more = {});
    void addPieceRecord(const QDate& day, qint64 staffId, qint64 jobId, int qty);
    // Keys of a worker and a process by code; 0 when there is none.
    qint64 staffId(const QString& code);
    qint64 processId(const QString& code);

    // Salary items of a month.
    void addItem(int year, int month, const QString& code, const QString& name, const Fields& more = {});
    // The month's 35 item rows, copied from the base month with every item unnamed.
    void blankMonth(int year, int month);
    // The base month's items as they are, into another month.
    void copyBaseMonth(int year, int month);
    void setItem(int year, int month, const QString& code, const QString& name, const QString& expression,
                 int width = 0);
    int itemCount(int year, int month);
    QVariant item(int year, int month, const QString& code, const QString& column);

    // Sheet rows.
    void addSheetRow(const hx::SheetBatch& batch, const QString& staffCode, const Fields& more = {});
    QVariant cell(int year, int month, int day, const QString& staffCode, const QString& column);

    TempProgramDir dir;
    ScriptedDialogs dialogs;
    hx::TdataFrm module;
    hx::AccountSet set;
    QString accountSet;  // its location: the full path of a file

  private:
    [[noreturn]] static void missingChild(QObject* parent, const QString& name);
    QList<QPointer<QWidget>> m_windows;
};

}  // namespace hxtest

// Ends a test's fixture in its cleanup(): the windows are closed, then everything is torn down, and the
// test fails when a scripted answer was left or a dialog had none. Nothing stays for the next test, even
// when this one failed.
#define HX_FINISH_FIXTURE(fixture)                  \
    do {                                            \
        QString why_;                               \
        if (fixture) {                              \
            (fixture)->closeWindows();              \
            why_ = (fixture)->dialogProblems();     \
            (fixture).reset();                      \
        }                                           \
        QVERIFY2(why_.isEmpty(), qPrintable(why_)); \
    } while (false)
