#include "core/data/accountset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/myfuns.h"
#include "core/data/schema.h"

namespace hx {

namespace {

// Closes the connection for the time of a file operation and opens it again on the same file when the
// operation is over, whether it succeeded or not. resume() reopens and reports a failure to reopen; the
// destructor reopens quietly after an error, so that the first error is the one the user sees.
//
// Before closing, the rows that open windows hold in edit are stored in the file as it is, as leaving
// the row would store them: a backup then holds them, and a restore (which the user was warned replaces
// what was entered since) never lets them reach the restored file. When one cannot be stored the work
// does not begin. Closing the connection closes the windows' data sets: they show nothing until they
// are read again.
class ConnectionPause {
  public:
    ConnectionPause(Connection& cn, const QString& path) : m_cn(cn), m_path(path) {
        m_cn.storePendingEdits();
        m_cn.close();
    }
    ~ConnectionPause() {
        if (m_resumed) return;
        try {
            m_cn.open(m_path);
            upgradeAccountSet(m_cn);
        } catch (...) {
        }
    }
    void resume() {
        m_resumed = true;
        m_cn.open(m_path);
        // A restored copy may come from an earlier version.
        upgradeAccountSet(m_cn);
    }

  private:
    Connection& m_cn;
    QString m_path;
    bool m_resumed = false;
};

// Removes a file when it goes out of scope unless it was taken over.
class TemporaryFile {
  public:
    explicit TemporaryFile(const QString& path) : m_path(path) { removeLeftover(); }
    ~TemporaryFile() {
        if (!m_path.isEmpty()) QFile::remove(m_path);
    }
    const QString& path() const { return m_path; }
    void release() { m_path.clear(); }

  private:
    // A file left behind by an interrupted run is of no use; anything else at that name (a directory)
    // makes the work fail further on, with the name in the message.
    void removeLeftover() {
        const QFileInfo info(m_path);
        if (info.isFile() || info.isSymLink()) QFile::remove(m_path);
    }
    QString m_path;
};

void requireSoundAccountSet(const QString& path, const QString& what) {
    {
        Connection cn;
        cn.open(path);
        const QString check = cn.scalar(QStringLiteral("pragma integrity_check")).toString();
        if (check != QLatin1String("ok"))
            throw FileError(QStringLiteral("%1未通过完整性检查：%2").arg(what, check));
    }
    if (!isAccountSet(path)) throw FileError(QStringLiteral("%1不是完整的工资库。").arg(what));
}

// Puts the file at `from` in the place of `to` in one step: `to` is either the old or the new file.
void replaceFile(const QString& from, const QString& to) {
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), ec);
    if (ec)
        throw FileError(QStringLiteral("无法用“%1”替换“%2”：%3")
                            .arg(from, to, QString::fromLocal8Bit(ec.message().c_str())));
}

}  // namespace

QString backupAccountSet(Connection& cn, const QString& path, const QDate& today) {
    const QString backup = BackupFileName(path, today) + QStringLiteral(".mdb");
    ConnectionPause pause(cn, path);
    CopyMDB(path, backup);
    TemporaryFile compacted(path + QStringLiteral(".compact"));
    CompactMDB(path, compacted.path());
    requireSoundAccountSet(compacted.path(), QStringLiteral("压缩后的工资库"));
    replaceFile(compacted.path(), path);
    compacted.release();
    pause.resume();
    return backup;
}

void restoreAccountSet(Connection& cn, const QString& path, const QString& source) {
    if (!isAccountSet(source))
        throw FileError(
            QStringLiteral("“%1”不是工资库文件，没有恢复。").arg(QDir::toNativeSeparators(source)));
    ConnectionPause pause(cn, path);
    TemporaryFile copy(path + QStringLiteral(".restore"));
    CopyMDB(source, copy.path());
    requireSoundAccountSet(copy.path(), QStringLiteral("复制的工资库"));
    replaceFile(copy.path(), path);
    copy.release();
    pause.resume();
}

}  // namespace hx
