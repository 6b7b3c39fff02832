#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace hx {

class AccountSetStore;

// The role passwords of a system store (table appuser: sysunit.dll of the program directory for the
// account-set files, the server's own for the account sets on a server). A password is stored as a salted,
// iterated hash "sha256$<salt hex>$<hash hex>"; NULL or an empty text is the empty password.

// The stored form of a password; the empty password is stored as NULL (an invalid QString here).
QString hashPassword(const QString& password);
QString hashPassword(const QString& password, const QByteArray& salt);

// True when the typed text is the password stored as `stored`, compared exactly.
bool passwordMatches(const QString& stored, const QString& typed);

// Opens a system store for the role passwords.
class SystemStore {
  public:
    // The program directory's.
    SystemStore();
    // The one of the store's account sets: a password changed there holds at every desk that uses them.
    explicit SystemStore(const AccountSetStore& accountSets);
    ~SystemStore();
    SystemStore(const SystemStore&) = delete;
    SystemStore& operator=(const SystemStore&) = delete;

    // The stored password of the role; nothing when the role has no row. NULL reads as the empty text.
    std::optional<QString> storedPassword(const QString& role);
    // False when the role has no row, otherwise whether `typed` matches exactly.
    bool checkPassword(const QString& role, const QString& typed);
    // Stores the password for the role as given (the caller trims). Raises when the role has no row.
    void setPassword(const QString& role, const QString& password);

  private:
    struct Private;
    // Owned also while the constructor runs: a store that cannot be opened leaves nothing behind.
    std::unique_ptr<Private> d;
};

}  // namespace hx
