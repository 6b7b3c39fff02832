#pragma once

#include <QDialog>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QVariantList>
#include <functional>

#include "core/data/queries.h"

class QLabel;
class QListWidget;
class QStatusBar;

namespace hx {

// What to do with the key of the row the user picks. One for the whole program: the caller sets it before
// each showing; the picker calls it at most once per showing and never clears it.
using PickHandler = std::function<void(int objectID)>;
void setPickHandler(PickHandler handler);
const PickHandler& pickHandler();

// Draws the picker's rows: 20 pixels high, colours alternating by the row's place in the list (not on the
// screen), the selected row of the focused list in pure blue. The code is written 30 pixels in; the row's
// further texts (ExtraTextsRole) follow in the columns set by setExtraColumns, cut with "…" where they do
// not fit.
class PickRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int RowHeight = 20;
    static constexpr int TextLeft = 30;
    static constexpr int ExtraTextsRole = Qt::UserRole + 1;
    struct Column {
        int left = 0;  // from the row's left edge
        int width = 0;
        Qt::Alignment alignment = Qt::AlignLeft;
    };
    static QColor rowColour(int row);
    static QColor selectedColour() { return QColor(0, 0, 255); }
    void setExtraColumns(const QVector<Column>& columns) { m_columns = columns; }
    const QVector<Column>& extraColumns() const { return m_columns; }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    QVector<Column> m_columns;
};

// The object picker: a small modal list of workers or processes from which the user picks one with Enter
// or a double click, or leaves with Esc. It knows nothing of workers or processes: the rows are the
// objectID and objectCode columns of the statement the caller opened on the data module's scratch query.
// Any further columns of the statement (a process's description and unit price) are shown beside the code,
// in their order: amounts with four decimals and numbers right-aligned, texts cut where too long; the
// window widens to show them, up to a limit. Typing in the list goes to the next row whose code begins
// with the typed text or, when no code does, whose code or further texts contain it (letter case ignored);
// the same key again steps on through the rows it matches.
class TpickObjFrm : public QDialog {
    Q_OBJECT
  public:
    explicit TpickObjFrm(QWidget* parent = nullptr);

    // Shows the picker modally; the rows are loaded as it appears.
    int showPicker();
    // Reads the rows from the scratch query, which is closed afterwards whatever happens.
    void load();
    // The selected row's key goes to the pick handler and the picker closes. Nothing happens, and false
    // is returned, when no row is selected or a row was already chosen in this showing.
    bool choose();
    // Text of a status-bar panel: 0 the fixed hint, 1 the selected row (its code and further texts).
    QString panelText(int panel) const;
    // The row's code and further texts as one line, as the status bar shows it.
    QString rowText(int row) const;

    QListWidget* ListCode;
    QListWidget* ListID;
    QStatusBar* StatusBar1;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static constexpr int standardWidth = 250;
    static constexpr int standardHeight = 348;
    void selectionChanged();
    // As wide as the rows need (rowWidth, 0 for the code alone), never narrower than the standard width.
    void fitWidth(int rowWidth);

    QLabel* m_panel0;
    QLabel* m_panel1;
    bool m_chosen = false;
    QPointer<QWidget> m_caller;  // the window active when the picker was shown
};

// The one picker of the run, created after login; created on first use when start-up has not made it.
TpickObjFrm* createPickObjFrm();
TpickObjFrm* pickObjFrm();
void destroyPickObjFrm();

// The callers' sequence in one step: sets the pick handler, opens the statement (values bound) on the
// scratch query and shows the picker modally.
void pickObject(const Query& query, PickHandler handler);

}  // namespace hx
