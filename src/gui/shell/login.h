#pragma once

#include <QDialog>
#include <memory>

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
// account set from the template here. Its result is Accepted after a successful login (cnMain open on
// the account set, curUser and curAccountSet set) and Rejected otherwise: a wrong password ends the program.
class TLoginFrm : public QDialog {
    Q_OBJECT
  public:
    explicit TLoginFrm(QWidget* parent = nullptr);

    // The last entry of the account-set list, which creates a new account set.
    static QString newAccountSetEntry() { return QStringLiteral("新建工资库..."); }

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
    void login();
    void createAccountSet();
    // The typed password (trimmed) against the chosen role's stored password.
    bool passwordAccepted();

    std::shared_ptr<AccountSetStore> m_store;
};

}  // namespace hx
