#pragma once

#include <QPointer>
#include <QTableView>

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
    // Hands the open cell editor's text to its row and closes the editor; nothing when none is open.
    void commitEditor();
    // Closes the open cell editor and forgets its text.
    void discardEditor();
    // The open cell editor; nullptr when none is open.
    QWidget* cellEditor() const;

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
};

}  // namespace hx
