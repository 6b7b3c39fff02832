#pragma once

#include <QDir>
#include <QLockFile>
#include <QString>
#include <memory>

class QApplication;

namespace hx {

class TdataFrm;
class TLoginFrm;
class TmainFrm;

// Keeps a second copy of the program from starting in the same user session: a lock file named
// "hxerpfzjjgzzs", held for the life of the object. The lock of a copy that crashed is recognised by its
// dead process and taken over.
class SingleCopyGuard {
  public:
    // The lock in the program's own lock folder for this user session (sessionLockDirectory()).
    SingleCopyGuard();
    // The lock in `directory`.
    explicit SingleCopyGuard(const QString& directory);
    bool acquired() const { return m_acquired; }
    QString fileName() const { return m_fileName; }

    // Where the lock of this user session lives: beside the program, so that every copy started from
    // this program directory sees it whatever its temporary directory, in a folder of its own per user
    // and session (another user, or another desktop session, may run a copy of their own). When the
    // program directory cannot be written, the temporary directory is used instead.
    static QString sessionLockDirectory();

  private:
    QString m_fileName;
    QLockFile m_lock;
    bool m_acquired = false;
};

// Application title and a font that shows Chinese text.
void setUpApplication(QApplication& app);

// The windows of one run, created in start-up order (main panel, data module, login window) without
// showing them, and freed in reverse order; the login values are cleared at the end.
class Program {
  public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    TmainFrm* mainFrm() const { return m_main.get(); }
    TdataFrm* dataModule() const { return m_data.get(); }
    // The login window until the login succeeded; nullptr afterwards.
    TLoginFrm* loginFrm() const { return m_login.get(); }

    // Shows the login window modally. After a successful login frees it, shows the main panel and
    // returns true; the caller then runs the event loop.
    bool login();

  private:
    std::unique_ptr<TmainFrm> m_main;
    std::unique_ptr<TdataFrm> m_data;
    std::unique_ptr<TLoginFrm> m_login;
};

// The program's start-up sequence; returns the exit code when the application ends.
int runProgram(int argc, char** argv);

}  // namespace hx
