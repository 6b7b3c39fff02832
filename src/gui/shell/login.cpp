#include "gui/shell/login.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "core/data/accountset.h"
#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "core/data/password.h"
#include "gui/shell/session.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

QLabel* fieldLabel(QWidget* parent, const QString& name, const QString& text, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(40, top, 64, 24);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// Opens cnMain on the account set. One that cannot be written is opened for reading only: the user is
// told why and every window title says "只读".
void openAccountSet(const AccountSet& set) {
    TdataFrm* module = dataFrm();
    if (!module) throw Error(QStringLiteral("数据模块没有创建。"));
    const QString readOnlyReason = set.open(module->cnMain);
    setAccountSetReadOnly(!readOnlyReason.isEmpty());
    if (!readOnlyReason.isEmpty()) Dialogs::get().warning(readOnlyReason);
}

bool readOnlyAccountSet = false;

}  // namespace

bool accountSetReadOnly() {
    return readOnlyAccountSet;
}

void setAccountSetReadOnly(bool readOnly) {
    readOnlyAccountSet = readOnly;
    // The display name follows every window title: each window then shows that nothing can be saved.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setApplicationDisplayName(readOnly ? applicationTitle() + QStringLiteral("（只读）")
                                                            : applicationTitle());
}

TLoginFrm::TLoginFrm(QWidget* parent) : QDialog(parent), m_store(programDirAccountSets()) {
    setObjectName(QStringLiteral("LoginFrm"));
    setWindowTitle(QStringLiteral("登录"));
    setFixedSize(330, 178);

    lblUser = fieldLabel(this, QStringLiteral("lblUser"), QStringLiteral("用户："), 24);
    lblWiWa = fieldLabel(this, QStringLiteral("lblWiWa"), QStringLiteral("密码："), 58);
    lblMDB = fieldLabel(this, QStringLiteral("lblMDB"), QStringLiteral("工资库："), 92);

    cbbUser = new QComboBox(this);
    cbbUser->setObjectName(QStringLiteral("cbbUser"));
    cbbUser->setGeometry(110, 24, 170, 24);
    cbbUser->addItems({rolePersonnel, roleProduction, roleAccountant});
    cbbUser->setCurrentIndex(2);

    edtWiWa = new QLineEdit(this);
    edtWiWa->setObjectName(QStringLiteral("edtWiWa"));
    edtWiWa->setGeometry(110, 58, 170, 24);
    edtWiWa->setEchoMode(QLineEdit::Password);

    cbbMDB = new QComboBox(this);
    cbbMDB->setObjectName(QStringLiteral("cbbMDB"));
    cbbMDB->setGeometry(110, 92, 170, 24);
    cbbMDB->addItems(m_store->list());
    cbbMDB->addItem(newAccountSetEntry());
    cbbMDB->setCurrentIndex(0);

    btnIn = new QPushButton(QStringLiteral("登录"), this);
    btnIn->setObjectName(QStringLiteral("btnIn"));
    btnIn->setGeometry(110, 134, 80, 28);
    btnIn->setDefault(true);
    btnOut = new QPushButton(QStringLiteral("退出"), this);
    btnOut->setObjectName(QStringLiteral("btnOut"));
    btnOut->setGeometry(200, 134, 80, 28);

    setTabOrder(cbbUser, edtWiWa);
    setTabOrder(edtWiWa, cbbMDB);
    setTabOrder(cbbMDB, btnIn);
    setTabOrder(btnIn, btnOut);

    // Only a selection by the user starts the new account set, never one made from code.
    connect(cbbMDB, &QComboBox::activated, this, &TLoginFrm::cbbMDBChange);
    connect(btnIn, &QPushButton::clicked, this, &TLoginFrm::btnInClick);
    connect(btnOut, &QPushButton::clicked, this, &TLoginFrm::reject);

    // The window sees every key before its controls: Enter logs in and Esc cancels wherever the focus is.
    for (QWidget* w :
         {static_cast<QWidget*>(cbbUser), static_cast<QWidget*>(edtWiWa), static_cast<QWidget*>(cbbMDB),
          static_cast<QWidget*>(btnIn), static_cast<QWidget*>(btnOut)})
        w->installEventFilter(this);
}

void TLoginFrm::showEvent(QShowEvent* event) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
    edtWiWa->setFocus();
}

bool TLoginFrm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) edtWiWa->setFocus();
    return QDialog::event(event);
}

bool TLoginFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            btnInClick();
            return true;
        }
        if (key == Qt::Key_Escape) {
            reject();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TLoginFrm::passwordAccepted() {
    SystemStore store;
    return store.checkPassword(cbbUser->currentText(), edtWiWa->text().trimmed());
}

void TLoginFrm::btnInClick() {
    guarded([this] { login(); });
}

void TLoginFrm::login() {
    if (!passwordAccepted()) {
        Dialogs::get().message(QStringLiteral("密码不对，登录失败！"));
        reject();
        return;
    }
    const AccountSet set(cbbMDB->currentText(), m_store);
    openAccountSet(set);
    curUser = cbbUser->currentText();
    curAccountSet = set;
    accept();
}

void TLoginFrm::cbbMDBChange() {
    if (cbbMDB->currentText() != newAccountSetEntry()) return;
    guarded([this] { createAccountSet(); });
}

void TLoginFrm::createAccountSet() {
    Dialogs& dialogs = Dialogs::get();
    if (cbbUser->currentText() != roleAccountant) {
        dialogs.warning(QStringLiteral("只有会计才有权限新建工资库！"));
        return;
    }
    if (!passwordAccepted()) {
        dialogs.warning(QStringLiteral("密码不对，不能新建工资库！"));
        return;
    }
    const std::optional<QString> name = dialogs.input(QStringLiteral("工资库文件名"), QString(), QString());
    if (!name) return;
    if (!m_store->isValidTitle(*name)) {
        dialogs.information(QStringLiteral("无效的名称！"));
        return;
    }
    const QString setName = m_store->nameFor(*name);
    if (m_store->contains(setName)) {
        dialogs.warning(QStringLiteral("工资库“%1”已经存在，不能覆盖。请换一个名称。").arg(setName));
        return;
    }
    try {
        m_store->create(setName);
    } catch (const Error&) {
        dialogs.information(QStringLiteral("创建不成功，请稍候重试！"));
        return;
    }
    cbbMDB->addItem(setName);
    cbbMDB->setCurrentIndex(cbbMDB->count() - 1);
    login();
}

}  // namespace hx
