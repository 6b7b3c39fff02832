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

// Keeps a second copy of the program from starting: a lock file named "hxerpfzjjgzzs" in the temporary
// directory, held for the life of the object. The lock of a copy that crashed is recognised by its dead
// process and taken over.
class SingleCopyGuard {
  public:
    explicit SingleCopyGuard(const QString& directory = QDir::tempPath());
    bool acquired() const { return m_acquired; }
    QString fileName() const { return m_fileName; }

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
