#include "gui/shell/login.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "core/data/accountset.h"
#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "core/data/myfuns.h"
#include "core/data/password.h"
#include "core/data/programdir.h"
#include "core/data/schema.h"
#include "gui/shell/session.h"
#include "gui/widgets/combolists.h"
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

// Opens cnMain on the account set. A file that is not an account set is refused before it is opened for
// writing, so that the windows never work on a foreign database and nothing is written into it. An
// account set that cannot be written (the file or its folder is read-only) is opened for reading only:
// the user is told so and every window title says "只读". So is one with more than one hard link, which is
// never opened for writing at all: a write cut off through one name could not be undone through another.
void openAccountSet(const QString& path) {
    TdataFrm* module = dataFrm();
    if (!module) throw Error(QStringLiteral("数据模块没有创建。"));
    Connection& cn = module->cnMain;
    cn.close();
    const QString problem = accountSetProblem(path);
    if (!problem.isEmpty())
        throw DbError(QStringLiteral("“%1”不是工资库文件（%2），没有打开。").arg(path, problem));
    const auto openReadOnly = [&cn, &path](const QString& why) {
        cn.open(path, Connection::Access::ReadOnly);
        setAccountSetReadOnly(true);
        Dialogs::get().warning(why);
    };
    const QString hardLinked = hardLinkProblem(path);
    if (!hardLinked.isEmpty()) {
        openReadOnly(hardLinked + QStringLiteral("\n现在只能查看数据，不能保存任何修改。"));
        return;
    }
    cn.open(path);
    if (!cn.writable()) {
        openReadOnly(readOnlyLoginMessage(path));
        return;
    }
    setAccountSetReadOnly(false);
    upgradeAccountSet(cn);
}

bool readOnlyAccountSet = false;

}  // namespace

QString readOnlyLoginMessage(const QString& path) {
    return QStringLiteral(
               "工资库“%1”或它所在的文件夹是只读的，不能保存任何修改。\n"
               "现在只能查看数据；要录入或修改，请让管理员给这个文件夹写入权限后重新登录。")
        .arg(QDir::toNativeSeparators(path));
}

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

TLoginFrm::TLoginFrm(QWidget* parent) : QDialog(parent) {
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
    ListFiles(ProgramDir() + QStringLiteral("*.mdb"), cbbMDB);
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
    const QString path = ProgramDir() + cbbMDB->currentText();
    openAccountSet(path);
    curUser = cbbUser->currentText();
    curMDB = path;
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
    if (!IsValidName(*name)) {
        dialogs.information(QStringLiteral("无效的名称！"));
        return;
    }
    const QString fileName = *name + QStringLiteral(".mdb");
    const QString target = ProgramDir() + fileName;
    // An existing file may be an account set full of data: never replace it with an empty one.
    if (QFileInfo::exists(target)) {
        dialogs.warning(QStringLiteral("工资库“%1”已经存在，不能覆盖。请换一个名称。").arg(fileName));
        return;
    }
    try {
        CopyMDB(ProgramDir() + QStringLiteral("mlcp.dll"), target);
    } catch (const Error&) {
        QFile::remove(target);
        dialogs.information(QStringLiteral("创建不成功，请稍候重试！"));
        return;
    }
    cbbMDB->addItem(fileName);
    cbbMDB->setCurrentIndex(cbbMDB->count() - 1);
    login();
}

}  // namespace hx
