#include "core/data/password.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include "core/data/accountset.h"
#include "core/data/connection.h"
#include "core/data/programdir.h"

namespace hx {

namespace {
constexpr int iterations = 4096;
constexpr int saltBytes = 16;
const QString scheme = QStringLiteral("sha256");

QByteArray iteratedHash(const QByteArray& password, const QByteArray& salt) {
    QByteArray h = QCryptographicHash::hash(salt + password, QCryptographicHash::Sha256);
    for (int i = 1; i < iterations; ++i)
        h = QCryptographicHash::hash(h + salt + password, QCryptographicHash::Sha256);
    return h;
}

// Compares without stopping at the first difference, so the time taken tells nothing about the hash.
bool sameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (int i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}
}  // namespace

QString hashPassword(const QString& password, const QByteArray& salt) {
    if (password.isEmpty()) return QString();
    return scheme + QLatin1Char('$') + QString::fromLatin1(salt.toHex()) + QLatin1Char('$') +
           QString::fromLatin1(iteratedHash(password.toUtf8(), salt).toHex());
}

QString hashPassword(const QString& password) {
    QByteArray salt(saltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), saltBytes / 4);
    return hashPassword(password, salt);
}

bool passwordMatches(const QString& stored, const QString& typed) {
    if (stored.trimmed().isEmpty()) return typed.isEmpty();
    if (typed.isEmpty()) return false;
    const QStringList parts = stored.split(QLatin1Char('$'));
    // Anything but a hash of ours never matches: the store holds no passwords in clear.
    if (parts.size() != 3 || parts[0] != scheme) return false;
    const QByteArray salt = QByteArray::fromHex(parts[1].toLatin1());
    const QByteArray expected = QByteArray::fromHex(parts[2].toLatin1());
    if (salt.isEmpty() || expected.isEmpty()) return false;
    return sameBytes(iteratedHash(typed.toUtf8(), salt), expected);
}

struct SystemStore::Private {
    Connection cn;
};

SystemStore::SystemStore() : SystemStore(FileAccountSetStore(ProgramDir())) {}

SystemStore::SystemStore(const AccountSetStore& accountSets) : d(std::make_unique<Private>()) {
    accountSets.openSystemStore(d->cn);
}

SystemStore::~SystemStore() = default;

std::optional<QString> SystemStore::storedPassword(const QString& role) {
    PreparedStatement q =
        d->cn.query(QStringLiteral("select ppwwdd from appuser where userName = ?"), {role});
    if (!q.next()) return std::nullopt;
    return q.value(0).isNull() ? QString() : q.value(0).toString();
}

bool SystemStore::checkPassword(const QString& role, const QString& typed) {
    const std::optional<QString> stored = storedPassword(role);
    return stored && passwordMatches(*stored, typed);
}

void SystemStore::setPassword(const QString& role, const QString& password) {
    const QString hashed = hashPassword(password);
    const int changed = d->cn.exec(QStringLiteral("update appuser set ppwwdd = ? where userName = ?"),
                                   {hashed.isNull() ? QVariant() : QVariant(hashed), role});
    if (changed != 1) throw DbError(QStringLiteral("系统库中没有用户“%1”。").arg(role));
}

}  // namespace hx
