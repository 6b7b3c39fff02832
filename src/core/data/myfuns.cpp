#include "core/data/myfuns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/sqlite/sqlitedatabase.h"

namespace hx {

namespace {

// A file descriptor, closed on every way out.
class FileHandle {
  public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileHandle(FileHandle&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle& operator=(FileHandle&&) = delete;
    int fd() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // False, with errno set, when the system reports a failed write only now.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

  private:
    int m_fd;
};

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

FileError readError(const QString& path, int error) {
    return FileError(
        QStringLiteral("无法读取文件“%1”：%2").arg(QDir::toNativeSeparators(path), fileErrorText(error)));
}

FileError writeError(const QString& path, int error) {
    return FileError(
        QStringLiteral("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(path), fileErrorText(error)));
}

void refuseCopyOntoItself(const QString& source, const QString& target) {
    const QFileInfo sourceInfo(source);
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && sourceInfo.exists() &&
        sourceInfo.canonicalFilePath() == targetInfo.canonicalFilePath())
        throw FileError(QStringLiteral("不能把文件“%1”复制到它自己").arg(QDir::toNativeSeparators(source)));
}

// The source opened for reading. While an SQLite connection of this process holds a lock on it, the
// descriptor must stay open until that lock is released: closing any descriptor of a file drops every
// lock the process holds on it, and with it the exclusive hold under which the copy is taken.
FileHandle openForReading(const QString& source) {
    FileHandle in(::open(nativePath(source).constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) throw readError(source, errno);
    return in;
}

// Copies every byte from `in` into `out` and syncs `out` to the disk. Returns the bytes copied.
qint64 copyBytes(int in, const QString& source, int out, const QString& target) {
    std::vector<char> buffer(std::size_t(1) << 16);
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            throw readError(source, errno);
        }
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, std::size_t(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                throw writeError(target, errno);
            }
            done += put;
        }
        total += got;
    }
    if (::fsync(out) != 0) throw writeError(target, errno);
    return total;
}

// Makes a rename in the folder of `path` durable. Where the system cannot, the file is in place anyway.
void syncFolderOf(const QString& path) {
    const int fd = ::open(nativePath(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

QString fileErrorText(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("磁盘空间不足");
        case EACCES:
        case EPERM:
            return QStringLiteral("没有访问权限");
        case EROFS:
            return QStringLiteral("磁盘是只读的");
        case EISDIR:
            return QStringLiteral("这是一个文件夹，不是文件");
        case ENOENT:
            return QStringLiteral("文件或文件夹不存在");
        case ENOTDIR:
            return QStringLiteral("路径中有一部分不是文件夹");
        case EEXIST:
            return QStringLiteral("同名的文件或文件夹已经存在");
        case ENOTEMPTY:
            return QStringLiteral("那里有一个同名的文件夹");
        case EIO:
            return QStringLiteral("磁盘读写出错");
        case EFBIG:
            return QStringLiteral("文件超过了系统允许的大小");
        case ENAMETOOLONG:
            return QStringLiteral("文件名太长");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("同时打开的文件太多");
        case EBUSY:
        case ETXTBSY:
            return QStringLiteral("文件正被占用");
        case ENOMEM:
            return QStringLiteral("内存不足");
        case EXDEV:
            return QStringLiteral("不在同一个磁盘上");
        default:
            return QStringLiteral("系统错误（代码 %1）").arg(error);
    }
}

void CopyMDB(const QString& source, const QString& target) {
    refuseCopyOntoItself(source, target);
    FileHandle in = openForReading(source);
    FileHandle out(::open(nativePath(target).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!out.valid()) throw writeError(target, errno);
    copyBytes(in.fd(), source, out.fd(), target);
    if (!out.close()) throw writeError(target, errno);
}

bool passesIntegrityCheck(const QString& path) {
    try {
        Connection cn;
        cn.open(path, Connection::Access::ReadOnly);
        return sqliteDatabase(cn).passesIntegrityCheck();
    } catch (const Error&) {
        return false;
    }
}

QString checkedCopyTemporaryName(const QString& target) {
    return target + QStringLiteral(".tmp");
}

void CopyMDBChecked(const QString& source, const QString& target) {
    refuseCopyOntoItself(source, target);
    FileHandle in = openForReading(source);
    const QString temporary = checkedCopyTemporaryName(target);
    const QByteArray temporaryPath = nativePath(temporary);
    // A file of that name is what a copy cut off earlier (the program killed, the power gone) left.
    if (::unlink(temporaryPath.constData()) != 0 && errno != ENOENT) throw writeError(temporary, errno);
    FileHandle out(::open(temporaryPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!out.valid()) throw writeError(temporary, errno);
    auto removeTemporary = qScopeGuard([&temporaryPath] { ::unlink(temporaryPath.constData()); });

    const qint64 copied = copyBytes(in.fd(), source, out.fd(), temporary);
    if (!out.close()) throw writeError(temporary, errno);
    struct stat sourceState {};
    if (::fstat(in.fd(), &sourceState) != 0) throw readError(source, errno);
    if (copied != qint64(sourceState.st_size) || !passesIntegrityCheck(temporary))
        throw FileError(
            QStringLiteral("复制出的文件“%1”没有通过完整性检查").arg(QDir::toNativeSeparators(temporary)));
    if (::rename(temporaryPath.constData(), nativePath(target).constData()) != 0)
        throw FileError(QStringLiteral("无法用新文件替换“%1”：%2")
                            .arg(QDir::toNativeSeparators(target), fileErrorText(errno)));
    removeTemporary.dismiss();
    syncFolderOf(target);
}

void CompactMDB(const QString& source, const QString& target) {
    // The engine accepts an existing empty file as the target of its compacted copy; the routine promises to
    // fail whenever the target exists.
    if (QFileInfo::exists(target))
        throw FileError(QStringLiteral("压缩的目标文件“%1”已经存在。").arg(target));
    Connection cn;
    cn.open(source);
    try {
        sqliteDatabase(cn).compactInto(target);
    } catch (const DbError& e) {
        throw FileError(QStringLiteral("无法压缩数据库“%1”：%2").arg(source, e.message()));
    }
    cn.close();
}

QStringList matchingFiles(const QString& mask) {
    const QFileInfo info(mask);
    const QDir dir(info.path(), info.fileName(), QDir::Unsorted, QDir::Files | QDir::Hidden | QDir::System);
    QStringList names = dir.entryList();
    // Compared by their capitals, as that file system's upcase table does, not by Qt's lower-case folding:
    // "_a" sorts after "B", and a name that differs from another only in case follows it in a fixed order.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const QString upperA = a.toUpper(), upperB = b.toUpper();
        return upperA != upperB ? upperA < upperB : a < b;
    });
    return names;
}

bool IsValidName(const QString& name) {
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    for (const QChar c : name)
        if (forbidden.contains(c)) return false;
    return true;
}

QString BackupFileName(const QString& path, const QDate& today) {
    QString base = path;
    base.chop(4);
    return base + today.toString(QStringLiteral("yyyy-MM-dd"));
}

}  // namespace hx
