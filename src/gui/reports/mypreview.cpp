#include "gui/reports/mypreview.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include "gui/reports/myrpsetup.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

const QString snapshotFilter = QStringLiteral("Rave Snapshot Files (*.ndr)|*.ndr");

}  // namespace

TmyPreviewFrm::TmyPreviewFrm(QWidget* parent) : QDialog(parent, Qt::Window) {
    setObjectName(QStringLiteral("myPreviewFrm"));
    setWindowTitle(QStringLiteral("禾岫ERP报表预览"));
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(9);
    setFont(f);
    resize(615, 450);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    RvRenderPreview = new TRvRenderPreview(ScrollBox1, this);
    connect(RvRenderPreview, &TRvRenderPreview::PageChange, this, &TmyPreviewFrm::PageChangeEvent);
    connect(RvRenderPreview, &TRvRenderPreview::ZoomChange, this, &TmyPreviewFrm::ZoomChangeEvent);

    QStyle* st = style();
    actnFile_Open = command(QStringLiteral("打开 &O"), QStringLiteral("打开"),
                            QKeySequence(Qt::CTRL | Qt::Key_O), [this] { actnFile_OpenExecute(); });
    actnFile_Open->setIcon(st->standardIcon(QStyle::SP_DialogOpenButton));
    actnFile_Save = command(QStringLiteral("保存 &S"), QStringLiteral("保存"),
                            QKeySequence(Qt::CTRL | Qt::Key_S), [this] { actnFile_SaveExecute(); });
    actnFile_Save->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
    actnFile_Print = command(QStringLiteral("打印 &P"), QStringLiteral("打印"),
                             QKeySequence(Qt::CTRL | Qt::Key_P), [this] { actnFile_PrintExecute(); });
    actnFile_Print->setIcon(st->standardIcon(QStyle::SP_FileIcon));
    actnFile_Exit =
        command(QStringLiteral("退出 &x"), QStringLiteral("退出预览"), QKeySequence(), [this] { close(); });
    actnFile_Exit->setIcon(st->standardIcon(QStyle::SP_DialogCloseButton));
    actnPage_First =
        command(QStringLiteral("首页 &F"), QStringLiteral("首页"), QKeySequence(Qt::CTRL | Qt::Key_Home),
                [this] { RvRenderPreview->RenderPage(1); });
    actnPage_First->setIcon(st->standardIcon(QStyle::SP_MediaSkipBackward));
    actnPage_Previous =
        command(QStringLiteral("上页 &P"), QStringLiteral("上页"), QKeySequence(Qt::CTRL | Qt::Key_PageUp),
                [this] { RvRenderPreview->PrevPage(); });
    actnPage_Previous->setIcon(st->standardIcon(QStyle::SP_MediaSeekBackward));
    actnPage_Next =
        command(QStringLiteral("下页 &N"), QStringLiteral("下页"), QKeySequence(Qt::CTRL | Qt::Key_PageDown),
                [this] { RvRenderPreview->NextPage(); });
    actnPage_Next->setIcon(st->standardIcon(QStyle::SP_MediaSeekForward));
    actnPage_Last =
        command(QStringLiteral("尾页 &L"), QStringLiteral("尾页"), QKeySequence(Qt::CTRL | Qt::Key_End),
                [this] { RvRenderPreview->RenderPage(RvRenderPreview->Pages()); });
    actnPage_Last->setIcon(st->standardIcon(QStyle::SP_MediaSkipForward));
    actnPage_Goto = command(QStringLiteral("跳至页 # &G"), QString(), QKeySequence(Qt::CTRL | Qt::Key_G),
                            [this] { actnPage_GotoExecute(); });
    actnZoom_In = command(QStringLiteral("放大 &I"), QStringLiteral("放大"), QKeySequence(),
                          [this] { RvRenderPreview->ZoomIn(); });
    actnZoom_In->setIcon(st->standardIcon(QStyle::SP_ArrowUp));
    actnZoom_Out = command(QStringLiteral("缩小 &O"), QStringLiteral("缩小"), QKeySequence(),
                           [this] { RvRenderPreview->ZoomOut(); });
    actnZoom_Out->setIcon(st->standardIcon(QStyle::SP_ArrowDown));
    actnZoom_PageWidth =
        command(QStringLiteral("适合页宽 &P"), QStringLiteral("适合页宽"), QKeySequence(Qt::CTRL | Qt::Key_W),
                [this] { RvRenderPreview->setZoomFactor(RvRenderPreview->ZoomPageWidthFactor()); });
    actnZoom_PageWidth->setIcon(st->standardIcon(QStyle::SP_TitleBarMaxButton));
    actnZoom_Page =
        command(QStringLiteral("适合整页 &W"), QStringLiteral("适合整页"), QKeySequence(Qt::CTRL | Qt::Key_F),
                [this] { RvRenderPreview->setZoomFactor(RvRenderPreview->ZoomPageFactor()); });
    actnZoom_Page->setIcon(st->standardIcon(QStyle::SP_TitleBarNormalButton));

    menuMain = new QMenuBar(this);
    QMenu* file = menuMain->addMenu(QStringLiteral("文件 &F"));
    file->addActions({actnFile_Open, actnFile_Save, actnFile_Print});
    file->addSeparator();
    file->addAction(actnFile_Exit);
    QMenu* page = menuMain->addMenu(QStringLiteral("页 &P"));
    page->addActions({actnPage_First, actnPage_Previous, actnPage_Next, actnPage_Last});
    page->addSeparator();
    page->addAction(actnPage_Goto);
    QMenu* zoom = menuMain->addMenu(QStringLiteral("缩放 &Z"));
    zoom->addActions({actnZoom_In, actnZoom_Out});
    zoom->addSeparator();
    zoom->addActions({actnZoom_PageWidth, actnZoom_Page});

    toolBar = new QToolBar(this);
    toolBar->addActions({actnFile_Open, actnFile_Save, actnFile_Print});
    toolBar->addSeparator();
    toolBar->addActions({actnPage_First, actnPage_Previous, actnPage_Next, actnPage_Last});
    toolBar->addWidget(new QLabel(QStringLiteral(" 页 "), toolBar));
    PageEdit = new QLineEdit(toolBar);
    PageEdit->setObjectName(QStringLiteral("PageEdit"));
    PageEdit->setFixedWidth(40);
    toolBar->addWidget(PageEdit);
    PageLabel = new QLabel(QStringLiteral("之 3000"), toolBar);
    PageLabel->setObjectName(QStringLiteral("PageLabel"));
    toolBar->addWidget(PageLabel);
    toolBar->addSeparator();
    toolBar->addActions({actnZoom_In, actnZoom_Out, actnZoom_PageWidth, actnZoom_Page});
    toolBar->addWidget(new QLabel(QStringLiteral(" 缩放 "), toolBar));
    ZoomEdit = new QLineEdit(QStringLiteral("100.0"), toolBar);
    ZoomEdit->setObjectName(QStringLiteral("ZoomEdit"));
    ZoomEdit->setFixedWidth(48);
    toolBar->addWidget(ZoomEdit);
    toolBar->addWidget(new QLabel(QStringLiteral("%"), toolBar));
    toolBar->addSeparator();
    toolBar->addAction(actnFile_Exit);

    ScrollBox1->setContextMenuPolicy(Qt::ActionsContextMenu);
    ScrollBox1->addActions({actnZoom_In, actnZoom_Out});
    sbarMain = new QStatusBar(this);
    sbarMain->setObjectName(QStringLiteral("sbarMain"));
    sbarMain->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuMain);
    layout->addWidget(toolBar);
    layout->addWidget(ScrollBox1, 1);
    layout->addWidget(sbarMain);

    // The window sees every keystroke before its controls.
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    installEventFilter(this);
    UpdateActions();
}

QAction* TmyPreviewFrm::command(const QString& text, const QString& hint, QKeySequence shortcut,
                                std::function<void()> run) {
    auto* a = new QAction(text, this);
    if (!hint.isEmpty()) a->setToolTip(hint);
    a->setShortcut(shortcut);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, [this, run] {
        guarded(run);
        UpdateActions();
    });
    addAction(a);
    return a;
}

void TmyPreviewFrm::InitFromRPSystem() {
    if (!ReportFileName.isEmpty())
        RvRenderPreview->RenderFile(ReportFileName);
    else if (InputStream)
        RvRenderPreview->Render(*InputStream);
    UpdateActions();
}

void TmyPreviewFrm::UpdateActions() {
    const int page = RvRenderPreview->CurrentPage(), pages = RvRenderPreview->Pages();
    actnPage_First->setEnabled(page > 1);
    actnPage_Previous->setEnabled(page > 1);
    actnPage_Next->setEnabled(page < pages);
    actnPage_Last->setEnabled(page < pages);
}

void TmyPreviewFrm::PageChangeEvent() {
    const int page = RvRenderPreview->CurrentPage(), pages = RvRenderPreview->Pages();
    PageEdit->setText(QString::number(page));
    PageLabel->setText(QStringLiteral("之 ") + QString::number(pages));
    PageLabel->setFixedWidth(PageLabel->fontMetrics().horizontalAdvance(PageLabel->text()) + 8);
    sbarMain->showMessage(QStringLiteral("页 %1 之 %2").arg(page).arg(pages));
    UpdateActions();
}

void TmyPreviewFrm::ZoomChangeEvent() {
    ZoomEdit->setText(QString::number(RvRenderPreview->ZoomFactor(), 'f', 1));
    if (RvRenderPreview->CurrentPage() > 0) RvRenderPreview->RedrawPage();
}

void TmyPreviewFrm::ZoomEditExit() {
    bool ok = false;
    const double zoom = ZoomEdit->text().toDouble(&ok);
    if (ok && zoom != RvRenderPreview->ZoomFactor()) RvRenderPreview->setZoomFactor(zoom);
    // The box shows the zoom in force (a value kept within bounds, or a text that did not convert).
    ZoomEdit->setText(QString::number(RvRenderPreview->ZoomFactor(), 'f', 1));
}

void TmyPreviewFrm::PageEditExit() {
    bool ok = false;
    const int page = PageEdit->text().toInt(&ok);
    if (ok && page != RvRenderPreview->CurrentPage()) RvRenderPreview->RenderPage(page);
    UpdateActions();
}

void TmyPreviewFrm::actnPage_GotoExecute() {
    const auto answer =
        Dialogs::get().input(QStringLiteral("Go to Page"), QStringLiteral("Enter page to move to:"),
                             QString::number(RvRenderPreview->CurrentPage()));
    if (!answer) return;
    bool ok = false;
    int page = answer->trimmed().toInt(&ok);
    if (!ok || page < 0) page = -1;
    if (page >= 0 && page != RvRenderPreview->CurrentPage()) RvRenderPreview->RenderPage(page);
}

void TmyPreviewFrm::actnFile_OpenExecute() {
    const auto name = Dialogs::get().openFile(snapshotFilter + QStringLiteral("|All Files|*.*"));
    if (!name) return;
    // A file that is not a snapshot leaves the report shown as it was.
    RvRenderPreview->RenderFile(*name);
    setWindowTitle(applicationTitle() + QStringLiteral(" - [ ") + QFileInfo(*name).fileName() +
                   QStringLiteral(" ]"));
}

void TmyPreviewFrm::actnFile_SaveExecute() {
    QString filter = snapshotFilter;
    for (const FileRenderer& r : activeFileRenderers())
        filter += QLatin1Char('|') + r.DisplayName + QLatin1Char('|') + r.FileMask;
    auto name = Dialogs::get().saveFile(filter);
    if (!name || !RvRenderPreview->Stream()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() { QApplication::restoreOverrideCursor(); }
    } restore;
    // Our file dialog returns the name alone: the type is told by its extension, ".ndr" when it has none.
    QString file = *name;
    if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".ndr");
    for (const FileRenderer& r : activeFileRenderers()) {
        if (r.FileMask.mid(2).compare(QFileInfo(file).suffix(), Qt::CaseInsensitive) == 0) {
            r.render(*RvRenderPreview->Stream(), file, windowTitle());
            return;
        }
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        throw ReportError(QStringLiteral("无法创建文件\"%1\"：%2").arg(file, out.errorString()));
    writeSnapshot(*RvRenderPreview->Stream(), out);
    if (!out.commit())
        throw ReportError(QStringLiteral("无法写入文件\"%1\"：%2").arg(file, out.errorString()));
}

void TmyPreviewFrm::actnFile_PrintExecute() {
    if (ReportSystem && !(ReportSystem->SystemOptions & soAllowPrintFromPreview)) return;
    RvRenderPrinter.Stream = RvRenderPreview->Stream();
    if (!RvRenderPrinter.Stream) return;
    if (!ReportSystem || (ReportSystem->SystemSetups & ssAllowPreviewSetup)) {
        TmyRpSetupFrm setup(this);
        setup.ReportSystem = ReportSystem;
        setup.PreviewSetup = true;
        setup.FilePrinter = &RvRenderPrinter;
        if (ReportSystem) setup.setWindowTitle(ReportSystem->TitleSetup);
        if (setup.exec() != QDialog::Accepted) {
            RvRenderPrinter.Stream = nullptr;
            return;
        }
    }
    if (RvRenderPrinter.printerMakesCopies() || RvRenderPrinter.Copies < 2) {
        RvRenderPrinter.Render();
    } else {
        const int copies = RvRenderPrinter.Copies;
        RvRenderPrinter.Copies = 1;
        for (int i = 0; i < copies; ++i) RvRenderPrinter.Render();
    }
    if (AfterPreviewPrintEvent) AfterPreviewPrintEvent(RvRenderPrinter);
    RvRenderPrinter.Stream = nullptr;
}

bool TmyPreviewFrm::FormKeyPress(QKeyEvent* e) {
    const QString t = e->text();
    if (t.size() != 1) return false;
    const QChar c = t[0];
    // Only characters: keys without one (arrows, Tab, Delete) go on as key-downs.
    const bool character = c.unicode() >= 32
                               ? c.unicode() != 127
                               : (c == QLatin1Char('\r') || c == QLatin1Char('\b') || c.unicode() == 27);
    if (!character || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) return false;
    bool consumed = true;
    if (c.unicode() == 27 || c == QLatin1Char('x')) {
        actnFile_Exit->trigger();
    } else if (!QStringLiteral("eEbBwWfFnNpP+-01234567890.\r\b").contains(c)) {
        // discarded
    } else if (c == QLatin1Char('+')) {
        actnZoom_In->trigger();
    } else if (c == QLatin1Char('-')) {
        actnZoom_Out->trigger();
    } else if (c.toLower() == QLatin1Char('b')) {
        RvRenderPreview->RenderPage(1);
    } else if (c.toLower() == QLatin1Char('e')) {
        RvRenderPreview->RenderPage(RvRenderPreview->Pages());
    } else if (c.toLower() == QLatin1Char('f')) {
        actnZoom_Page->trigger();
    } else if (c.toLower() == QLatin1Char('n')) {
        if (RvRenderPreview->CurrentPage() < RvRenderPreview->Pages()) RvRenderPreview->NextPage();
    } else if (c.toLower() == QLatin1Char('p')) {
        if (RvRenderPreview->CurrentPage() > 1) RvRenderPreview->PrevPage();
    } else if (c.toLower() == QLatin1Char('w')) {
        actnZoom_PageWidth->trigger();
    } else {
        consumed = false;
    }
    if (consumed) {
        PageEdit->selectAll();
        ZoomEdit->selectAll();
        UpdateActions();
    }
    return consumed;
}

bool TmyPreviewFrm::FormKeyDown(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const bool plainOrCtrl = mods == Qt::NoModifier || mods == Qt::ControlModifier;
    QScrollBar* v = ScrollBox1->verticalScrollBar();
    QScrollBar* h = ScrollBox1->horizontalScrollBar();
    const int range = v->maximum() + 1;
    const int height = ScrollBox1->viewport()->height();
    auto clampV = [&](int pos) { return std::max(0, std::min(pos, range - 1)); };
    const int page = RvRenderPreview->CurrentPage(), pages = RvRenderPreview->Pages();
    switch (e->key()) {
        case Qt::Key_Up:
            if (!plainOrCtrl) return false;
            if (v->value() - v->singleStep() < 0 && page > 1) {
                RvRenderPreview->PrevPage();
                v->setValue(v->maximum());
            } else {
                v->setValue(clampV(v->value() - v->singleStep()));
            }
            break;
        case Qt::Key_Down: {
            if (!plainOrCtrl) return false;
            const int wanted = v->value() + v->singleStep();
            v->setValue(std::min(wanted, range - 1));
            if (v->value() < wanted && page < pages) {
                RvRenderPreview->NextPage();
                v->setValue(0);
            }
            break;
        }
        case Qt::Key_PageUp:
            if (!plainOrCtrl) return false;
            if (v->value() > 0 || page == 1) {
                v->setValue(std::max(0, v->value() - height));
            } else {
                RvRenderPreview->PrevPage();
                UpdateActions();
                v->setValue(v->maximum());
            }
            break;
        case Qt::Key_PageDown:
            if (!plainOrCtrl) return false;
            if (v->value() + height < v->maximum()) {
                v->setValue(v->value() + height);
            } else if (page < pages) {
                RvRenderPreview->NextPage();
                UpdateActions();
                v->setValue(0);
            } else {
                v->setValue(v->maximum());
            }
            break;
        case Qt::Key_Home:
            if (!plainOrCtrl) return false;
            v->setValue(0);
            break;
        case Qt::Key_End:
            if (!plainOrCtrl) return false;
            v->setValue(v->maximum());
            break;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const int sign = e->key() == Qt::Key_Left ? -1 : 1;
            if (mods == Qt::ControlModifier)
                h->setValue(h->value() + sign * h->singleStep());
            else if (mods == (Qt::ControlModifier | Qt::ShiftModifier))
                h->setValue(h->value() + sign * ScrollBox1->viewport()->width());
            else
                return false;
            break;
        }
        default:
            return false;
    }
    return true;
}

bool TmyPreviewFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // A command's shortcut wins over the boxes' own use of the key while the command is enabled.
        auto* e = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(e->keyCombination());
        for (QAction* a : actions())
            if (a->isEnabled() && !a->shortcut().isEmpty() && a->shortcut() == pressed) {
                e->ignore();
                return true;
            }
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* e = static_cast<QKeyEvent*>(event);
        if (FormKeyPress(e)) return true;
        if (FormKeyDown(e)) return true;
        if (watched == ZoomEdit || watched == PageEdit) {
            const QString t = e->text();
            const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
            if (enter) {
                if (watched == ZoomEdit)
                    ZoomEditExit();
                else
                    PageEditExit();
                static_cast<QLineEdit*>(watched)->selectAll();
                return true;
            }
            if (watched == PageEdit && t == QLatin1String(".")) return true;
            if (watched == ZoomEdit && t.size() == 1 && QStringLiteral("01234567890").contains(t[0])) {
                const QString text = ZoomEdit->text();
                const int dot = text.indexOf(QLatin1Char('.'));
                if (!ZoomEdit->hasSelectedText() && dot >= 0 && dot != text.size() - 1) return true;
            }
        }
    } else if (event->type() == QEvent::FocusOut) {
        if (watched == ZoomEdit) ZoomEditExit();
        if (watched == PageEdit) PageEditExit();
    }
    return QDialog::eventFilter(watched, event);
}

void TmyPreviewFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window opens with the page as wide as the window (at 100 % its right-hand part lies outside).
    // Only now are the sizes of the scroll box known.
    if (!m_opened && RvRenderPreview->Rendered()) {
        m_opened = true;
        actnZoom_PageWidth->trigger();
    }
}

void TmyPreviewFrm::closeEvent(QCloseEvent* event) {
    FormClosed = true;
    QDialog::closeEvent(event);
}

}  // namespace hx
