#include "core/data/accountset.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/myfuns.h"
#include "core/data/programdir.h"
#include "core/data/schema.h"
#include "core/data/sqlite/sqlitedatabase.h"

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
        if (!sqliteDatabase(m_cn).tryExclusive(exclusiveWaitMs)) throw FileError(inUseMessage(what));
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
    if (!passesIntegrityCheck(path))
        throw FileError(QStringLiteral("%1未通过完整性检查，没有恢复。").arg(what));
}

bool sameFile(const QString& a, const QString& b) {
    const QFileInfo x(a);
    const QFileInfo y(b);
    return x.exists() && y.exists() && x.canonicalFilePath() == y.canonicalFilePath();
}

void refuseHardLinked(const QString& path, const QString& what) {
    const QString problem = hardLinkProblem(path);
    if (!problem.isEmpty()) throw FileError(problem + QStringLiteral("\n没有%1。").arg(what));
}

// Temporary copies that a backup or restore of this account set left when it was cut off (the program
// killed, the power gone): large files that no list shows. Only a backup or restore of this account set
// writes them, holding it exclusively all the while, as the caller does now: every one found is a leftover.
void removeLeftoverCopies(const QString& path) {
    const QFileInfo info(path);
    const QString base = info.fileName().chopped(4);
    const QString suffix = checkedCopyTemporaryName(QStringLiteral(".mdb"));
    static const QRegularExpression ofThisSet(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}(恢复前(-\\d+)?)?$"));
    const QDir folder = info.absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.startsWith(base) || !name.endsWith(suffix)) continue;
        const QString middle = name.mid(base.size(), name.size() - base.size() - suffix.size());
        if (ofThisSet.match(middle).hasMatch()) QFile::remove(folder.filePath(name));
    }
}

// The safety copy's name: the account set's backup name of the day followed by "恢复前", numbered when
// one of that name exists already.
QString safetyCopyName(const QString& path, const QDate& today) {
    const QString base = BackupFileName(path, today) + QStringLiteral("恢复前");
    QString name = base + QStringLiteral(".mdb");
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = base + QStringLiteral("-%1.mdb").arg(n);
    return name;
}

QString readOnlyMessage(const QString& path) {
    return QStringLiteral(
               "工资库“%1”或它所在的文件夹是只读的，不能保存任何修改。\n"
               "现在只能查看数据；要录入或修改，请让管理员给这个文件夹写入权限后重新登录。")
        .arg(QDir::toNativeSeparators(path));
}

QString copyKeptMessage(const QString& target, bool existed) {
    return existed ? QStringLiteral("原来的“%1”保持不变，工资库也没有改动。")
                         .arg(QDir::toNativeSeparators(QFileInfo(target).fileName()))
                   : QStringLiteral("工资库和以前的备份都没有改动。");
}

}  // namespace

QString hardLinkProblem(const QString& path) {
    struct stat state {};
    if (::stat(QFile::encodeName(path).constData(), &state) != 0 || state.st_nlink <= 1) return QString();
    return QStringLiteral(
               "工资库“%1”还有别的名字：这个文件有 %2 个硬链接。数据库引擎把没有写完的修改的日志放在"
               "打开它时所用的路径旁边，从另一个名字打开它的程序找不到这份日志，会把工资库当作已损坏。\n"
               "请只通过一个路径使用这个工资库：删除多余的硬链接，需要在别处使用时改用符号链接。")
        .arg(QDir::toNativeSeparators(path))
        .arg(state.st_nlink);
}

AccountSetStore& AccountSet::store() const {
    if (!m_store) throw DbError(QStringLiteral("工资库没有打开。"));
    return *m_store;
}

void AccountSetStore::openSystemStore(Connection& cn) const {
    cn.open(ProgramDir() + QStringLiteral("sysunit.dll"));
}

FileAccountSetStore::FileAccountSetStore(QString folder) : m_folder(std::move(folder)) {}

QStringList FileAccountSetStore::list() const {
    return matchingFiles(m_folder + QStringLiteral("*.mdb"));
}

bool FileAccountSetStore::isValidTitle(const QString& title) const {
    return IsValidName(title);
}

QString FileAccountSetStore::nameFor(const QString& title) const {
    return title + QStringLiteral(".mdb");
}

bool FileAccountSetStore::contains(const QString& name) const {
    const QFileInfo file(pathOf(name));
    return file.exists() || file.isSymLink();
}

void FileAccountSetStore::create(const QString& name) {
    // An existing file may be an account set full of data: never replace it with an empty one.
    if (contains(name))
        throw FileError(QStringLiteral("工资库“%1”已经存在，不能覆盖。请换一个名称。").arg(name));
    try {
        CopyMDB(ProgramDir() + QStringLiteral("mlcp.dll"), pathOf(name));
    } catch (const Error&) {
        QFile::remove(pathOf(name));
        throw;
    }
}

// A file that is not an account set is refused before it is opened for writing, so that the windows
// never work on a foreign database and nothing is written into it. One with more than one hard link is
// never opened for writing at all: a write cut off through one name could not be undone through another.
QString FileAccountSetStore::open(const QString& name, Connection& cn) const {
    const QString path = pathOf(name);
    cn.close();
    const QString problem = accountSetProblem(path);
    if (!problem.isEmpty())
        throw DbError(QStringLiteral("“%1”不是工资库文件（%2），没有打开。").arg(path, problem));
    const QString hardLinked = hardLinkProblem(path);
    if (!hardLinked.isEmpty()) {
        cn.open(path, Connection::Access::ReadOnly);
        return hardLinked + QStringLiteral("\n现在只能查看数据，不能保存任何修改。");
    }
    cn.open(path);
    if (!cn.writable()) {
        cn.open(path, Connection::Access::ReadOnly);
        return readOnlyMessage(path);
    }
    upgradeAccountSet(cn);
    return QString();
}

void FileAccountSetStore::openReadOnly(const QString& name, Connection& cn) const {
    cn.open(pathOf(name), Connection::Access::ReadOnly);
}

QString FileAccountSetStore::backupFolder(const QString& name) const {
    return QFileInfo(pathOf(name)).absolutePath();
}

QString FileAccountSetStore::backup(Connection& cn, const QString& name, const QDate& today) {
    const QString path = pathOf(name);
    const QString backup = BackupFileName(path, today) + QStringLiteral(".mdb");
    refuseHardLinked(path, QStringLiteral("备份"));
    // Rows the windows hold in edit are stored first, as leaving the row would store them: the backup
    // holds them. The windows' data sets are closed afterwards (compaction may renumber rows): they show
    // nothing until they are read again.
    cn.storePendingEdits();
    {
        // The byte copy is taken while no other connection can change the file.
        ExclusiveHold hold(cn, QStringLiteral("备份"));
        removeLeftoverCopies(path);
        const bool existed = QFileInfo(backup).isFile();
        try {
            CopyMDBChecked(path, backup);
        } catch (const FileError& e) {
            throw FileError(
                QStringLiteral("备份没有完成：%1。\n%2").arg(e.message(), copyKeptMessage(backup, existed)));
        }
        hold.release();
    }
    cn.closeDataSets();
    // Compacted in place by the engine, in one transaction: the file stays the same file, so that another
    // copy of the program that has it open goes on working with it.
    try {
        sqliteDatabase(cn).compact();
    } catch (const DbError& e) {
        throw FileError(
            QStringLiteral("备份文件“%1”已写好，但工资库没能压缩：%2\n工资库保持压缩前的样子，数据没有改动。")
                .arg(QDir::toNativeSeparators(backup), e.message()));
    }
    return backup;
}

QString FileAccountSetStore::restore(Connection& cn, const QString& name, const QString& source,
                                     const QDate& today) {
    const QString path = pathOf(name);
    // The file to restore from is only read, and checked whole before anything else happens.
    requireSoundAccountSet(source, QStringLiteral("要恢复的文件"));
    refuseHardLinked(path, QStringLiteral("恢复"));
    // Rows in edit are stored first, so that the safety copy holds them; they never reach the restored
    // file (the user was warned that what was entered since must be entered again).
    cn.storePendingEdits();
    const QString safety = safetyCopyName(path, today);
    {
        ExclusiveHold hold(cn, QStringLiteral("恢复"));
        removeLeftoverCopies(path);
        try {
            CopyMDBChecked(path, safety);
        } catch (const FileError& e) {
            throw FileError(
                QStringLiteral("恢复前的工资库没能另存：%1。\n没有恢复，工资库没有改动。").arg(e.message()));
        }
        hold.release();
    }
    cn.closeDataSets();
    if (!sameFile(source, path)) {
        Connection from;
        from.open(source, Connection::Access::ReadOnly);
        try {
            sqliteDatabase(cn).replaceContentFrom(sqliteDatabase(from));
        } catch (const DbError& e) {
            throw FileError(QStringLiteral("恢复没有完成，工资库保持原样：%1").arg(e.message()));
        }
        // A restored copy may come from an earlier version.
        upgradeAccountSet(cn);
    }
    return safety;
}

std::shared_ptr<AccountSetStore> programDirAccountSets() {
    return std::make_shared<FileAccountSetStore>(ProgramDir());
}

AccountSet accountSetAt(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return AccountSet(name, std::make_shared<FileAccountSetStore>(path.left(path.size() - name.size())));
}

}  // namespace hx
