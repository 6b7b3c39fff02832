#pragma once

// The dialog service of a benchmark that drives windows. A real dialog would wait for a user who is not
// there, so every dialog is answered at once: an input box with the text set beforehand, every other box
// as if closed. A box the benchmark did not expect means the operation went wrong; check() turns it into
// a failed row instead of a figure for work that was not done.

#include <QStringList>

#include "core/data/errors.h"
#include "gui/widgets/dialogs.h"

namespace hxbench {

class BenchDialogs : public hx::Dialogs {
  public:
    BenchDialogs() { hx::Dialogs::install(this); }
    ~BenchDialogs() override { hx::Dialogs::install(nullptr); }
    BenchDialogs(const BenchDialogs&) = delete;
    BenchDialogs& operator=(const BenchDialogs&) = delete;

    // The answer of the next input boxes.
    QString inputText;

    // Raises hx::Error naming the boxes shown since the last check, if any.
    void check() {
        if (m_unexpected.isEmpty()) return;
        const QString shown = m_unexpected.join(QStringLiteral("; "));
        m_unexpected.clear();
        throw hx::Error(QStringLiteral("unexpected dialog: ") + shown);
    }

    void message(const QString& text) override { note(text); }
    void information(const QString& text) override { note(text); }
    void warning(const QString& text) override { note(text); }
    void error(const QString& text) override { note(text); }
    hx::Answer confirm(const QString& text, hx::ConfirmIcon = hx::ConfirmIcon::Question) override {
        note(text);
        return hx::Answer::Closed;
    }
    hx::Answer okCancel(const QString& text) override {
        note(text);
        return hx::Answer::Closed;
    }
    std::optional<QString> input(const QString&, const QString&, const QString&) override {
        return inputText;
    }
    std::optional<QString> openFile(const QString& filter, const QString&) override {
        note(filter);
        return std::nullopt;
    }
    std::optional<QString> saveFile(const QString& filter, const QString&) override {
        note(filter);
        return std::nullopt;
    }
    void beep() override { note(QStringLiteral("beep")); }

  private:
    void note(const QString& text) { m_unexpected << text; }
    QStringList m_unexpected;
};

}  // namespace hxbench
