#include "gui/shell/sysmenu.h"

#include <QDir>
#include <exception>

#include "core/data/accountset.h"
#include "core/data/connection.h"
#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "core/data/password.h"
#include "core/data/schema.h"
#include "gui/shell/session.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

Connection& mainConnection() {
    TdataFrm* module = dataFrm();
    if (!module) throw Error(QStringLiteral("数据模块没有创建。"));
    return module->cnMain;
}

}  // namespace

void backupData() {
    const QString backup = curAccountSet.backup(mainConnection());
    Dialogs::get().information(QStringLiteral("备份成功，文件为：") + QDir::toNativeSeparators(backup) +
                               QStringLiteral(" 请妥善保存。"));
}

void restoreData() {
    if (curUser != roleAccountant) {
        Dialogs::get().message(QStringLiteral("没有权限！"));
        return;
    }
    const std::optional<QString> source =
        Dialogs::get().openFile(QStringLiteral("数据库文件|*.mdb"), curAccountSet.backupFolder());
    if (!source) return;
    if (Dialogs::get().confirm(QStringLiteral("恢复日期以后录入的数据需要重新录入，确定吗？")) == Answer::No)
        return;
    if (!isAccountSet(*source)) {
        Dialogs::get().warning(
            QStringLiteral("“%1”不是工资库文件，没有恢复。").arg(QDir::toNativeSeparators(*source)));
        return;
    }
    const QString safety = curAccountSet.restore(mainConnection(), *source);
    Dialogs::get().information(
        QStringLiteral("数据恢复成功！\n恢复前的工资库已保存为：%1").arg(QDir::toNativeSeparators(safety)));
}

void changePassword() {
    Dialogs& dialogs = Dialogs::get();
    const std::optional<QString> old = dialogs.input(QStringLiteral("原密码"), QString(), QString());
    if (!old) return;
    // The roles of the account set's place: a server set's passwords are the server's, for every desk.
    SystemStore store(curAccountSet.store());
    // Exactly as typed: blanks count here, unlike at the login.
    if (!store.checkPassword(curUser, *old)) {
        dialogs.information(QStringLiteral("原密码不对！"));
        return;
    }
    const std::optional<QString> first = dialogs.input(QStringLiteral("新密码"), QString(), QString());
    if (!first) return;
    const std::optional<QString> second = dialogs.input(QStringLiteral("重复新密码"), QString(), QString());
    if (!second) return;
    if (*first != *second) {
        dialogs.information(QStringLiteral("两次录入的新密码不对！"));
        return;
    }
    // Passwords are compared trimmed at the login, so the new one is stored trimmed and compared
    // trimmed with the old one: one that trims to the old password would change nothing.
    const QString fresh = first->trimmed();
    if (fresh == old->trimmed()) {
        dialogs.information(QStringLiteral("新密码与原密码一样，没有更改！"));
        return;
    }
    store.setPassword(curUser, fresh);
    dialogs.information(QStringLiteral("密码更改成功，下次登录生效！"));
}

void showAbout() {
    Dialogs::get().message(
        QStringLiteral("禾岫服装ERP计件工资助手\n"
                       "版本 V1.0\n\n"
                       "出品：禾岫软件工作室\n"
                       "设计：禾岫服装ERP项目组\n"
                       "适用：服装厂人事、生产、会计计件工资管理\n"
                       "版权所有 © 禾岫软件工作室"));
}

}  // namespace hx
