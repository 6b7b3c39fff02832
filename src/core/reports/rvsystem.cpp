#include "core/reports/rvsystem.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

namespace hx {

namespace {

// Calls a window handler through its cycle; omFree also when a step fails.
class FormScope {
  public:
    FormScope(TRvSystem& system, const TRvSystem::OverrideHandler& handler)
        : m_system(system), m_handler(handler) {
        if (m_handler) m_handler(m_system, omCreate, m_form);
    }
    ~FormScope() {
        if (m_handler) m_handler(m_system, omFree, m_form);
    }
    void call(TOverrideMode mode) {
        if (m_handler) m_handler(m_system, mode, m_form);
    }

  private:
    TRvSystem& m_system;
    const TRvSystem::OverrideHandler& m_handler;
    QObject* m_form = nullptr;
};

void writeSnapshotFile(const Snapshot& snapshot, const QString& fileName) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw ReportError(QStringLiteral("无法创建文件\"%1\"：%2").arg(fileName, file.errorString()));
    writeSnapshot(snapshot, file);
    if (!file.commit())
        throw ReportError(QStringLiteral("无法写入文件\"%1\"：%2").arg(fileName, file.errorString()));
}

}  // namespace

const QVector<FileRenderer>& activeFileRenderers() {
    static const QVector<FileRenderer> renderers{
        {QStringLiteral("PDF 文件 (*.pdf)"), QStringLiteral("*.pdf"),
         [](const Snapshot& s, const QString& fileName, const QString& title) {
             writePdf(s, fileName, title);
         }}};
    return renderers;
}

QVector<int> pagesToPrint(int pageCount, int first, int last, const QString& selection) {
    QVector<int> pages;
    auto add = [&](int from, int to) {
        from = std::max(from, 1);
        to = std::min(to, pageCount);
        for (int p = from; p <= to; ++p) pages << p;
    };
    if (selection.trimmed().isEmpty()) {
        add(first, last);
        return pages;
    }
    for (const QString& part : selection.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int dash = part.indexOf(QLatin1Char('-'));
        bool ok1 = true, ok2 = true;
        if (dash < 0) {
            const int p = part.trimmed().toInt(&ok1);
            if (ok1) add(p, p);
        } else {
            const QString a = part.left(dash).trimmed(), b = part.mid(dash + 1).trimmed();
            const int from = a.isEmpty() ? 1 : a.toInt(&ok1);
            const int to = b.isEmpty() ? pageCount : b.toInt(&ok2);
            if (ok1 && ok2) add(from, to);
        }
    }
    return pages;
}

TRvSystem::TRvSystem(QObject* parent) : QObject(parent) {}

bool TRvSystem::execute(const TRavePage& page) {
    return execute([this, &page](const GenerateOptions& options) {
        const int rows = DataConnection ? DataConnection->rowCount() : 0;
        return generateReport(
            page, rows,
            [this](int row, const QString& field) {
                return DataConnection ? DataConnection->text(row, field) : QString();
            },
            options);
    });
}

bool TRvSystem::execute(const Generator& generate) {
    m_aborted = false;
    ReportDest = DefaultDest;
    OutputFileName.clear();
    DoNativeOutput = false;
    RenderObject = nullptr;
    if (SystemSetups & ssAllowSetup) {
        FormScope setup(*this, OverrideSetup);
        setup.call(omShow);
        setup.call(omWait);
    }
    if (m_aborted) return false;

    std::optional<Snapshot> snapshot;
    {
        const bool showStatus = (SystemOptions & soShowStatus) != 0;
        static const TRvSystem::OverrideHandler none;
        FormScope status(*this, showStatus ? OverrideStatus : none);
        // The label goes with the status window, also when the generation fails.
        struct LabelScope {
            std::function<void(const QString&)>& label;
            ~LabelScope() { label = nullptr; }
        } labelScope{StatusLabel};
        status.call(omShow);
        GenerateOptions options;
        options.parameters = Parameters;
        options.progress = [this](int pageNo) {
            if (StatusLabel) {
                QString text = SystemFiler.StatusFormat;
                StatusLabel(text.replace(QStringLiteral("%p"), QString::number(pageNo)));
            }
            // The status window's Cancel is seen between pages.
            QCoreApplication::processEvents();
            return !m_aborted;
        };
        snapshot = generate(options);
        if (m_aborted) snapshot.reset();
        if (snapshot && (SystemOptions & soWaitForOK)) status.call(omWait);
    }
    if (!snapshot) {
        m_aborted = true;
        return false;
    }
    SystemFiler.FileName.clear();
    SystemFiler.Stream = std::move(snapshot);

    switch (ReportDest) {
        case rdPrinter:
            if (!PrintHandler) throw ReportError(QStringLiteral("系统没有安装打印机!"));
            PrintHandler(*this, *SystemFiler.Stream, QString());
            break;
        case rdFile:
            if (DoNativeOutput) {
                if (!PrintHandler) throw ReportError(QStringLiteral("系统没有安装打印机!"));
                PrintHandler(*this, *SystemFiler.Stream, OutputFileName);
            } else if (RenderObject) {
                RenderObject->render(*SystemFiler.Stream, OutputFileName, SystemPrinter.Title);
            } else {
                writeSnapshotFile(*SystemFiler.Stream, OutputFileName);
            }
            break;
        case rdPreview: {
            FormScope preview(*this, OverridePreview);
            preview.call(omShow);
            preview.call(omWait);
            break;
        }
    }
    return true;
}

}  // namespace hx
