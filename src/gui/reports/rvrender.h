#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "core/reports/rvengine.h"
#include "core/reports/rvsystem.h"

class QScrollArea;

namespace hx {

// The page a preview shows: the current page drawn once into an image at the zoom, painted from there.
class PreviewPage : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewPage(QWidget* parent = nullptr) : QWidget(parent) {}
    QImage image;
    int margin = 0;
    int shadow = 0;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The screen renderer: shows one page of a snapshot in a scroll box, at a zoom factor in percent.
class TRvRenderPreview : public QObject {
    Q_OBJECT
  public:
    explicit TRvRenderPreview(QScrollArea* scrollBox, QObject* parent = nullptr);

    QScrollArea* ScrollBox;
    int ShadowDepth = 2;
    double MarginPercent = 5.0;
    double ZoomInc = 10.0;
    int PagesInc = 1;
    bool GridHoriz = false, GridVert = false, Monochrome = false, Ruler = false;
    QString FileName;  // the file the snapshot was read from; empty for a generated one

    // The snapshot shown; nothing before the first render.
    const Snapshot* Stream() const { return m_snapshot ? &*m_snapshot : nullptr; }
    // Shows the first page of a snapshot, or of the snapshot file (raises ReportError when it is not one).
    void Render(const Snapshot& snapshot);
    void RenderFile(const QString& fileName);
    bool Rendered() const { return m_snapshot.has_value(); }

    int CurrentPage() const { return m_page; }
    int Pages() const { return m_snapshot ? m_snapshot->pageCount() : 0; }
    void RenderPage(int page);  // kept within 1..Pages()
    void NextPage() { RenderPage(m_page + PagesInc); }
    void PrevPage() { RenderPage(m_page - PagesInc); }

    double ZoomFactor() const { return m_zoom; }
    void setZoomFactor(double zoom);  // kept within 10..200
    void ZoomIn() { setZoomFactor(m_zoom + ZoomInc); }
    void ZoomOut() {
        if (m_zoom > ZoomInc) setZoomFactor(m_zoom - ZoomInc);
    }
    double ZoomPageFactor() const;
    double ZoomPageWidthFactor() const;
    void RedrawPage();

  signals:
    void PageChange();
    void ZoomChange();

  private:
    double pixelsPerInch() const;
    PreviewPage* m_view;
    std::optional<Snapshot> m_snapshot;
    int m_page = 0;
    double m_zoom = 100.0;
};

// Prints a snapshot on the printer, or as printer output (PDF) into a file.
class TRvRenderPrinter {
  public:
    const Snapshot* Stream = nullptr;
    int PageCount() const { return Stream ? Stream->pageCount() : 0; }
    int FirstPage = 1, LastPage = 9999;
    QString Selection;
    int Copies = 1;
    bool Collate = false;
    TDuplex Duplex = dupSimplex;
    QString Title = QStringLiteral("打印报表");
    QString OutputFileName;  // empty: the current printer

    // Whether the printer makes copies itself.
    bool printerMakesCopies() const;
    // Prints the stream's pages of the range; raises ReportError when the printer cannot be used.
    void Render();
};

// A printer of the system: its device name and port.
struct InstalledPrinter {
    QString name, port;
};
// The printers of the system, the current (default) one first.
QVector<InstalledPrinter> installedPrinters();
// Puts another list of printers in place of the system's (tests); an empty function restores the system's.
void setInstalledPrinters(std::function<QVector<InstalledPrinter>()> list);
bool printerInstalled();
QString currentPrinterLabel();  // "device on port", or the device alone; empty without a printer

// Prints a report system's snapshot with its printer settings (the report system's print handler).
void printWithSystemPrinter(TRvSystem& system, const Snapshot& snapshot, const QString& fileName);

}  // namespace hx
