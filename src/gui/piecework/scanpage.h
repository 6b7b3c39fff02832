#pragma once

#include <QDate>
#include <QString>
#include <QWidget>

class QAction;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;

namespace hx {

class DataSet;
class TMyDBGrid;
struct Worker;

// The page "扫描菲票" of the piece-work window: piece counts entered by scanning bundle tickets. The clerk
// chooses the work day and the worker (in the box, or by scanning the worker's badge into the scan field),
// then scans the worker's tickets one after another: a USB scanner types the code and Enter, and the code
// printed under a QR code can be typed by hand. Each accepted ticket adds its pieces to the worker's
// record of its process on that day; the page lists the tickets scanned for that day and worker, the
// last one current, with their running totals. A refusal beeps and is shown on the page in red (never a
// box, which would take the next scans); nothing is stored for it. A scan is undone from the list.
class TicketScanPage : public QWidget {
    Q_OBJECT
  public:
    explicit TicketScanPage(QWidget* parent = nullptr);
    ~TicketScanPage() override;

    static QString helpText();

    // Reads the worker box's list and sets the day to today (when the window opens).
    void load();
    // The page as it is shown: its list read again, the scan field ready for the next code.
    void enter();

    // The worker scanned for; 0 when none, or when the box's text names nobody.
    qint64 currentStaffID() const { return m_staffId; }
    // What the page said about the last code: empty before any.
    QString lastMessage() const;
    bool lastRefused() const { return m_refused; }

  signals:
    // A scan or an undo changed the piece-work records: the other pages' views are out of date.
    void recordsChanged();

  public slots:
    void edScanEnter();
    void btnUndoScanClick();
    void cbbScanStaffChange();
    void cbbDateScanChange();

  private:
    void build();
    // The worker of a badge: chosen in the box, the list shown.
    void chooseWorker(const Worker& worker);
    void acceptCode(const QString& typed);
    void reloadList();
    void showTotals();
    void tell(const QString& text, bool refused);
    void refuse(const QString& reason);

    QDateEdit* cbbDateScan = nullptr;
    QComboBox* cbbScanStaff = nullptr;
    QLineEdit* edScan = nullptr;
    QLabel* lblScanResult = nullptr;
    QToolButton* btnUndoScan = nullptr;
    TMyDBGrid* grdScan = nullptr;
    DataSet* tdScan = nullptr;
    QLabel* dbScanCount = nullptr;
    QLabel* dbScanQty = nullptr;
    QLabel* dbScanTmy = nullptr;
    QMenu* PopupScan = nullptr;
    QAction* poUndoScan = nullptr;

    qint64 m_staffId = 0;
    bool m_refused = false;
};

}  // namespace hx
