#include "gui/shell/login.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>

#include "core/data/accountset.h"
#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "core/data/password.h"
#include "core/data/postgres/servers.h"
#include "core/data/postgres/serverstore.h"
#include "core/data/programdir.h"
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

// The item data of a list entry: the index of its place, and the account set's name in that place
// (null for a server that cannot be reached).
constexpr int placeRole = Qt::UserRole;
constexpr int nameRole = Qt::UserRole + 1;

}  // namespace

QString TLoginFrm::serverSetEntry(const QString& name, const QString& service) {
    return QStringLiteral("%1（服务器 %2）").arg(name, service);
}

QString TLoginFrm::unreachableServerEntry(const QString& service) {
    return QStringLiteral("服务器 %1（连不上）").arg(service);
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
    m_places.emplace_back(programDirAccountSets(), QString());
    try {
        for (const OfferedServer& server : readServersFile(ProgramDir() + serversFileName)) {
            m_places.emplace_back(server.problem.isEmpty() ? serverStore(server.service) : nullptr,
                                  server.service);
            m_places.back().problem = server.problem;
        }
    } catch (const Error& e) {
        m_places.emplace_back(nullptr, serversFileName);
        m_places.back().problem = e.message();
    }
    for (int place = 0; place < int(m_places.size()); ++place) addEntries(place, cbbMDB->count());
    cbbMDB->addItem(newAccountSetEntry());
    cbbMDB->setItemData(cbbMDB->count() - 1, 0, placeRole);
    cbbMDB->setItemData(cbbMDB->count() - 1, newAccountSetEntry(), nameRole);
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

void TLoginFrm::addEntries(int place, int row) {
    Place& p = m_places[place];
    QStringList names;
    if (p.store && p.problem.isEmpty()) {
        try {
            names = p.store->list();
        } catch (const Error& e) {
            // Not now: the user is told when he logs in to the server, not while the window opens.
            p.problem = e.message();
        }
    }
    if (!p.problem.isEmpty()) {
        cbbMDB->insertItem(row, unreachableServerEntry(p.service));
        cbbMDB->setItemData(row, place, placeRole);
        return;
    }
    for (const QString& name : names) {
        cbbMDB->insertItem(row, p.service.isEmpty() ? name : serverSetEntry(name, p.service));
        cbbMDB->setItemData(row, place, placeRole);
        cbbMDB->setItemData(row, name, nameRole);
        ++row;
    }
}

int TLoginFrm::placeAt(int row) const {
    return cbbMDB->itemData(row, placeRole).toInt();
}

QString TLoginFrm::setNameAt(int row) const {
    return cbbMDB->itemData(row, nameRole).toString();
}

bool TLoginFrm::reachAgain(int row) {
    const int place = placeAt(row);
    Place& p = m_places[place];
    if (p.store) {
        p.problem.clear();
        const QSignalBlocker quiet(cbbMDB);
        cbbMDB->removeItem(row);
        addEntries(place, row);
        cbbMDB->setCurrentIndex(row);
    }
    if (p.problem.isEmpty()) return true;
    Dialogs::get().error(p.problem);
    return false;
}

bool TLoginFrm::passwordAccepted(const AccountSetStore& store) {
    SystemStore roles(store);
    return roles.checkPassword(cbbUser->currentText(), edtWiWa->text().trimmed());
}

void TLoginFrm::btnInClick() {
    guarded([this] { login(); });
}

void TLoginFrm::login() {
    const int row = cbbMDB->currentIndex();
    if (setNameAt(row).isNull()) {
        const int server = placeAt(row);
        // Reached now: the login goes on into the server's first account set; one without any has left
        // the list changed under the user, who looks again.
        if (!reachAgain(row) || placeAt(row) != server || setNameAt(row).isNull()) return;
    }
    const Place& place = m_places[placeAt(row)];
    if (!passwordAccepted(*place.store)) {
        Dialogs::get().message(QStringLiteral("密码不对，登录失败！"));
        reject();
        return;
    }
    const AccountSet set(setNameAt(row), place.store);
    openAccountSet(set);
    curUser = cbbUser->currentText();
    curAccountSet = set;
    accept();
}

void TLoginFrm::cbbMDBChange() {
    // A server that cannot be reached is asked again at the login only: a user who moves along the list
    // with the arrow keys passes its entry, and must not wait for it nor be stopped by its message.
    if (cbbMDB->currentText() == newAccountSetEntry()) guarded([this] { createAccountSet(); });
}

std::optional<int> TLoginFrm::choosePlace() {
    QStringList offered{QStringLiteral("本机程序文件夹")};
    std::vector<int> places{0};
    for (int place = 1; place < int(m_places.size()); ++place) {
        if (!m_places[place].store) continue;
        offered << QStringLiteral("服务器 %1").arg(m_places[place].service);
        places.push_back(place);
    }
    if (places.size() == 1) return 0;
    const std::optional<int> chosen =
        Dialogs::get().choose(QStringLiteral("新建工资库的位置"), QStringLiteral("新建在："), offered);
    if (!chosen) return std::nullopt;
    return places[*chosen];
}

void TLoginFrm::createAccountSet() {
    Dialogs& dialogs = Dialogs::get();
    if (cbbUser->currentText() != roleAccountant) {
        dialogs.warning(QStringLiteral("只有会计才有权限新建工资库！"));
        return;
    }
    const std::optional<int> place = choosePlace();
    if (!place) return;
    const Place& where = m_places[*place];
    AccountSetStore& store = *where.store;
    if (!passwordAccepted(store)) {
        dialogs.warning(QStringLiteral("密码不对，不能新建工资库！"));
        return;
    }
    const std::optional<QString> name = dialogs.input(QStringLiteral("工资库文件名"), QString(), QString());
    if (!name) return;
    if (!store.isValidTitle(*name)) {
        dialogs.information(QStringLiteral("无效的名称！"));
        return;
    }
    const QString setName = store.nameFor(*name);
    if (store.contains(setName)) {
        dialogs.warning(QStringLiteral("工资库“%1”已经存在，不能覆盖。请换一个名称。").arg(setName));
        return;
    }
    try {
        store.create(setName);
    } catch (const Error& e) {
        // A server says why (not reachable, no right to create); a file fails only for a moment.
        dialogs.information(where.service.isEmpty()
                                ? QStringLiteral("创建不成功，请稍候重试！")
                                : QStringLiteral("创建不成功，请稍候重试！\n") + e.message());
        return;
    }
    cbbMDB->addItem(where.service.isEmpty() ? setName : serverSetEntry(setName, where.service));
    cbbMDB->setItemData(cbbMDB->count() - 1, *place, placeRole);
    cbbMDB->setItemData(cbbMDB->count() - 1, setName, nameRole);
    cbbMDB->setCurrentIndex(cbbMDB->count() - 1);
    login();
}

}  // namespace hx
