#pragma once

#include <QPointer>
#include <QTableView>
#include <functional>

#include "core/data/datasetmodel.h"

namespace hx {

// The data grid of every list window: a table view over one data set with the house conventions.
// Down arrow on the last row appends a row; moving to another row stores the edited one; Ctrl+Delete deletes
// after "Delete record?"; an untouched new row is dropped when the focus leaves the grid; Tab moves to the
// next column; columns cannot be moved but can be resized. Picker columns show a cell button, also reached
// with Ctrl+Enter.
class TMyDBGrid : public QTableView {
    Q_OBJECT
  public:
    explicit TMyDBGrid(QWidget* parent = nullptr);
    ~TMyDBGrid() override;

    void setDataSet(DataSet* dataSet);
    DataSet* dataSet() const;
    DataSetModel* dataModel() const { return m_model; }
    void setColumns(const QVector<GridColumn>& columns);
    // Sets the title of a column at run time.
    void setColumnTitle(int column, const QString& title);
    QString columnTitle(int column) const;

    // The column the user is in; -1 when there is none.
    int selectedIndex() const;
    void setSelectedIndex(int column);
    // The data-set field of the selected column; empty when there is none.
    QString selectedField() const;

    void setReadOnly(bool readOnly);
    bool isReadOnly() const;
    // Keeps the cell editor open on the current cell.
    void setAlwaysShowEditor(bool on) { m_alwaysShowEditor = on; }
    bool alwaysShowEditor() const { return m_alwaysShowEditor; }
    // For lists whose rows come from elsewhere: the grid neither appends nor deletes. The down arrow on the
    // last row and Tab out of the last cell store the row and stay on it; Ctrl+Delete does nothing.
    void setFixedRows(bool on) { m_fixedRows = on; }
    bool fixedRows() const { return m_fixedRows; }
    // What Ctrl+Delete does instead of asking "Delete record?" and deleting the current row: a list whose
    // rows take others with them (an order its bundles) asks and deletes through its own command.
    void setRowDeleter(std::function<void()> deleter) { m_deleter = std::move(deleter); }
    // Hands the open cell editor's text to its row and closes the editor; nothing when none is open.
    void commitEditor();
    // Closes the open cell editor and forgets its text.
    void discardEditor();
    // The open cell editor; nullptr when none is open.
    QWidget* cellEditor() const;
    // The title of the column showing the data-set field; empty when the grid shows it in no column.
    QString titleOfField(int fieldIndex) const;
    // Makes the cell of the field on the data set's current row the current cell, with its editor open:
    // the cell of a refused row that is to be corrected.
    void showRefusedCell(int fieldIndex);

  signals:
    // Raised after the grid has handled a change of its column widths, by the user or by code.
    void OnColWidthChanged(hx::TMyDBGrid* grid);
    // The cell button of a picker column was pressed (click or Ctrl+Enter).
    void editButtonClicked(int column);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    // Letters typed into a cell that takes no typing are dropped: the row stays current (the view would
    // otherwise go to a row whose text starts with them, storing the row being typed).
    void keyboardSearch(const QString&) override {}

  private:
    friend class GridDelegate;
    void editorCreated(QWidget* editor);
    void followDataSet(int row);
    void dropUntouchedNewRow();
    // Appends a row unless the current one is an untouched new row; true when a new row is current.
    bool appendRow();
    // Stores the row being edited, with the open cell editor's text, and stays on it.
    void storeRow();
    void applyColumnLayout();
    void openEditorLater();
    bool buttonHit(const QModelIndex& index, const QPoint& pos) const;

    DataSetModel* m_model = nullptr;
    QPointer<QWidget> m_editor;
    bool m_syncing = false;
    bool m_alwaysShowEditor = false;
    bool m_readOnly = false;
    bool m_fixedRows = false;
    int m_pendingColumn = -1;  // the selected column while the grid has no current cell
    int m_refusedColumn = -1;  // the column to go back to on the refused row
    std::function<void()> m_deleter;
};

// Keeps a row that the database refuses in the grid, in edit as it was typed, instead of dropping it:
// beeps, says why in one warning, with the grid's title of the field refused, and makes that field's
// cell current with its editor open. The user corrects the cell and leaves the row, which stores it, or
// presses Esc, which drops a new row and gives an edited row back what it held. Until then the row is
// not left: a move, a sort or a reload of the list is refused. A refusal that comes again within the
// same action (a command that stores the row more than once) is not told twice.
// grids: those showing the data set; the one on screen tells the refusal.
void keepRefusedRows(DataSet* dataSet, const QList<TMyDBGrid*>& grids);

}  // namespace hx
