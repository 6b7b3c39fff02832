#include "core/data/accountset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/myfuns.h"
#include "core/data/schema.h"

namespace hx {

namespace {

// How long backup and restore wait for another program's work on the account set to end.
constexpr int exclusiveWaitMs = 2000;

QString inUseMessage(const QString& what) {
    return QStringLiteral(
               "工资库正被另一个程序使用（可能是另一位用户或另一台电脑上的本程序正在保存），"
               "没有%1。请稍后再试。")
        .arg(what);
}

// An exclusive transaction on the account set: no other connection, of this program or another copy,
// is writing or reading while it is held, so a byte copy taken under it is consistent.
class ExclusiveHold {
  public:
    ExclusiveHold(Connection& cn, const QString& what) : m_cn(cn) {
        if (!m_cn.tryExclusive(exclusiveWaitMs)) throw FileError(inUseMessage(what));
    }
    ~ExclusiveHold() {
        if (m_cn.inTransaction()) {
            try {
                m_cn.rollback();
            } catch (...) {
            }
        }
    }
    void release() { m_cn.commit(); }

  private:
    Connection& m_cn;
};

void requireSoundAccountSet(const QString& path, const QString& what) {
    const QString problem = accountSetProblem(path);
    if (!problem.isEmpty())
        throw FileError(QStringLiteral("“%1”不是工资库文件，没有恢复。（%2）")
                            .arg(QDir::toNativeSeparators(path), problem));
    Connection cn;
    cn.open(path, Connection::Access::ReadOnly);
    const QString check = cn.scalar(QStringLiteral("pragma integrity_check")).toString();
    if (check != QLatin1String("ok"))
        throw FileError(QStringLiteral("%1未通过完整性检查，没有恢复。").arg(what));
}

bool sameFile(const QString& a, const QString& b) {
    const QFileInfo x(a);
    const QFileInfo y(b);
    return x.exists() && y.exists() && x.canonicalFilePath() == y.canonicalFilePath();
}

}  // namespace

QString backupAccountSet(Connection& cn, const QString& path, const QDate& today) {
    const QString backup = BackupFileName(path, today) + QStringLiteral(".mdb");
    // Rows the windows hold in edit are stored first, as leaving the row would store them: the backup
    // holds them. The windows' data sets are closed afterwards (compaction may renumber rows): they show
    // nothing until they are read again.
    cn.storePendingEdits();
    {
        // The byte copy is taken while no other connection can change the file.
        ExclusiveHold hold(cn, QStringLiteral("备份"));
        CopyMDB(path, backup);
        hold.release();
    }
    cn.closeDataSets();
    // Compacted in place by the engine, in one transaction: the file stays the same file, so that another
    // copy of the program that has it open goes on working with it.
    try {
        cn.exec(QStringLiteral("VACUUM"));
    } catch (const DbError& e) {
        throw FileError(QStringLiteral("备份文件已写好（%1），但工资库没能压缩：%2")
                            .arg(QDir::toNativeSeparators(backup), e.message()));
    }
    return backup;
}

QString safetyCopyName(const QString& path, const QDate& today) {
    const QString base = BackupFileName(path, today) + QStringLiteral("恢复前");
    QString name = base + QStringLiteral(".mdb");
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = base + QStringLiteral("-%1.mdb").arg(n);
    return name;
}

QString restoreAccountSet(Connection& cn, const QString& path, const QString& source, const QDate& today) {
    // The file to restore from is only read, and checked whole before anything else happens.
    requireSoundAccountSet(source, QStringLiteral("要恢复的文件"));
    // Rows in edit are stored first, so that the safety copy holds them; they never reach the restored
    // file (the user was warned that what was entered since must be entered again).
    cn.storePendingEdits();
    const QString safety = safetyCopyName(path, today);
    {
        ExclusiveHold hold(cn, QStringLiteral("恢复"));
        CopyMDB(path, safety);
        hold.release();
    }
    cn.closeDataSets();
    if (!sameFile(source, path)) {
        Connection from;
        from.open(source, Connection::Access::ReadOnly);
        try {
            cn.replaceContentFrom(from);
        } catch (const DbError& e) {
            throw FileError(QStringLiteral("恢复没有完成，工资库保持原样：%1").arg(e.message()));
        }
        // A restored copy may come from an earlier version.
        upgradeAccountSet(cn);
    }
    return safety;
}

}  // namespace hx
