#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <vector>

#include "core/data/accountset.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace hx {

// True after a login to an account set that cannot be written (the file or its folder is read-only):
// cnMain is then open for reading only and the application's display name, which every window title
// shows, ends in "（只读）".
bool accountSetReadOnly();
void setAccountSetReadOnly(bool readOnly);

// The login window: the role, its password and the account set; the accountant may create a new
// account set from the template here. The list holds the account-set files of the program directory,
// then the account sets of each server of servers.conf as "NAME（服务器 SERVICE）"; a server that cannot be
// reached stands as one entry "服务器 SERVICE（连不上）": the login to it asks the server again and says
// why it cannot be reached. The role's password is checked against the system store of the account
// set's place: the program directory's for a file, the server's own for a server set. Its result is Accepted
// after a successful login (cnMain open on the account set, curUser and curAccountSet set) and Rejected
// otherwise: a wrong password ends the program.
class TLoginFrm : public QDialog {
    Q_OBJECT
  public:
    explicit TLoginFrm(QWidget* parent = nullptr);

    // The last entry of the account-set list, which creates a new account set.
    static QString newAccountSetEntry() { return QStringLiteral("新建工资库..."); }
    // How the list shows an account set of a server, and a server that cannot be reached.
    static QString serverSetEntry(const QString& name, const QString& service);
    static QString unreachableServerEntry(const QString& service);

    QLabel* lblUser;
    QLabel* lblWiWa;
    QLabel* lblMDB;
    QComboBox* cbbUser;
    QLineEdit* edtWiWa;
    QComboBox* cbbMDB;
    QPushButton* btnIn;
    QPushButton* btnOut;

  public slots:
    // Logs in (the button "登录" and Enter anywhere in the window).
    void btnInClick();
    // A selection of the account-set list by the user; starts the new account set on its last entry.
    void cbbMDBChange();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // A place that keeps account sets: the program directory, or a server of servers.conf.
    struct Place {
        Place(std::shared_ptr<AccountSetStore> sets, QString serviceName)
            : store(std::move(sets)), service(std::move(serviceName)) {}
        std::shared_ptr<AccountSetStore> store;  // empty for a server line that cannot be used
        QString service;                         // empty for the program directory
        QString problem;                         // why the server's sets are not listed
    };

    void login();
    void createAccountSet();
    // The typed password (trimmed) against the chosen role's stored password in the place's system store.
    bool passwordAccepted(const AccountSetStore& store);
    // The list entries of a place, added at `row` (its sets, or the one entry of an unreachable server).
    void addEntries(int place, int row);
    // Asks an unreachable server again; true when its sets are listed now, else its message is shown.
    bool reachAgain(int row);
    int placeAt(int row) const;
    QString setNameAt(int row) const;
    // Where a new account set goes: asked only when servers are offered; nothing when the user cancels.
    std::optional<int> choosePlace();

    std::vector<Place> m_places;
};

}  // namespace hx
