#pragma once

#include <QDate>
#include <QString>
#include <QVariantList>

#include "core/data/dataset.h"
#include "core/piecework/jobtotals.h"
#include "gui/widgets/workwindow.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QMenu;
class QTabWidget;
class QToolButton;

namespace hx {

class TMyDBGrid;

// The piece-work window "计件数": the daily piece counts of table JobData, entered by worker ("按人录入")
// or by process ("按工序录入"), and listed over a date range ("工价金额查询"). The three pages share one
// list (tdMain) and its totals (tdSum). A record's amount is never stored: it is the quantity times the
// process's piece rate, taken from the process cache in the list and from the register in the totals.
class TjobDataFrm : public WorkWindow {
    Q_OBJECT
  public:
    explicit TjobDataFrm(QWidget* parent = nullptr);
    ~TjobDataFrm() override;

    static QString staffHelpText();
    static QString jobHelpText();
    static QString queryHelpText();
    static QString deleteQuestion();

    // The worker chosen last on the by-worker page and the process chosen last on the by-process page;
    // 0 when none or when the text named nobody.
    int currentStaffID() const { return m_staffID; }
    int currentJobID() const { return m_jobID; }

  public slots:
    void tabStaffShow();
    void tabJobShow();
    void tabQueryShow();
    void tabStaffEnter();
    void tabJobEnter();
    void chkStyleLimitClick();
    void chkGroupLimitClick();
    void cbbStaffChange();
    void cbbDateStaffChange();
    void cbbJobChange();
    void cbbDateJobChange();
    void grdStaffDataEditButtonClick();
    void grdJobDataEditButtonClick();
    void grdQueryEditButtonClick(int column);
    void btnApplyClick();
    void poSortClick();
    void poDeleteClick();
    void poExportClick();

  protected:
    // Activating the window installs the by-worker help, whichever page is shown (FormActivate).
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Page { Staff, Job, Query };
    struct Totals {
        QLabel* qty = nullptr;
        QLabel* tmy = nullptr;
    };

    void buildWindow();
    QWidget* buildStaffPage();
    QWidget* buildJobPage();
    QWidget* buildQueryPage();
    QFrame* conditionStrip(QWidget* page);
    Totals totalsStrip(QWidget* page, const QString& suffix);
    TMyDBGrid* entryGrid(QWidget* page, const QString& name);
    void wireDataSets();
    void FormCreate();

    Page currentPage() const;
    TMyDBGrid* currentGrid() const;
    // The page's own check before a row is added: a worker (process) must be named. Shows the refusal
    // and returns false when not.
    bool mayAddRow(Page page, bool tell);
    // Starts editing the current row for a pick, or adds a row on an empty list. False when refused.
    bool editForPick(TMyDBGrid* grid);
    void pickProcess(const Query& processes);
    void pickWorker(const Query& workers);
    // Stores what is typed into the list before it is closed or replaced. False when the row was
    // refused: it stays in edit, and the list must stay as it is.
    bool storePendingEdit();
    bool closeView();
    // Lists the records the filter picks, and their totals. False when a
    // refused row keeps the list shown.
    bool openView(const PieceFilter& filter);
    // Puts the worker, process and dates of the list shown back into their boxes (after a refused row
    // kept the list from following them).
    void restoreChoices();
    void readTotals();
    void loadStaffView();
    void loadJobView();
    void showTotals();

    // tdMain's handlers.
    void tdMainBeforeInsert();
    void tdMainAfterInsert(DataSet& ds);
    void tdMainBeforePost(DataSet& ds);
    QString tdMainGetText(const DataSet& ds, int field, const QVariant& value) const;
    void tdMainCalcFields(DataSet& ds);

    int m_staffID = 0;
    int m_jobID = 0;
    // What the boxes held when the entry lists were last loaded.
    struct Choices {
        QString staff;
        QString job;
        QDate staffDate;
        QDate jobDate;
    } m_choices;
    PieceFilter m_filter;
    struct CalcFieldIndexes {
        int qty = -1;
        int price = -1;
        int amount = -1;
        // The field's position, found again only when the fields have changed.
        static int of(const DataSet& ds, int& index, const QString& name);
    } m_calcFields;

    DataSet* tdMain = nullptr;
    DataSet* tdSum = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* tabStaff = nullptr;
    QWidget* tabJob = nullptr;
    QWidget* tabQuery = nullptr;

    QDateEdit* cbbDateStaff = nullptr;
    QComboBox* cbbStaff = nullptr;
    QCheckBox* chkStyleLimit = nullptr;
    QComboBox* cbbStyleLimit = nullptr;
    TMyDBGrid* grdStaffData = nullptr;

    QDateEdit* cbbDateJob = nullptr;
    QComboBox* cbbJob = nullptr;
    QCheckBox* chkGroupLimit = nullptr;
    QComboBox* cbbGroupLimit = nullptr;
    TMyDBGrid* grdJobData = nullptr;

    QDateEdit* conDateB = nullptr;
    QDateEdit* conDateE = nullptr;
    QComboBox* conStaff = nullptr;
    QComboBox* conJob = nullptr;
    QToolButton* btnApply = nullptr;
    TMyDBGrid* grdQuery = nullptr;

    Totals m_totals[3];

    QMenu* PopupMenu1 = nullptr;
    QAction* poSort = nullptr;
    QAction* poDelete = nullptr;
};

}  // namespace hx
