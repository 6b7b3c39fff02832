#pragma once

#include <QString>
#include <QStringList>
#include <exception>
#include <optional>

class QWidget;

namespace hx {

enum class Answer { Yes, No, Ok, Cancel, Closed };

// The icon of a confirmation: a question, or a warning where going on destroys data.
enum class ConfirmIcon { Question, Warning };

// Every message box, input box, confirmation, file dialog and beep of the program goes through this
// service, so that tests can answer them from a script.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    static Dialogs& get();
    // Replaces the service (tests); nullptr restores the real dialogs. The caller keeps ownership.
    static void install(Dialogs* dialogs);

    // A plain box captioned with the application title.
    virtual void message(const QString& text) = 0;
    virtual void information(const QString& text) = 0;
    virtual void warning(const QString& text) = 0;
    // The application's standard error box.
    virtual void error(const QString& text) = 0;
    // Yes and No under the icon given; Closed when the box was closed without an answer.
    virtual Answer confirm(const QString& text, ConfirmIcon icon = ConfirmIcon::Question) = 0;
    // OK and Cancel; Closed when the box was closed without an answer.
    virtual Answer okCancel(const QString& text) = 0;
    // Nothing when the user cancels.
    virtual std::optional<QString> input(const QString& title, const QString& prompt,
                                         const QString& initial = QString()) = 0;
    // One of `items` (its index), the first offered first; nothing when the user cancels. A service that
    // cannot ask answers as cancelled.
    virtual std::optional<int> choose(const QString& title, const QString& prompt, const QStringList& items);
    // filter as "数据库文件|*.mdb"; nothing when the user cancels.
    virtual std::optional<QString> openFile(const QString& filter, const QString& directory = QString()) = 0;
    virtual std::optional<QString> saveFile(const QString& filter, const QString& directory = QString()) = 0;
    virtual void beep() = 0;
};

// The application title, caption of plain message boxes.
QString applicationTitle();

// A filter as the dialogs take it ("电子表格|*.xls") as the file dialog shows it ("电子表格 (*.xls)").
QString qtFileFilter(const QString& filter);

// Shows an error in the application's standard error box.
void showError(const std::exception& e);

// Runs f; an error it raises is shown in the application's standard error box, and the program goes on.
template <class F>
void guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        showError(e);
    }
}

// The real dialogs, on the screen.
class QtDialogs : public Dialogs {
  public:
    void message(const QString& text) override;
    void information(const QString& text) override;
    void warning(const QString& text) override;
    void error(const QString& text) override;
    Answer confirm(const QString& text, ConfirmIcon icon = ConfirmIcon::Question) override;
    Answer okCancel(const QString& text) override;
    std::optional<QString> input(const QString& title, const QString& prompt,
                                 const QString& initial) override;
    std::optional<int> choose(const QString& title, const QString& prompt, const QStringList& items) override;
    std::optional<QString> openFile(const QString& filter, const QString& directory) override;
    std::optional<QString> saveFile(const QString& filter, const QString& directory) override;
    void beep() override;
};

}  // namespace hx
