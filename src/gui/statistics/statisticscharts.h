#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

#include "core/statistics/chartdata.h"

class QChart;
class QChartView;
class QPainter;
class QPushButton;

namespace hx {

// The colour of what falls short of the normal wage, in the charts and in the table alike.
QColor belowFullColor();

// The charts of the statistics window, built from the figures of chartdata.h. Every chart is a new QChart
// that the caller hands to a ChartPanel.

// A bar per worker, lowest percentage at the top, those under 100 % in the warning colour, with the 100 %
// line. The bar at index i of both bar sets is the worker codes[i] (bottom to top, as Qt Charts counts).
QChart* outputCheckChart(const std::vector<OutputBar>& bars, QStringList* codes);
// Pieces (left axis) and amount (right axis) per day.
QChart* dayTotalsChart(const std::vector<DayTotal>& days);
// The largest groups by amount, largest at the top.
QChart* largestGroupsChart(const std::vector<GroupBar>& bars, const QString& grouping);
// Per class group the month's and the previous month's pay, or their pieces.
QChart* monthComparisonChart(const DataSet& rows, bool pieces);

// What a saved or printed chart carries above it: the page's title and its conditions.
struct ChartHeading {
    ChartHeading() = default;
    ChartHeading(const QString& pageTitle, const QStringList& pageConditions)
        : title(pageTitle), conditions(pageConditions) {}
    QString title;
    QStringList conditions;
};

// A chart with the buttons that keep and share it: "保存图表..." writes a PNG or PDF (told by the name's
// extension), "打印图表..." prints on the current printer; both carry the heading `heading()` gives.
class ChartPanel : public QWidget {
    Q_OBJECT
  public:
    ChartPanel(const QString& name, std::function<ChartHeading()> heading, QWidget* parent = nullptr);

    // Shows the chart, which the panel then owns; the previous one is freed.
    void setChart(QChart* chart);
    QChart* chart() const;
    // Shows an empty chart, while there is no result.
    void clear();
    QChartView* view() const { return m_view; }

    // Writes the chart with its heading; the format is told by the extension (.png or .pdf). Raises
    // FileError when the file cannot be written, leaving no part of it behind.
    void writeFile(const QString& path) const;
    // Draws the heading and the chart into the page rectangle of a painter.
    void paintPage(QPainter& painter, const QRectF& page) const;

  public slots:
    void saveChart();
    void printChart();

  private:
    QChartView* m_view;
    QPushButton* m_save;
    QPushButton* m_print;
    std::function<ChartHeading()> m_heading;
};

}  // namespace hx
