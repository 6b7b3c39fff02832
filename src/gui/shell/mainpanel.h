#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <array>

#include "gui/shell/entries.h"
#include "gui/widgets/workwindow.h"

class QAction;
class QMenu;
class QToolButton;

namespace hx {

// A text entry of the main panel: aqua text that turns lime and bold under the mouse, clicked when the
// left button is released over it.
class EntryLabel : public QLabel {
    Q_OBJECT
  public:
    EntryLabel(const QString& text, QWidget* parent);
    bool isHot() const { return m_hot; }

  signals:
    void clicked();

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void setHot(bool hot);
    bool m_hot = false;
    bool m_pressed = false;
};

// The main panel: a borderless strip that stays on top at the screen's top-left corner, with the
// entries that open the work windows (each behind its role rule), the system menu, help, quit and
// hide/show. Closing it ends the program.
class TmainFrm : public QWidget {
    Q_OBJECT
  public:
    explicit TmainFrm(QWidget* parent = nullptr);
    ~TmainFrm() override;

    // The default help of "?", shown while no work window has set the help hook.
    static QString defaultHelpText();

    // The open work window of an entry; nullptr when it is not open.
    WorkWindow* workWindow(Entry entry) const { return m_windows[static_cast<int>(entry)]; }
    EntryLabel* entryLabel(Entry entry) const { return m_labels[static_cast<int>(entry)]; }

    QLabel* Image1;
    QLabel* lblVersion;
    EntryLabel* lblStaff;
    EntryLabel* lblJob;
    EntryLabel* lblJobData;
    EntryLabel* lblAnalyse;
    EntryLabel* lblSalary;
    EntryLabel* lblSalaryData;
    EntryLabel* lblProduction;
    QToolButton* btnSys;
    QToolButton* btnHelp;
    QToolButton* btnQuit;
    QToolButton* btnMini;
    QMenu* popSys;
    QAction* pBackup;
    QAction* pRestore;
    QAction* pPWD;
    QAction* pAbout;

  public slots:
    // The role rule of the entry, then its window: created when it is not open, shown and brought to
    // the front.
    void openEntry(hx::Entry entry);
    void btnSysClick();
    void btnHelpClick();
    void btnQuitClick();
    void btnMiniClick();
    void pBackupClick();
    void pRestoreClick();
    void pPWDClick();
    void pAboutClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void workWindowClosed(int index, WorkWindow* window);

    std::array<EntryLabel*, entryCount> m_labels{};
    std::array<QPointer<WorkWindow>, entryCount> m_windows;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

// The picture of the main panel, drawn for the given size.
QPixmap drawPanelPicture(const QSize& size);

}  // namespace hx
