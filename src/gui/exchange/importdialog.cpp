#include "gui/exchange/importdialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <new>

#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

QString columnLetter(int column) {
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26) letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters;
}

QString shownCell(const SheetCell& c) {
    if (c.kind == SheetCell::Kind::Boolean)
        return c.text == QLatin1String("1") ? QStringLiteral("是") : QStringLiteral("否");
    return c.text;
}

// Refused rows listed below the first rows of the preview, at most.
constexpr int maxRefusedShown = 1000;
// Columns of the sheet the preview shows, at most: a title row reaching far to the right would make a
// grid no one reads and that takes long to lay out.
constexpr int maxColumnsShown = 256;

// The system's own texts come in English ("std::bad_alloc"): said in words here.
QString importErrorText(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return QStringLiteral("内存不足，没有导入。文件可能过大或已损坏。");
    if (dynamic_cast<const Error*>(&e)) return errorText(e);
    return QStringLiteral("程序内部出错。");
}

QString targetTitle(ImportTarget target) {
    switch (target) {
        case ImportTarget::Staff:
            return QStringLiteral("导入员工");
        case ImportTarget::Job:
            return QStringLiteral("导入工序");
        case ImportTarget::PieceWork:
            return QStringLiteral("导入计件数据");
        case ImportTarget::Bundle:
            return QStringLiteral("导入扎");
    }
    return QString();
}

}  // namespace

QString importCommandText() {
    return QStringLiteral("从电子表格导入...");
}

ImportDialog::ImportDialog(Connection& cn, ImportTarget target, const QString& path, QWidget* parent,
                           qint64 orderId)
    : QDialog(parent), m_cn(cn), m_target(target), m_path(path), m_orderId(orderId) {
    setObjectName(QStringLiteral("ImportDialog"));
    setWindowTitle(targetTitle(target) + QStringLiteral(" - ") + QFileInfo(path).fileName());
    resize(860, 640);
    auto* layout = new QVBoxLayout(this);

    // A workbook of several sheets: which one is read.
    sheetLine = new QWidget(this);
    auto* sheetRow = new QHBoxLayout(sheetLine);
    sheetRow->setContentsMargins(0, 0, 0, 0);
    cbbSheet = new QComboBox(sheetLine);
    cbbSheet->setObjectName(QStringLiteral("cbbSheet"));
    auto* sheetLabel = new QLabel(QStringLiteral("工作表："), sheetLine);
    sheetLabel->setBuddy(cbbSheet);
    sheetRow->addWidget(sheetLabel);
    sheetRow->addWidget(cbbSheet, 1);
    sheetRow->addStretch(2);
    sheetLine->hide();
    layout->addWidget(sheetLine);
    connect(cbbSheet, &QComboBox::currentIndexChanged, this, [this](int sheet) {
        if (!m_busy && sheet >= 0) chooseSheet(sheet);
    });

    // Two fields a line, so that the preview keeps most of the height.
    auto* mapping = new QGroupBox(QStringLiteral("列对应"), this);
    auto* grid = new QGridLayout(mapping);
    for (const ImportField& f : importFields(cn, target)) {
        const int line = int(m_map.size()) / 2;
        const int pair = int(m_map.size()) % 2;
        auto* box = new QComboBox(mapping);
        box->setObjectName(QStringLiteral("cbbMap%1").arg(m_map.size()));
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            if (!m_busy) recheck();
        });
        auto* label = new QLabel(f.title + (f.required ? QStringLiteral(" *") : QString()), mapping);
        label->setBuddy(box);
        grid->addWidget(label, line, pair * 2);
        grid->addWidget(box, line, pair * 2 + 1);
        m_map.append(box);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addWidget(mapping);

    if (target != ImportTarget::PieceWork) {
        auto* existing = new QHBoxLayout;
        existing->addWidget(new QLabel(target == ImportTarget::Staff ? QStringLiteral("已有的工号：")
                                       : target == ImportTarget::Job ? QStringLiteral("已有的工序编号：")
                                                                     : QStringLiteral("已有的扎号："),
                                       this));
        rbUpdate = new QRadioButton(QStringLiteral("更新已有"), this);
        rbUpdate->setObjectName(QStringLiteral("rbUpdate"));
        rbSkip = new QRadioButton(QStringLiteral("跳过已有"), this);
        rbSkip->setObjectName(QStringLiteral("rbSkip"));
        rbUpdate->setChecked(true);
        existing->addWidget(rbUpdate);
        existing->addWidget(rbSkip);
        existing->addStretch();
        layout->addLayout(existing);
        connect(rbUpdate, &QRadioButton::toggled, this, [this] {
            if (!m_busy) recheck();
        });
    }

    grdPreview = new QTableWidget(this);
    grdPreview->setObjectName(QStringLiteral("grdPreview"));
    grdPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdPreview->verticalHeader()->hide();
    grdPreview->verticalHeader()->setDefaultSectionSize(grdPreview->fontMetrics().height() + 8);
    grdPreview->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(grdPreview, 1);

    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    layout->addWidget(lblSummary);
    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setRange(0, 1000);
    pbProgress->setValue(0);
    layout->addWidget(pbProgress);

    auto* buttons = new QDialogButtonBox(this);
    btnImport = buttons->addButton(QStringLiteral("导入"), QDialogButtonBox::AcceptRole);
    btnImport->setObjectName(QStringLiteral("btnImport"));
    btnSaveRefused = buttons->addButton(QStringLiteral("保存被拒绝的行..."), QDialogButtonBox::ActionRole);
    btnSaveRefused->setObjectName(QStringLiteral("btnSaveRefused"));
    btnSaveRefused->setEnabled(false);
    btnCancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);
    // The buttons act themselves: 取消 also stops a check or an import under way.
    disconnect(buttons, nullptr, this, nullptr);
    connect(btnImport, &QPushButton::clicked, this, &ImportDialog::importClicked);
    connect(btnCancel, &QPushButton::clicked, this, &ImportDialog::reject);
    connect(btnSaveRefused, &QPushButton::clicked, this, &ImportDialog::saveRefusedRows);
}

bool ImportDialog::start() {
    setBusy(true);
    lblSummary->setText(QStringLiteral("正在读取..."));
    std::optional<int> sheet;
    try {
        sheet = sheetToImport(m_path, m_target, [this](double share) { return showProgress(share); });
    } catch (const std::exception& e) {
        Dialogs::get().warning(importErrorText(e));
    }
    pbProgress->setValue(0);
    setBusy(false);
    if (!sheet) return false;
    m_sheet = *sheet;
    if (!recheck()) return false;
    buildMapping();
    buildSheetList();
    return true;
}

void ImportDialog::buildSheetList() {
    const QStringList sheets = m_plan ? m_plan->sheets : QStringList();
    m_busy = true;
    cbbSheet->clear();
    cbbSheet->addItems(sheets);
    cbbSheet->setCurrentIndex(m_sheet);
    m_busy = false;
    sheetLine->setVisible(sheets.size() > 1);
}

void ImportDialog::chooseSheet(int sheet) {
    m_sheet = sheet;
    // Another sheet has other columns: the mapping is guessed again from its titles.
    m_busy = true;
    for (QComboBox* box : m_map) box->clear();
    m_busy = false;
    if (recheck()) buildMapping();
}

void ImportDialog::setBusy(bool busy) {
    m_busy = busy;
    if (busy) m_cancel = false;
    for (QComboBox* box : m_map) box->setEnabled(!busy);
    cbbSheet->setEnabled(!busy);
    if (rbUpdate) rbUpdate->setEnabled(!busy);
    if (rbSkip) rbSkip->setEnabled(!busy);
    btnImport->setEnabled(!busy && m_plan && m_plan->accepted() > 0);
    btnSaveRefused->setEnabled(!busy && m_plan && m_plan->refused() > 0);
}

void ImportDialog::buildMapping() {
    m_busy = true;
    for (int f = 0; f < m_map.size(); ++f) {
        QComboBox* box = m_map[f];
        box->clear();
        box->addItem(QStringLiteral("（不导入）"), -1);
        const int columns = m_plan ? int(m_plan->header.cells.size()) : 0;
        for (int c = 0; c < columns; ++c)
            box->addItem(QStringLiteral("%1：%2").arg(columnLetter(c), m_plan->header.cells[c].text), c);
        box->setCurrentIndex(box->findData(m_plan ? m_plan->mapping.value(f, -1) : -1));
    }
    m_busy = false;
}

bool ImportDialog::showProgress(double share) {
    pbProgress->setValue(int(share * 1000));
    return keepGoing();
}

bool ImportDialog::keepGoing() {
    QCoreApplication::processEvents();
    return !m_cancel;
}

bool ImportDialog::recheck() {
    ImportOptions options;
    options.target = m_target;
    options.updateExisting = !rbSkip || !rbSkip->isChecked();
    options.sheet = m_sheet;
    options.orderId = m_orderId;
    // Once the mapping is shown, the boxes say it, also after a cancelled check left no plan.
    if (!m_map.isEmpty() && m_map.constFirst()->count() > 0)
        for (QComboBox* box : m_map) options.mapping.append(box->currentData().toInt());
    setBusy(true);
    lblSummary->setText(QStringLiteral("正在检查..."));
    std::optional<ImportPlan> plan;
    try {
        plan = checkImport(m_cn, m_path, options, [this](double share) { return showProgress(share); });
    } catch (const std::exception& e) {
        Dialogs::get().warning(importErrorText(e));
    }
    pbProgress->setValue(0);
    if (!plan) {
        m_plan.reset();
        setBusy(false);
        lblSummary->setText(QStringLiteral("未检查"));
        grdPreview->clear();
        return false;
    }
    m_plan = std::move(plan);
    setBusy(false);
    showPlan();
    return true;
}

void ImportDialog::showPlan() {
    const ImportPlan& p = *m_plan;
    const int columns = qMin(int(p.header.cells.size()), maxColumnsShown);
    grdPreview->clear();
    grdPreview->setColumnCount(3 + columns);
    QStringList titles = {QStringLiteral("行"), QStringLiteral("结果"), QStringLiteral("说明")};
    for (int c = 0; c < columns; ++c) titles << p.header.cells[c].text;
    grdPreview->setHorizontalHeaderLabels(titles);
    // The first rows of the sheet, then the refused rows further down, so that every reason can be read
    // before anything is stored.
    QVector<const ImportRow*> shown;
    for (const ImportRow& row : p.preview) shown.append(&row);
    const int lastPreviewed = p.preview.isEmpty() ? 0 : p.preview.constLast().line;
    int refusedFurther = 0;
    for (const ImportRow& row : p.refusedRows) {
        if (row.line <= lastPreviewed) continue;
        ++refusedFurther;
        if (refusedFurther <= maxRefusedShown) shown.append(&row);
    }
    grdPreview->setRowCount(int(shown.size()));
    for (int r = 0; r < shown.size(); ++r) {
        const ImportRow& row = *shown[r];
        grdPreview->setItem(r, 0, new QTableWidgetItem(QString::number(row.line)));
        auto* verdict = new QTableWidgetItem(verdictText(row.verdict));
        if (row.verdict == ImportVerdict::Refused) verdict->setForeground(Qt::red);
        grdPreview->setItem(r, 1, verdict);
        grdPreview->setItem(r, 2, new QTableWidgetItem(row.reason));
        for (const auto& c : row.cells)
            if (c.column < columns)
                grdPreview->setItem(r, 3 + c.column, new QTableWidgetItem(shownCell(c.cell)));
    }
    grdPreview->resizeColumnsToContents();
    QString summary =
        QStringLiteral("将新增 %1 行，更新 %2 行，拒绝 %3 行").arg(p.added).arg(p.updated).arg(p.refused());
    if (p.skipped > 0) summary += QStringLiteral("，跳过 %1 行").arg(p.skipped);
    const int rows = p.accepted() + p.skipped + p.refused();
    if (rows > p.preview.size()) {
        QString listed = QStringLiteral("列出前 %1 行").arg(p.preview.size());
        if (refusedFurther > maxRefusedShown)
            listed += QStringLiteral("及其后被拒绝的前 %1 行").arg(maxRefusedShown);
        else if (refusedFurther > 0)
            listed += QStringLiteral("及其后被拒绝的 %1 行").arg(refusedFurther);
        summary += QStringLiteral("（共 %1 行，%2）").arg(rows).arg(listed);
    }
    lblSummary->setText(summary);
    btnImport->setEnabled(p.accepted() > 0);
    btnSaveRefused->setEnabled(p.refused() > 0);
}

void ImportDialog::reject() {
    // Closing while a check or an import runs would pull the dialog from under it: it is stopped instead,
    // and the dialog stays.
    if (m_busy) {
        m_cancel = true;
        return;
    }
    QDialog::reject();
}

void ImportDialog::importClicked() {
    if (!m_plan || m_busy) return;
    setBusy(true);
    lblSummary->setText(QStringLiteral("正在导入..."));
    std::optional<ImportResult> result;
    try {
        result = applyImport(m_cn, *m_plan, [this](int done, int total) {
            pbProgress->setValue(total > 0 ? int(qint64(done) * 1000 / total) : 1000);
            return keepGoing();
        });
    } catch (const std::exception& e) {
        Dialogs::get().error(QStringLiteral("导入失败，没有存入任何数据。\n\n") + importErrorText(e));
    }
    if (!result || result->cancelled) {
        setBusy(false);
        pbProgress->setValue(0);
        if (result) Dialogs::get().information(QStringLiteral("导入已取消，没有存入任何数据。"));
        showPlan();
        return;
    }
    m_result = result;
    // The rows are stored: the dialog says so itself behind the message, and offers nothing more to do.
    m_busy = false;
    pbProgress->setValue(pbProgress->maximum());
    lblSummary->setText(QStringLiteral("导入完成：") + importSummary(*result));
    btnCancel->setText(QStringLiteral("关闭"));
    Dialogs::get().information(importSummary(*result));
    if (result->refused > 0 &&
        Dialogs::get().confirm(
            QStringLiteral("有 %1 行被拒绝。要把它们连同拒绝原因保存为电子表格，修改后再导入吗？")
                .arg(result->refused)) == Answer::Yes)
        saveRefusedRows();
    accept();
}

void ImportDialog::saveRefusedRows() {
    if (!m_plan || m_plan->refused() == 0) return;
    const auto chosen = Dialogs::get().saveFile(QStringLiteral("电子表格|*.xlsx"));
    if (!chosen || chosen->isEmpty()) return;
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".xlsx");
    try {
        writeRefusedRows(*m_plan, path);
    } catch (const std::exception& e) {
        Dialogs::get().warning(importErrorText(e));
    }
}

void importFromSpreadsheet(QWidget* window, ImportTarget target, const std::function<bool()>& beforeImport,
                           const std::function<void()>& afterImport, qint64 orderId) {
    guarded([&] {
        const auto chosen = Dialogs::get().openFile(SheetReader::fileFilter());
        if (!chosen || chosen->isEmpty()) return;
        if (beforeImport && !beforeImport()) return;
        auto* dialog = new ImportDialog(dataFrm()->cnMain, target, *chosen, window, orderId);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QDialog::accepted, window, [afterImport] {
            if (afterImport) guarded(afterImport);
        });
        // Shown before the sheet is read, so that the check of a large sheet shows its progress and can
        // be cancelled. Modal to the whole program: while the import's transaction is open, a row
        // stored in another window would go into it and be lost with a cancel.
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->show();
        if (!dialog->start()) dialog->close();
    });
}

}  // namespace hx
