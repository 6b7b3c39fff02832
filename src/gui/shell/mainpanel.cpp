#include "gui/shell/mainpanel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QScreen>
#include <QToolButton>
#include <QWindow>
#include <algorithm>

#include "gui/shell/session.h"
#include "gui/shell/sysmenu.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

const QColor aqua(0, 255, 255);
const QColor lime(0, 255, 0);

QFont arialFont(int pixelSize, bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QToolButton* panelButton(QWidget* parent, const QString& name, const QString& text, const QString& tip,
                         const QRect& geometry) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(tip);
    button->setGeometry(geometry);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(arialFont(16, true));
    button->setStyleSheet(
        QStringLiteral("QToolButton { color: #00ff00; background: transparent; border: none; "
                       "padding: 0px; }"
                       "QToolButton:hover { background: rgba(255, 255, 255, 40); "
                       "border-radius: 3px; }"
                       "QToolButton:pressed { background: rgba(255, 255, 255, 70); }"));
    return button;
}

}  // namespace

// ---- EntryLabel

EntryLabel::EntryLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setAlignment(Qt::AlignCenter);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setCursor(Qt::PointingHandCursor);
    setHot(false);
}

void EntryLabel::setHot(bool hot) {
    m_hot = hot;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, hot ? lime : aqua);
    setPalette(p);
    setFont(arialFont(13, hot));
}

void EntryLabel::enterEvent(QEnterEvent* event) {
    setHot(true);
    QLabel::enterEvent(event);
}

void EntryLabel::leaveEvent(QEvent* event) {
    setHot(false);
    QLabel::leaveEvent(event);
}

void EntryLabel::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void EntryLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click) emit clicked();
}

// ---- the picture

QPixmap drawPanelPicture(const QSize& size) {
    const qreal dpr = 1.0;
    QPixmap pixmap(size * dpr);
    pixmap.setDevicePixelRatio(dpr);
    const qreal w = size.width();
    const qreal h = size.height();

    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The dark blue band, a shade lighter in the middle.
    QLinearGradient band(0, 0, 0, h);
    band.setColorAt(0.0, QColor(16, 42, 102));
    band.setColorAt(0.45, QColor(10, 30, 80));
    band.setColorAt(1.0, QColor(5, 16, 48));
    p.fillRect(QRectF(0, 0, w, h), band);
    QLinearGradient sheen(0, 0, w, 0);
    sheen.setColorAt(0.0, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.35, QColor(120, 170, 255, 28));
    sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, 0, w, h / 2), sheen);

    // A thin gold rule under the title and the tray that carries the entries.
    QLinearGradient rule(76, 0, w - 6, 0);
    rule.setColorAt(0.0, QColor(232, 190, 90, 230));
    rule.setColorAt(1.0, QColor(232, 190, 90, 0));
    p.setPen(QPen(QBrush(rule), 1.2));
    p.drawLine(QPointF(76, 41.5), QPointF(w - 6, 41.5));
    QPainterPath tray;
    tray.addRoundedRect(QRectF(76, 45, w - 82, 34), 6, 6);
    p.fillPath(tray, QColor(255, 255, 255, 16));
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    for (qreal x : {155.5, 231.5, 307.5, 383.5, 459.5, 535.5}) p.drawLine(QPointF(x, 52), QPointF(x, 72));

    // The circular logo: a golden disc with the character 禾 and an ear of grain's arc around it.
    const QPointF centre(38, 42);
    const qreal radius = 31;
    QRadialGradient disc(centre - QPointF(9, 10), radius * 1.6);
    disc.setColorAt(0.0, QColor(255, 226, 140));
    disc.setColorAt(0.55, QColor(222, 160, 40));
    disc.setColorAt(1.0, QColor(150, 90, 10));
    p.setPen(QPen(QColor(255, 240, 200), 2));
    p.setBrush(disc);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(QColor(120, 60, 0, 160), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, radius - 5, radius - 5);
    QFont logoFont;
    logoFont.setFamilies({QStringLiteral("WenQuanYi Micro Hei")});
    logoFont.setPixelSize(34);
    logoFont.setBold(true);
    p.setFont(logoFont);
    const QRectF logoBox(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p.setPen(QColor(90, 40, 0, 150));
    p.drawText(logoBox.translated(1.5, 2), Qt::AlignCenter, QStringLiteral("禾"));
    p.setPen(QColor(255, 255, 255));
    p.drawText(logoBox, Qt::AlignCenter, QStringLiteral("禾"));

    // The title across the top.
    QFont titleFont;
    titleFont.setFamilies({QStringLiteral("WenQuanYi Micro Hei")});
    titleFont.setPixelSize(21);
    titleFont.setBold(true);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(titleFont);
    const QRectF titleBox(80, 6, 280, 32);
    const QString title = QStringLiteral("禾岫服装ERP计件工资助手");
    p.setPen(QColor(0, 0, 0, 150));
    p.drawText(titleBox.translated(1.5, 1.5), Qt::AlignLeft | Qt::AlignVCenter, title);
    QLinearGradient titleColour(0, 10, 0, 34);
    titleColour.setColorAt(0.0, QColor(255, 255, 255));
    titleColour.setColorAt(1.0, QColor(255, 228, 150));
    p.setPen(QPen(QBrush(titleColour), 1));
    p.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, title);
    p.end();
    return pixmap;
}

// ---- TmainFrm

TmainFrm::TmainFrm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("mainFrm"));
    setWindowTitle(applicationTitle());
    setFixedSize(614, 84);
    setFont(arialFont(13));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 614, 84);
    Image1->setPixmap(drawPanelPicture(QSize(614, 84)));
    Image1->installEventFilter(this);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setAttribute(Qt::WA_TranslucentBackground);
    lblVersion->setFont(arialFont(12, true));
    QPalette versionPalette = lblVersion->palette();
    versionPalette.setColor(QPalette::WindowText, Qt::white);
    lblVersion->setPalette(versionPalette);
    lblVersion->move(360, 20);
    lblVersion->setText(QStringLiteral("V1.0"));
    lblVersion->adjustSize();

    // The entries share the tray evenly, 76 pixels each.
    const int lefts[entryCount] = {80, 156, 232, 308, 384, 460, 536};
    for (int i = 0; i < entryCount; ++i) {
        const Entry entry = static_cast<Entry>(i);
        const EntryInfo& info = entryInfo(entry);
        auto* label = new EntryLabel(info.text, this);
        label->setObjectName(info.labelName);
        label->setGeometry(lefts[i], 47, 72, 30);
        connect(label, &EntryLabel::clicked, this, [this, entry] { openEntry(entry); });
        m_labels[i] = label;
    }
    lblStaff = m_labels[0];
    lblJob = m_labels[1];
    lblJobData = m_labels[2];
    lblAnalyse = m_labels[3];
    lblSalary = m_labels[4];
    lblSalaryData = m_labels[5];
    lblProduction = m_labels[6];

    btnSys = panelButton(this, QStringLiteral("btnSys"), QStringLiteral("T"), QStringLiteral("系统菜单"),
                         QRect(524, 6, 20, 20));
    btnHelp = panelButton(this, QStringLiteral("btnHelp"), QStringLiteral("?"), QStringLiteral("即时帮助"),
                          QRect(545, 6, 20, 20));
    btnQuit = panelButton(this, QStringLiteral("btnQuit"), QStringLiteral("X"), QStringLiteral("关闭退出"),
                          QRect(566, 6, 21, 20));
    btnMini = panelButton(this, QStringLiteral("btnMini"), QStringLiteral("<<"), QStringLiteral("隐藏面板"),
                          QRect(588, 6, 21, 20));
    QFont songti;
    songti.setFamilies(
        {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
    songti.setPixelSize(16);
    songti.setBold(true);
    btnMini->setFont(songti);
    connect(btnSys, &QToolButton::clicked, this, &TmainFrm::btnSysClick);
    connect(btnHelp, &QToolButton::clicked, this, &TmainFrm::btnHelpClick);
    connect(btnQuit, &QToolButton::clicked, this, &TmainFrm::btnQuitClick);
    connect(btnMini, &QToolButton::clicked, this, &TmainFrm::btnMiniClick);

    popSys = new QMenu(this);
    popSys->setObjectName(QStringLiteral("popSys"));
    pBackup = popSys->addAction(QStringLiteral("备份数据"));
    pBackup->setObjectName(QStringLiteral("pBackup"));
    pRestore = popSys->addAction(QStringLiteral("恢复数据"));
    pRestore->setObjectName(QStringLiteral("pRestore"));
    popSys->addSeparator();
    pPWD = popSys->addAction(QStringLiteral("更改密码"));
    pPWD->setObjectName(QStringLiteral("pPWD"));
    popSys->addSeparator();
    pAbout = popSys->addAction(QStringLiteral("关于"));
    pAbout->setObjectName(QStringLiteral("pAbout"));
    connect(pBackup, &QAction::triggered, this, &TmainFrm::pBackupClick);
    connect(pRestore, &QAction::triggered, this, &TmainFrm::pRestoreClick);
    connect(pPWD, &QAction::triggered, this, &TmainFrm::pPWDClick);
    connect(pAbout, &QAction::triggered, this, &TmainFrm::pAboutClick);

    move(0, 0);
}

TmainFrm::~TmainFrm() {
    // The work windows stand on their own; they end with the panel, before the data module they use.
    for (QPointer<WorkWindow>& window : m_windows) delete window.data();
}

QString TmainFrm::defaultHelpText() {
    return QStringLiteral(
        "T    系统菜单，包括更改密码、备份、恢复等功能；\n\n"
        "?    即时帮助。具体操作过程中，点击帮助按钮，会给出相应的提示；\n\n"
        "X    关闭程序，退出操作；\n\n"
        "<<  隐藏面板。隐藏状态下变为 >> 符号。");
}

void TmainFrm::openEntry(Entry entry) {
    guarded([&] {
        if (!entryAllows(entry, curUser)) {
            Dialogs::get().message(QStringLiteral("没有权限！"));
            return;
        }
        const int index = static_cast<int>(entry);
        if (!m_windows[index]) {
            WorkWindow* window = createWorkWindow(entry);
            m_windows[index] = window;
            // A window opens in the middle of the screen, clear of the panel: one too tall for the room
            // beside the panel starts just below it, as far as the screen lets it.
            if (QScreen* screen = this->screen()) {
                const QRect area = screen->availableGeometry();
                if (!window->testAttribute(Qt::WA_Moved))
                    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
                const QRect panel = frameGeometry();
                if (window->frameGeometry().intersects(panel)) {
                    const int fitting = area.bottom() + 1 - window->frameGeometry().height();
                    window->move(window->x(), std::max(area.top(), std::min(panel.bottom() + 1, fitting)));
                }
            }
            connect(window, &WorkWindow::closed, this,
                    [this, index](WorkWindow* closed) { workWindowClosed(index, closed); });
            linkWorkWindow(window, [this](Entry next) {
                openEntry(next);
                return workWindow(next);
            });
        }
        WorkWindow* window = m_windows[index];
        window->show();
        window->raise();
        window->activateWindow();
    });
}

void TmainFrm::workWindowClosed(int index, WorkWindow* window) {
    if (m_windows[index] == window) m_windows[index] = nullptr;
}

void TmainFrm::btnSysClick() {
    // An error while popping the menu is of no consequence.
    try {
        popSys->popup(QCursor::pos());
    } catch (...) {
    }
}

void TmainFrm::btnHelpClick() {
    guarded([] {
        if (helpProc)
            helpProc();
        else
            Dialogs::get().information(defaultHelpText());
    });
}

void TmainFrm::btnQuitClick() {
    QCoreApplication::quit();
}

void TmainFrm::btnMiniClick() {
    if (btnMini->text() == QLatin1String("<<")) {
        move(-588, 0);
        btnMini->setText(QStringLiteral(">>"));
        btnMini->setToolTip(QStringLiteral("显示面板"));
    } else {
        move(0, 0);
        btnMini->setText(QStringLiteral("<<"));
        btnMini->setToolTip(QStringLiteral("隐藏面板"));
    }
}

void TmainFrm::pBackupClick() {
    guarded(backupData);
}

void TmainFrm::pRestoreClick() {
    guarded(restoreData);
}

void TmainFrm::pPWDClick() {
    guarded(changePassword);
}

void TmainFrm::pAboutClick() {
    guarded(showAbout);
}

bool TmainFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Image1) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) return true;
            // Let the window system move the panel as it moves a window by its title bar; where it
            // cannot, follow the mouse ourselves.
            QWindow* handle = windowHandle();
            if (handle && handle->startSystemMove()) return true;
            m_dragging = true;
            m_dragOffset = mouse->globalPosition().toPoint() - pos();
            return true;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (m_dragging && (mouse->buttons() & Qt::LeftButton))
                move(mouse->globalPosition().toPoint() - m_dragOffset);
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) m_dragging = false;
            return true;
        default:
            return QWidget::eventFilter(watched, event);
    }
}

void TmainFrm::showEvent(QShowEvent* event) {
    lblVersion->setText(QStringLiteral("V1.0"));
    QWidget::showEvent(event);
}

void TmainFrm::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::quit();
}

}  // namespace hx
