#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace hx {

// Shows the help of the work window activated last; empty when none is set. The main panel's "?" calls
// it, or shows its default help when it is empty.
inline std::function<void()> helpProc;

// A window opened from an entry of the main panel. It stands on its own (no parent), is shown without
// being modal and frees itself when the user closes it. While it is the window activated last, the
// panel's "?" shows its help; closing any work window empties that hook.
class WorkWindow : public QWidget {
    Q_OBJECT
  public:
    explicit WorkWindow(QWidget* parent = nullptr);
    ~WorkWindow() override;

    // Shows the window's help text in an information box.
    virtual void showHelp();
    virtual QString helpText() const { return m_helpText; }
    void setHelpText(const QString& text) { m_helpText = text; }

    // Makes this window's help the one "?" shows (done on every activation; a window with pages may call
    // it again when another page is shown).
    void installHelp();

  signals:
    // The user closed the window; it is about to be freed.
    void closed(hx::WorkWindow* window);

  protected:
    // Names the window, gives it its caption, the work windows' font and its size, and places it in the
    // middle of the screen (rather than under the main panel).
    void frameWindow(const QString& name, const QString& caption, const QSize& size);

    bool event(QEvent* event) override;
    // A subclass that overrides this calls it last, when it lets the window close.
    void closeEvent(QCloseEvent* event) override;

  private:
    QString m_helpText;
};

}  // namespace hx
