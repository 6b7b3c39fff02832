#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "core/data/dataset.h"
#include "gui/widgets/workwindow.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace hx {

class TMyDBGrid;

// The production orders "生产单": order number, style, date and memo of every order, the bundles of the
// order chosen (bundle number, colour, size, pieces), typed, generated from a breakdown or imported
// from a spreadsheet; and on the page "生产进度" the order's pieces done and left per process and the
// bundles not yet done at each process. An order or bundle of which a ticket is paid is not deleted,
// and a bundle's pieces do not change while it has tickets.
class TorderFrm : public WorkWindow {
    Q_OBJECT
  public:
    explicit TorderFrm(QWidget* parent = nullptr);
    ~TorderFrm() override;

    static QString helpTextOfWindow();

    // The order chosen in the list; 0 while there is none or it is not stored yet.
    qint64 currentOrderId() const;
    // The bundles selected in the bundle list, in list order, or the current one; empty when none.
    std::vector<qint64> selectedBundleIds() const;
    // What "打印菲票" does with the bundles chosen: prints their tickets through the report windows,
    // unless another printer is set; the button is offered while there is one.
    using TicketPrinter = std::function<void(const std::vector<qint64>& bundleIds)>;
    void setTicketPrinter(TicketPrinter printer);

  public slots:
    void btnGenerateClick();
    void btnImportClick();
    void btnPrintTicketsClick();
    void btnRefreshClick();
    void pDeleteOrderClick();
    void pDeleteBundleClick();

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    QWidget* buildOrdersPage();
    QWidget* buildProgressPage();
    QMenu* listMenu(TMyDBGrid* grid, const QString& name, bool editable);
    void wireDataSets();
    void FormCreate();
    void fillStyles();

    // Shows the bundles of the order; a bundle refused while being stored keeps the list (and the order
    // goes back to the bundles' order). `force` reads the list again for the same order.
    void showBundles(qint64 orderId, bool force = false);
    void showBundleTotals();
    void showProgress();
    // Stores what is typed into both lists; false when a refused row stays in edit.
    bool storePending();
    // The order's list again, with the row at `row` current.
    void reloadOrders(int row);
    void reloadBundles(int row);

    void tdOrdersBeforePost(DataSet& ds);
    void tdBundlesBeforeInsert();
    void tdBundlesBeforePost(DataSet& ds);

    DataSet* tdOrders = nullptr;
    DataSet* tdBundles = nullptr;
    DataSet* tdProgress = nullptr;
    DataSet* tdOpen = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* tabOrders = nullptr;
    QWidget* tabProgress = nullptr;
    TMyDBGrid* grdOrders = nullptr;
    TMyDBGrid* grdBundles = nullptr;
    TMyDBGrid* grdProgress = nullptr;
    TMyDBGrid* grdOpen = nullptr;
    QToolButton* btnGenerate = nullptr;
    QToolButton* btnImport = nullptr;
    QToolButton* btnPrintTickets = nullptr;
    QToolButton* btnRefresh = nullptr;
    QLabel* lblBundles = nullptr;
    QLabel* lblProgress = nullptr;
    QMenu* popOrders = nullptr;
    QMenu* popBundles = nullptr;

    TicketPrinter m_ticketPrinter;
    QStringList m_styles;  // of the process register, as the style column offers them
    bool m_stylesFilled = false;
    qint64 m_shownOrder = -1;
    bool m_following = false;
    // A change of pieces the user declined to drop tickets for, not asked again within the same action.
    qint64 m_declinedBundle = 0;
};

// "生成扎": the breakdown of an order into colours and sizes with their pieces, and the pieces of a
// bundle; 生成 cuts every line into bundles and stores them to the order.
class TgenerateFrm : public QDialog {
    Q_OBJECT
  public:
    TgenerateFrm(qint64 orderId, const QString& orderCode, QWidget* parent = nullptr);

    // The bundles stored by 生成; 0 before.
    int bundlesMade() const { return m_made; }
    qint64 piecesMade() const { return m_pieces; }
    int firstNumber() const { return m_first; }
    int lastNumber() const { return m_last; }

  public slots:
    void btnOkClick();

  private:
    void showPlan();

    qint64 m_orderId;
    DataSet* tdBreakdown = nullptr;
    TMyDBGrid* grdBreakdown = nullptr;
    QSpinBox* edtBundleSize = nullptr;
    QLabel* lblPlan = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    int m_made = 0;
    qint64 m_pieces = 0;
    int m_first = 0;
    int m_last = 0;
};

}  // namespace hx
