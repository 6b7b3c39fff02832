#pragma once

#include <QDate>
#include <QString>
#include <QVariantList>
#include <functional>
#include <optional>

#include "core/data/dataset.h"
#include "core/data/datasetmodel.h"
#include "core/piecework/jobtotals.h"
#include "core/production/scanning.h"
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
class TicketScanPage;

// The piece-work window "计件数": the daily piece counts of table JobData, entered by worker ("按人录入")
// or by process ("按工序录入"), and listed over a date range ("工价金额查询"); and counts entered by
// scanning bundle tickets ("扫描菲票", TicketScanPage). The first three pages share one list (tdMain) and
// its totals (tdSum). A record's amount is never stored: it is the quantity times the process's piece
// rate, taken from the process cache in the list and from the register in the totals. A record that
// holds the pieces of scanned tickets keeps at least their sum, its day, worker and process, unless the
// clerk, asked, releases the tickets with the change.
class TjobDataFrm : public WorkWindow {
    Q_OBJECT
  public:
    explicit TjobDataFrm(QWidget* parent = nullptr);
    ~TjobDataFrm() override;

    static QString staffHelpText();
    static QString jobHelpText();
    static QString queryHelpText();
    static QString scanHelpText();
    static QString deleteQuestion();

    // The worker chosen last on the by-worker page and the process chosen last on the by-process page;
    // 0 when none or when the text named nobody.
    int currentStaffID() const { return m_entries[0].chosenId; }
    int currentJobID() const { return m_entries[1].chosenId; }

  public slots:
    void tabStaffShow();
    void tabJobShow();
    void tabQueryShow();
    void tabScanShow();
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
    enum class Page { Staff, Job, Query, Scan };
    struct Totals {
        QLabel* qty = nullptr;
        QLabel* tmy = nullptr;
    };

    // One entry page: the records of one day and one worker (按人录入), or of one day and one process
    // (按工序录入). The two pages work alike; they differ only in what is described here.
    struct EntryPage {
        Page page = Page::Staff;
        QString name;           // of the page's parts: tab<name>, cbbDate<name>, cbb<name>, grd<name>Data
        QString choiceCaption;  // 员工 / 工序
        QString choiceTitle;    // the chosen one's grid title: 工号姓名 / 工序
        QString choiceField;    // the field every row of the page takes from the choice
        QString pickedField;    // the field the page's picker fills in: the process / the worker
        QString limitName;      // chk<limitName> and cbb<limitName>
        QString limitCaption;
        QString helpText;
        QString noChoiceMessage;
        std::function<Query()> choices;  // the choice box's list
        std::function<Query()> limits;   // the limit box's list
        std::function<int(const QString& choiceText)> idOfChoice;
        std::function<PieceFilter(const QDate& day, int id)> filterOf;
        std::function<Query(const std::optional<QString>& limit)> picks;

        QWidget* tab = nullptr;
        QDateEdit* date = nullptr;
        QComboBox* choice = nullptr;
        QCheckBox* limit = nullptr;
        QComboBox* limitBox = nullptr;
        TMyDBGrid* grid = nullptr;

        // The one chosen last; 0 when none or when the text named nobody.
        int chosenId = 0;
        // What the boxes held when the list was last loaded.
        QString shownChoice;
        QDate shownDate;
    };

    void buildWindow();
    QWidget* buildEntryPage(EntryPage& entry, const QVector<GridColumn>& columns);
    QWidget* buildQueryPage();
    QFrame* conditionStrip(QWidget* page);
    Totals totalsStrip(QWidget* page, const QString& suffix);
    TMyDBGrid* entryGrid(QWidget* page, const QString& name);
    void wireDataSets();
    void FormCreate();

    Page currentPage() const;
    TMyDBGrid* currentGrid() const;
    // The entry page shown, or nullptr on the query page.
    EntryPage* currentEntry();
    EntryPage* entryOf(const TMyDBGrid* grid);
    // The page's own check before a row is added: a worker (process) must be named. Shows the refusal
    // and returns false when not.
    bool mayAddRow(Page page, bool tell);
    // Starts editing the current row for a pick, or adds a row on an empty list. False when refused.
    bool editForPick(TMyDBGrid* grid);
    void pick(const QString& field, const Query& candidates);
    // Stores what is typed into the list before it is closed or replaced. False when the row was
    // refused: it stays in edit, and the list must stay as it is.
    bool storePendingEdit();
    bool closeView();
    // Lists the records the filter picks, and their totals. False when a
    // refused row keeps the list shown.
    bool openView(const PieceFilter& filter);
    // Puts the workers, processes and dates of the lists shown back into their boxes (after a refused
    // row kept the list from following them).
    void restoreChoices();
    void readTotals();
    void showTotals();
    // The entry page's handlers.
    void enterPage(EntryPage& entry);
    void choiceChanged(EntryPage& entry);
    void dayChanged(EntryPage& entry);
    void loadEntryView(EntryPage& entry);
    void pickForEntry(EntryPage& entry);

    // tdMain's handlers.
    void tdMainBeforeInsert();
    void tdMainAfterInsert(DataSet& ds);
    void tdMainBeforePost(DataSet& ds);
    void tdMainBeforeDelete(DataSet& ds);
    // The tickets' rule before a stored record is changed (after: the record it becomes) or deleted
    // (nothing): refused, the reason is told and the release offered. Yes releases the tickets in a
    // transaction that the change joins; false on No (asked once for one action of the user).
    bool releaseForChange(const PieceRecord& before, const std::optional<PieceRecord>& after);
    // The change stored, or failed: the release goes with it.
    void finishRelease();
    // After scans the views of the other pages are read again when they are shown.
    void refreshStaleView();
    QString tdMainGetText(const DataSet& ds, int field, const QVariant& value) const;
    void tdMainCalcFields(DataSet& ds);

    EntryPage m_entries[2];
    TicketScanPage* tabScan = nullptr;
    // The page of tdMain shown last (the scan page shows none).
    int m_dataPage = 0;
    bool m_viewStale = false;
    // The transaction of a release of tickets, until the change it is for is stored.
    std::optional<Transaction> m_release;
    bool m_releaseDeclined = false;
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
    QWidget* tabQuery = nullptr;

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
