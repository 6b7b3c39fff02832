#include "gui/statistics/statisticscharts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QHorizontalBarSeries>
#include <QHorizontalStackedBarSeries>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QSet>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "core/data/errors.h"
#include "core/data/values.h"
#include "gui/reports/rvrender.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

const QColor fullColor(46, 125, 50);
const QColor piecesColor(21, 101, 192);
const QColor amountColor(239, 108, 0);
const QColor previousColor(144, 164, 174);

// Category labels are drawn one per bar only while they stay whole: beside the table, Qt Charts cuts a
// label to "..." once its bar is less than about two lines of text high.
constexpr int maxLabelledBars = 12;

QChart* newChart(const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    QFont font = chart->titleFont();
    font.setBold(true);
    font.setPointSize(11);
    chart->setTitleFont(font);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

// Qt Charts keeps one of equal categories only; a second equal label gets its number.
QStringList uniqueLabels(const QStringList& labels) {
    QStringList unique;
    QSet<QString> seen;
    for (const QString& label : labels) {
        QString text = label;
        for (int n = 2; seen.contains(text); ++n) text = QStringLiteral("%1 (%2)").arg(label).arg(n);
        seen.insert(text);
        unique << text;
    }
    return unique;
}

QValueAxis* valueAxis(const QString& title, const QString& format = QStringLiteral("%.0f")) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setLabelFormat(format);
    return axis;
}

// The axis of the bars. The chart's title says what they are, so the axis has no title of its own.
QAbstractAxis* categoryAxis(const QStringList& labels) {
    if (labels.size() <= maxLabelledBars) {
        auto* axis = new QBarCategoryAxis;
        axis->append(uniqueLabels(labels));
        return axis;
    }
    // Too many bars to name each: a click on one shows its row in the table.
    auto* axis = new QValueAxis;
    axis->setRange(-0.5, labels.size() - 0.5);
    axis->setLabelsVisible(false);
    axis->setGridLineVisible(false);
    return axis;
}

// A result without rows draws no axes, only what the page shows for it.
QChart* emptyChart() {
    return newChart(QStringLiteral("没有符合条件的数据"));
}

void niceRange(QValueAxis* axis, double low, double high) {
    axis->setRange(std::min(0.0, low), high <= low ? low + 1 : high);
    axis->applyNiceNumbers();
}

}  // namespace

QColor belowFullColor() {
    return QColor(211, 47, 47);
}

QChart* outputCheckChart(const std::vector<OutputBar>& bars, QStringList* codes) {
    codes->clear();
    if (bars.empty()) return emptyChart();
    QChart* chart = newChart(bars.size() > maxLabelledBars
                                 ? QStringLiteral("完成百分比（%1人，红色为未达到100%）").arg(bars.size())
                                 : QStringLiteral("完成百分比（按百分比排序，红色为未达到100%）"));
    auto* reached = new QBarSet(QStringLiteral("达到100%"));
    auto* below = new QBarSet(QStringLiteral("未达到100%"));
    reached->setColor(fullColor);
    below->setColor(belowFullColor());
    QStringList labels;
    double low = 0, high = fullOutputPercent;
    // Qt Charts draws the first category at the bottom: the lowest percentage goes in last, at the top.
    for (auto it = bars.crbegin(); it != bars.crend(); ++it) {
        *reached << (it->belowFull() ? 0.0 : it->percent);
        *below << (it->belowFull() ? it->percent : 0.0);
        labels << QStringLiteral("%1 %2").arg(it->staffCode, it->staffName);
        *codes << it->staffCode;
        low = std::min(low, it->percent);
        high = std::max(high, it->percent);
    }
    auto* series = new QHorizontalStackedBarSeries;
    series->append(reached);
    series->append(below);
    series->setBarWidth(0.8);
    if (bars.size() > maxLabelledBars) {
        // Bars thinner than a pixel would show only their white borders: drawn edge to edge, unbordered.
        series->setBarWidth(1.0);
        for (QBarSet* set : {reached, below}) set->setPen(Qt::NoPen);
    }
    chart->addSeries(series);

    auto* line = new QLineSeries;
    line->setName(QStringLiteral("100%"));
    QPen pen(Qt::black);
    pen.setWidthF(1.5);
    pen.setStyle(Qt::DashLine);
    line->setPen(pen);
    line->append(fullOutputPercent, -0.5);
    line->append(fullOutputPercent, std::max<double>(0, double(bars.size())) - 0.5);
    chart->addSeries(line);

    QValueAxis* percent = valueAxis(QStringLiteral("完成百分比 %"));
    niceRange(percent, low, high * 1.05);
    QAbstractAxis* workers = categoryAxis(labels);
    chart->addAxis(percent, Qt::AlignBottom);
    chart->addAxis(workers, Qt::AlignLeft);
    series->attachAxis(percent);
    series->attachAxis(workers);
    // The line spans the bars on an axis of its own: on the bars' category axis it would squeeze the
    // workers' names to "...".
    auto* across = new QValueAxis;
    across->setRange(-0.5, std::max<double>(0, double(bars.size())) - 0.5);
    across->setVisible(false);
    chart->addAxis(across, Qt::AlignRight);
    line->attachAxis(percent);
    line->attachAxis(across);
    const QStringList names = labels;
    for (QBarSet* set : {reached, below})
        QObject::connect(set, &QBarSet::hovered, chart, [names, set](bool on, int index) {
            if (on && index >= 0 && index < names.size())
                QToolTip::showText(
                    QCursor::pos(),
                    QStringLiteral("%1：%2 %").arg(names[index]).arg(set->at(index), 0, 'f', 1));
            else
                QToolTip::hideText();
        });
    return chart;
}

QChart* dayTotalsChart(const std::vector<DayTotal>& days) {
    if (days.empty()) return emptyChart();
    QChart* chart = newChart(QStringLiteral("每日数量与金额"));
    auto* pieces = new QLineSeries;
    pieces->setName(QStringLiteral("数量"));
    pieces->setColor(piecesColor);
    auto* amount = new QLineSeries;
    amount->setName(QStringLiteral("金额"));
    amount->setColor(amountColor);
    double maxPieces = 0, maxAmount = 0, minAmount = 0;
    for (const DayTotal& d : days) {
        const double x = double(QDateTime(d.day, QTime(0, 0)).toMSecsSinceEpoch());
        pieces->append(x, double(d.qty));
        amount->append(x, d.amount.toDouble());
        maxPieces = std::max(maxPieces, double(d.qty));
        maxAmount = std::max(maxAmount, d.amount.toDouble());
        minAmount = std::min(minAmount, d.amount.toDouble());
    }
    chart->addSeries(pieces);
    chart->addSeries(amount);

    auto* time = new QDateTimeAxis;
    const bool years = !days.empty() && days.front().day.year() != days.back().day.year();
    time->setFormat(years ? QStringLiteral("yy-MM-dd") : QStringLiteral("MM-dd"));
    time->setTickCount(int(std::clamp<size_t>(days.size(), 2, 7)));
    time->setTitleText(QStringLiteral("日期"));
    if (!days.empty()) {
        const QDateTime first(days.front().day, QTime(0, 0));
        const QDateTime last(days.back().day, QTime(0, 0));
        time->setRange(first, last > first ? last : first.addDays(1));
    }
    QValueAxis* left = valueAxis(QStringLiteral("数量"));
    QValueAxis* right = valueAxis(QStringLiteral("金额（元）"));
    niceRange(left, 0, maxPieces * 1.05);
    niceRange(right, minAmount, maxAmount * 1.05);
    left->setLinePenColor(piecesColor);
    right->setLinePenColor(amountColor);
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(left, Qt::AlignLeft);
    chart->addAxis(right, Qt::AlignRight);
    pieces->attachAxis(time);
    pieces->attachAxis(left);
    amount->attachAxis(time);
    amount->attachAxis(right);
    return chart;
}

QChart* largestGroupsChart(const std::vector<GroupBar>& bars, const QString& grouping) {
    if (bars.empty()) return emptyChart();
    const bool others = bars.back().groupCount > 1;
    const int named = int(bars.size()) - (others ? 1 : 0);
    QChart* chart = newChart(others ? QStringLiteral("金额最大的%1组（按%2），其余%3组合为“%4”")
                                          .arg(named)
                                          .arg(grouping)
                                          .arg(bars.back().groupCount)
                                          .arg(otherGroupsLabel())
                                    : QStringLiteral("各组金额（按%1）").arg(grouping));
    auto* amounts = new QBarSet(QStringLiteral("金额"));
    amounts->setColor(amountColor);
    // The rest stands apart in grey: it is many groups, not one.
    amounts->setSelectedColor(previousColor);
    amounts->setLabelColor(Qt::black);  // beside the bar, on the chart's white
    QStringList labels;
    QStringList tips;
    double low = 0, high = 0;
    for (auto it = bars.crbegin(); it != bars.crend(); ++it) {
        // In whole fen, as the table shows the amounts and the bars' labels repeat them.
        *amounts << it->amount.rounded(2).toDouble();
        labels << it->label;
        tips << QStringLiteral("%1：金额 %2，数量 %3%4")
                    .arg(it->label, it->amount.toString(2))
                    .arg(it->qty)
                    .arg(it->groupCount > 1 ? QStringLiteral("（%1组）").arg(it->groupCount) : QString());
        low = std::min(low, it->amount.toDouble());
        high = std::max(high, it->amount.toDouble());
    }
    if (others) amounts->selectBar(0);
    auto* series = new QHorizontalBarSeries;
    series->append(amounts);
    series->setLabelsVisible(true);
    series->setLabelsFormat(QStringLiteral("@value"));
    series->setLabelsPrecision(12);
    series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    chart->addSeries(series);
    QValueAxis* money = valueAxis(QStringLiteral("金额（元）"));
    niceRange(money, low, high * 1.15);  // room for the value beside the longest bar
    QAbstractAxis* groups = categoryAxis(labels);
    chart->addAxis(money, Qt::AlignBottom);
    chart->addAxis(groups, Qt::AlignLeft);
    series->attachAxis(money);
    series->attachAxis(groups);
    chart->legend()->hide();
    QObject::connect(amounts, &QBarSet::hovered, chart, [tips](bool on, int index) {
        if (on && index >= 0 && index < tips.size())
            QToolTip::showText(QCursor::pos(), tips[index]);
        else
            QToolTip::hideText();
    });
    return chart;
}

QChart* monthComparisonChart(const DataSet& rows, bool pieces) {
    if (rows.isEmpty()) return emptyChart();
    QChart* chart = newChart(pieces ? QStringLiteral("各班组数量：本月与上月")
                                    : QStringLiteral("各班组工资：本月与上月"));
    const int group = rows.fieldIndex(QStringLiteral("班组"));
    const int now = rows.fieldIndex(pieces ? QStringLiteral("本月数量") : QStringLiteral("本月工资"));
    const int before = rows.fieldIndex(pieces ? QStringLiteral("上月数量") : QStringLiteral("上月工资"));
    auto* previous = new QBarSet(QStringLiteral("上月"));
    auto* current = new QBarSet(QStringLiteral("本月"));
    previous->setColor(previousColor);
    current->setColor(pieces ? piecesColor : amountColor);
    QStringList labels;
    double low = 0, high = 0;
    for (int row = 0; row < rows.recordCount(); ++row) {
        const auto number = [&](int field) {
            const QVariant v = rows.valueAt(row, field);
            return pieces ? v.toDouble() : Money::fromVariant(v).toDouble();
        };
        *previous << number(before);
        *current << number(now);
        labels << rows.valueAt(row, group).toString();
        low = std::min({low, number(before), number(now)});
        high = std::max({high, number(before), number(now)});
    }
    auto* series = new QBarSeries;
    series->append(previous);
    series->append(current);
    chart->addSeries(series);
    QValueAxis* values = valueAxis(pieces ? QStringLiteral("数量") : QStringLiteral("工资（元）"));
    niceRange(values, low, high * 1.05);
    auto* groups = new QBarCategoryAxis;
    groups->append(uniqueLabels(labels));
    groups->setTitleText(QStringLiteral("班组"));
    chart->addAxis(groups, Qt::AlignBottom);
    chart->addAxis(values, Qt::AlignLeft);
    series->attachAxis(groups);
    series->attachAxis(values);
    return chart;
}

// ---- the panel

ChartPanel::ChartPanel(const QString& name, std::function<ChartHeading()> heading, QWidget* parent)
    : QWidget(parent), m_heading(std::move(heading)) {
    setObjectName(name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_view = new QChartView(this);
    m_view->setObjectName(name + QStringLiteral("View"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumSize(240, 200);
    layout->addWidget(m_view, 1);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 0, 4, 4);
    m_save = new QPushButton(QStringLiteral("保存图表..."), this);
    m_save->setObjectName(name + QStringLiteral("Save"));
    m_print = new QPushButton(QStringLiteral("打印图表..."), this);
    m_print->setObjectName(name + QStringLiteral("Print"));
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_print);
    layout->addLayout(buttons);
    connect(m_save, &QPushButton::clicked, this, [this] { guarded([this] { saveChart(); }); });
    connect(m_print, &QPushButton::clicked, this, [this] { guarded([this] { printChart(); }); });
    clear();
}

void ChartPanel::setChart(QChart* chart) {
    QChart* old = m_view->chart();
    m_view->setChart(chart);
    // The view does not free the chart it is given; the panel owns what it shows.
    if (old && old != chart) delete old;
}

void ChartPanel::clear() {
    setChart(newChart(QString()));
}

QChart* ChartPanel::chart() const {
    return m_view->chart();
}

void ChartPanel::paintPage(QPainter& painter, const QRectF& page) const {
    const ChartHeading heading = m_heading();
    const double unit = page.height() / 60;  // a line of the conditions
    QFont titleFont = font();
    titleFont.setPixelSize(std::max(8, int(unit * 2)));
    titleFont.setBold(true);
    QFont textFont(titleFont);
    textFont.setBold(false);
    textFont.setPixelSize(std::max(6, int(unit * 1.1)));
    painter.save();
    painter.setPen(Qt::black);
    painter.setFont(titleFont);
    QRectF line(page.left(), page.top(), page.width(), unit * 3);
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, heading.title);
    painter.setFont(textFont);
    line.translate(0, line.height());
    line.setHeight(unit * 1.6);
    for (const QString& condition : heading.conditions) {
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, condition);
        line.translate(0, line.height());
    }
    painter.restore();
    const QRectF area(page.left(), line.top() + unit, page.width(), page.bottom() - line.top() - unit);
    // The chart is laid out afresh for the area's proportions, as tall as the view shows it, and put back
    // afterwards: a wide page gets a wide chart rather than the narrow one beside the table, scaled.
    QChart* chart = m_view->chart();
    const QSizeF shown = chart->size();
    if (shown.isEmpty() || area.isEmpty()) return;
    const QSizeF laidOut(shown.height() * area.width() / area.height(), shown.height());
    chart->resize(laidOut);
    chart->scene()->render(&painter, area, QRectF(chart->pos(), laidOut));
    chart->resize(shown);
}

void ChartPanel::writeFile(const QString& path) const {
    const QString suffix = QFileInfo(path).suffix().toLower();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("无法创建文件\"%1\"：%2").arg(path, file.errorString()));
    if (suffix == QLatin1String("pdf")) {
        QPdfWriter writer(&file);
        writer.setTitle(m_heading().title);
        writer.setCreator(QStringLiteral("禾岫ERP计件工资助手"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setResolution(150);
        QPainter painter;
        if (!painter.begin(&writer)) throw FileError(QStringLiteral("无法写入文件\"%1\"。").arg(path));
        paintPage(painter, QRectF(QPointF(0, 0), QSizeF(writer.width(), writer.height())));
        painter.end();
    } else {
        const QSize shown = m_view->viewport()->size();
        const int headingHeight = int(shown.height() * 0.18) + 40;
        QImage image(QSize(shown.width(), shown.height() + headingHeight) * 2, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        paintPage(painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
        painter.end();
        if (!image.save(&file, "PNG")) throw FileError(QStringLiteral("无法写入文件\"%1\"。").arg(path));
    }
    if (!file.commit())
        throw FileError(QStringLiteral("无法写入文件\"%1\"：%2").arg(path, file.errorString()));
}

void ChartPanel::saveChart() {
    const auto chosen = Dialogs::get().saveFile(QStringLiteral("PNG 图片|*.png|PDF 文件|*.pdf"));
    if (!chosen) return;
    // Our file dialog returns the name alone: the format is told by its extension, PNG when it has none.
    QString path = *chosen;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix.isEmpty()) {
        path += QStringLiteral(".png");
    } else if (suffix != QLatin1String("png") && suffix != QLatin1String("pdf")) {
        Dialogs::get().warning(QStringLiteral("图表只能保存为PNG图片(.png)或PDF文件(.pdf)。"));
        return;
    }
    writeFile(path);
}

void ChartPanel::printChart() {
    if (!printerInstalled()) {
        Dialogs::get().warning(QStringLiteral("系统没有安装打印机!"));
        return;
    }
    if (Dialogs::get().okCancel(QStringLiteral("在打印机“%1”上打印图表？").arg(currentPrinterLabel())) !=
        Answer::Ok)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_heading().title);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&printer)) throw ReportError(QStringLiteral("无法开始打印。"));
    paintPage(painter, printer.pageRect(QPrinter::DevicePixel)
                           .translated(-printer.pageRect(QPrinter::DevicePixel).topLeft()));
    painter.end();
}

}  // namespace hx
