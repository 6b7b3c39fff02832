#pragma once

#include <QColor>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>
#include <vector>

namespace hx {

class TRvSystem;

// A report project that cannot be opened or is not complete. The text is shown to the user as it is.
class ReportError : public std::runtime_error {
  public:
    explicit ReportError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

  private:
    QString m_text;
};

enum class TextAlign { Left, Center, Right };

// A component of a report page. Lengths are inches; left and top are measured from the band's (or the
// page's printable area's) top left corner.
class TRaveComponent {
  public:
    virtual ~TRaveComponent() = default;
    enum class Kind { Text, DataText, Line };
    virtual Kind kind() const = 0;

    QString Name;
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
    bool Visible = true;
};

// A text of fixed wording. "{name}" in it is replaced by the report's parameter of that name.
class TRaveText : public TRaveComponent {
  public:
    Kind kind() const override { return Kind::Text; }
    QString Text;
    QString FontName = QStringLiteral("WenQuanYi Micro Hei");
    double FontSize = 9;  // points
    bool Bold = false;
    TextAlign Align = TextAlign::Left;
    bool Frame = false;  // a ruled box around the component
};

// A text that shows a field of the current data row.
class TRaveDataText : public TRaveText {
  public:
    Kind kind() const override { return Kind::DataText; }
    QString DataField;
};

// A horizontal or vertical line (its width or its height is 0).
class TRaveLine : public TRaveComponent {
  public:
    Kind kind() const override { return Kind::Line; }
    bool Dashed = false;
    double PenWidth = 0.01;  // inches
};

// The band printed once per data row.
struct TRaveBand {
    QString Name;
    double Height = 1;  // inches
    std::vector<std::unique_ptr<TRaveComponent>> Components;
};

class TRavePage {
  public:
    QString Name;
    QSizeF PaperSize{8.2677, 11.6929};  // inches, portrait (A4)
    bool Landscape = false;
    double MarginLeft = 0.3937, MarginTop = 0.3937, MarginRight = 0.3937, MarginBottom = 0.3937;
    // Components printed once at the top of every page, above the bands.
    std::vector<std::unique_ptr<TRaveComponent>> Components;
    TRaveBand Band;

    QSizeF pageSize() const { return Landscape ? PaperSize.transposed() : PaperSize; }
    double printableWidth() const { return pageSize().width() - MarginLeft - MarginRight; }
    double printableHeight() const { return pageSize().height() - MarginTop - MarginBottom; }
    // Page components and band components, in file order.
    std::vector<TRaveComponent*> allComponents() const;
};

class TRaveReport {
  public:
    QString Name;
    std::vector<std::unique_ptr<TRavePage>> Pages;
};

// The loaded project: its reports and a lookup of components by name.
class TRaveProjectManager {
  public:
    std::vector<std::unique_ptr<TRaveReport>> Reports;

    TRaveReport* findReport(const QString& name) const;
    // "report1.page1" finds a page; "report1.page1.Text3" or, with a root (a report or a page), a short name
    // finds a component. Nothing when there is none.
    TRavePage* findPage(const QString& fullName) const;
    TRaveComponent* FindRaveComponent(const QString& name, const TRavePage* root = nullptr) const;
};

// The pay-slip project the program comes with (the text of the default rptBar.rav).
QString defaultReportProject();

// Reads a project from its text. Raises ReportError naming the line of the first fault.
std::unique_ptr<TRaveProjectManager> parseReportProject(const QString& text);

// The report project: its file, loaded on open() and dropped on close().
class TRvProject {
  public:
    QString ProjectFile;
    TRvSystem* Engine = nullptr;

    // Loads the file. A missing file raises "The following reporting project does not exist:" with the path.
    void open();
    void close();
    bool isOpen() const { return m_manager != nullptr; }
    TRaveProjectManager* ProjMan() const { return m_manager.get(); }
    // Runs the named report on the engine (output setup, generation, output). False when it was aborted.
    bool ExecuteReport(const QString& name);

  private:
    std::unique_ptr<TRaveProjectManager> m_manager;
};

}  // namespace hx
