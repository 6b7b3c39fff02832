#include "core/reports/rvproject.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "core/reports/rvsystem.h"

namespace hx {

namespace {

constexpr double mmPerInch = 25.4;

// One line of the project split into words; key=value words and "quoted" values ("" stands for a quote).
struct Words {
    QStringList plain;
    QHash<QString, QString> values;
    QStringList order;  // keys and plain words in order, to report unknown ones
};

Words splitLine(const QString& line, int lineNo) {
    Words words;
    int i = 0;
    const int n = line.size();
    auto fail = [lineNo](const QString& what) {
        throw ReportError(QStringLiteral("报表工程第 %1 行有误：%2").arg(lineNo).arg(what));
    };
    while (i < n) {
        while (i < n && line[i].isSpace()) ++i;
        if (i >= n || line[i] == QLatin1Char('#')) break;
        QString key;
        QString value;
        bool hasValue = false;
        while (i < n && !line[i].isSpace() && line[i] != QLatin1Char('=')) key += line[i++];
        if (i < n && line[i] == QLatin1Char('=')) {
            hasValue = true;
            ++i;
            if (i < n && line[i] == QLatin1Char('"')) {
                ++i;
                bool closed = false;
                while (i < n) {
                    if (line[i] == QLatin1Char('"')) {
                        if (i + 1 < n && line[i + 1] == QLatin1Char('"')) {
                            value += QLatin1Char('"');
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    value += line[i++];
                }
                if (!closed) fail(QStringLiteral("引号没有结束"));
            } else {
                while (i < n && !line[i].isSpace()) value += line[i++];
            }
        }
        if (key.isEmpty()) fail(QStringLiteral("缺少名称"));
        if (hasValue) {
            words.values.insert(key.toLower(), value);
        } else {
            words.plain << key;
        }
        words.order << key;
    }
    return words;
}

double number(const QString& text, int lineNo, const QString& what, bool allowNegative = false) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || (v < 0 && !allowNegative))
        throw ReportError(
            QStringLiteral("报表工程第 %1 行有误：%2 不是有效的数值（%3）").arg(lineNo).arg(what, text));
    return v;
}

std::unique_ptr<TRaveComponent> makeComponent(const Words& w, int lineNo) {
    const QString kind = w.plain.value(0).toLower();
    if (w.plain.size() < 2)
        throw ReportError(QStringLiteral("报表工程第 %1 行有误：%2 缺少组件名称").arg(lineNo).arg(kind));
    std::unique_ptr<TRaveComponent> c;
    if (kind == QLatin1String("line")) {
        auto line = std::make_unique<TRaveLine>();
        line->Dashed = w.plain.contains(QStringLiteral("dashed"), Qt::CaseInsensitive);
        if (w.values.contains(QStringLiteral("pen")))
            line->PenWidth =
                number(w.values.value(QStringLiteral("pen")), lineNo, QStringLiteral("pen")) / mmPerInch;
        c = std::move(line);
    } else {
        std::unique_ptr<TRaveText> text;
        if (kind == QLatin1String("datatext")) {
            auto data = std::make_unique<TRaveDataText>();
            data->DataField = w.values.value(QStringLiteral("field"));
            if (data->DataField.isEmpty())
                throw ReportError(QStringLiteral("报表工程第 %1 行有误：数据文本 %2 缺少 field")
                                      .arg(lineNo)
                                      .arg(w.plain[1]));
            text = std::move(data);
        } else {
            text = std::make_unique<TRaveText>();
        }
        text->Text = w.values.value(QStringLiteral("text"));
        if (w.values.contains(QStringLiteral("font")))
            text->FontName = w.values.value(QStringLiteral("font"));
        if (w.values.contains(QStringLiteral("size")))
            text->FontSize = number(w.values.value(QStringLiteral("size")), lineNo, QStringLiteral("size"));
        text->Bold = w.plain.contains(QStringLiteral("bold"), Qt::CaseInsensitive);
        text->Frame = w.plain.contains(QStringLiteral("frame"), Qt::CaseInsensitive);
        const QString align = w.values.value(QStringLiteral("align"), QStringLiteral("left")).toLower();
        if (align == QLatin1String("left"))
            text->Align = TextAlign::Left;
        else if (align == QLatin1String("center"))
            text->Align = TextAlign::Center;
        else if (align == QLatin1String("right"))
            text->Align = TextAlign::Right;
        else
            throw ReportError(
                QStringLiteral("报表工程第 %1 行有误：对齐方式 %2 无效（left、center 或 right）")
                    .arg(lineNo)
                    .arg(align));
        c = std::move(text);
    }
    c->Name = w.plain[1];
    for (const auto& [key, member] :
         {std::pair{QStringLiteral("left"), &c->Left}, std::pair{QStringLiteral("top"), &c->Top},
          std::pair{QStringLiteral("width"), &c->Width}, std::pair{QStringLiteral("height"), &c->Height}}) {
        if (w.values.contains(key))
            *member =
                number(w.values.value(key), lineNo, key, member == &c->Left || member == &c->Top) / mmPerInch;
    }
    c->Visible = !w.plain.contains(QStringLiteral("hidden"), Qt::CaseInsensitive);
    return c;
}

}  // namespace

QString defaultReportProject() {
    QFile file(QStringLiteral(":/reports/rptBar.rav"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

std::vector<TRaveComponent*> TRavePage::allComponents() const {
    std::vector<TRaveComponent*> all;
    for (const auto& c : Components) all.push_back(c.get());
    for (const auto& c : Band.Components) all.push_back(c.get());
    return all;
}

TRaveReport* TRaveProjectManager::findReport(const QString& name) const {
    for (const auto& r : Reports)
        if (r->Name.compare(name, Qt::CaseInsensitive) == 0) return r.get();
    return nullptr;
}

TRavePage* TRaveProjectManager::findPage(const QString& fullName) const {
    const QStringList parts = fullName.split(QLatin1Char('.'));
    if (parts.size() != 2) return nullptr;
    TRaveReport* report = findReport(parts[0]);
    if (!report) return nullptr;
    for (const auto& p : report->Pages)
        if (p->Name.compare(parts[1], Qt::CaseInsensitive) == 0) return p.get();
    return nullptr;
}

TRaveComponent* TRaveProjectManager::FindRaveComponent(const QString& name, const TRavePage* root) const {
    QString shortName = name;
    if (!root) {
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot < 0) return nullptr;
        root = findPage(name.left(dot));
        shortName = name.mid(dot + 1);
        if (!root) return nullptr;
    }
    for (TRaveComponent* c : root->allComponents())
        if (c->Name.compare(shortName, Qt::CaseInsensitive) == 0) return c;
    return nullptr;
}

std::unique_ptr<TRaveProjectManager> parseReportProject(const QString& text) {
    auto manager = std::make_unique<TRaveProjectManager>();
    TRaveReport* report = nullptr;
    TRavePage* page = nullptr;
    bool inBand = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    auto fail = [](int lineNo, const QString& what) {
        throw ReportError(QStringLiteral("报表工程第 %1 行有误：%2").arg(lineNo).arg(what));
    };
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const Words w = splitLine(lines[i], lineNo);
        if (w.plain.isEmpty()) {
            if (!w.values.isEmpty()) fail(lineNo, QStringLiteral("缺少关键字"));
            continue;
        }
        const QString keyword = w.plain[0].toLower();
        if (keyword == QLatin1String("hexiu-report")) {
            if (w.plain.value(1) != QLatin1String("1")) fail(lineNo, QStringLiteral("不支持的格式版本"));
        } else if (keyword == QLatin1String("report")) {
            if (w.plain.size() < 2) fail(lineNo, QStringLiteral("report 缺少名称"));
            manager->Reports.push_back(std::make_unique<TRaveReport>());
            report = manager->Reports.back().get();
            report->Name = w.plain[1];
            page = nullptr;
            inBand = false;
        } else if (keyword == QLatin1String("page")) {
            if (!report) fail(lineNo, QStringLiteral("page 之前缺少 report"));
            if (w.plain.size() < 2) fail(lineNo, QStringLiteral("page 缺少名称"));
            report->Pages.push_back(std::make_unique<TRavePage>());
            page = report->Pages.back().get();
            page->Name = w.plain[1];
            inBand = false;
        } else if (keyword == QLatin1String("paper") || keyword == QLatin1String("orientation") ||
                   keyword == QLatin1String("margins") || keyword == QLatin1String("band")) {
            if (!page) fail(lineNo, QStringLiteral("%1 之前缺少 page").arg(keyword));
            if (keyword == QLatin1String("paper")) {
                if (w.plain.value(1).compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0)
                    page->PaperSize = QSizeF(210 / mmPerInch, 297 / mmPerInch);
                else if (w.plain.value(1).compare(QLatin1String("A5"), Qt::CaseInsensitive) == 0)
                    page->PaperSize = QSizeF(148 / mmPerInch, 210 / mmPerInch);
                else if (w.plain.size() == 3)
                    page->PaperSize = QSizeF(number(w.plain[1], lineNo, QStringLiteral("paper")) / mmPerInch,
                                             number(w.plain[2], lineNo, QStringLiteral("paper")) / mmPerInch);
                else
                    fail(lineNo, QStringLiteral("paper 应为 A4、A5 或 宽 高（毫米）"));
                if (page->PaperSize.width() <= 0 || page->PaperSize.height() <= 0)
                    fail(lineNo, QStringLiteral("纸张大小无效"));
            } else if (keyword == QLatin1String("orientation")) {
                const QString o = w.plain.value(1).toLower();
                if (o != QLatin1String("portrait") && o != QLatin1String("landscape"))
                    fail(lineNo, QStringLiteral("orientation 应为 portrait 或 landscape"));
                page->Landscape = o == QLatin1String("landscape");
            } else if (keyword == QLatin1String("margins")) {
                if (w.plain.size() != 5) fail(lineNo, QStringLiteral("margins 应为 左 上 右 下（毫米）"));
                page->MarginLeft = number(w.plain[1], lineNo, QStringLiteral("margins")) / mmPerInch;
                page->MarginTop = number(w.plain[2], lineNo, QStringLiteral("margins")) / mmPerInch;
                page->MarginRight = number(w.plain[3], lineNo, QStringLiteral("margins")) / mmPerInch;
                page->MarginBottom = number(w.plain[4], lineNo, QStringLiteral("margins")) / mmPerInch;
            } else {
                if (w.plain.size() < 2) fail(lineNo, QStringLiteral("band 缺少名称"));
                page->Band.Name = w.plain[1];
                page->Band.Height =
                    number(w.values.value(QStringLiteral("height")), lineNo, QStringLiteral("height")) /
                    mmPerInch;
                if (page->Band.Height <= 0) fail(lineNo, QStringLiteral("band 的高度必须大于 0"));
                inBand = true;
            }
        } else if (keyword == QLatin1String("text") || keyword == QLatin1String("datatext") ||
                   keyword == QLatin1String("line")) {
            if (!page) fail(lineNo, QStringLiteral("%1 之前缺少 page").arg(keyword));
            auto c = makeComponent(w, lineNo);
            for (TRaveComponent* other : page->allComponents())
                if (other->Name.compare(c->Name, Qt::CaseInsensitive) == 0)
                    fail(lineNo, QStringLiteral("组件名称 %1 重复").arg(c->Name));
            (inBand ? page->Band.Components : page->Components).push_back(std::move(c));
        } else {
            fail(lineNo, QStringLiteral("未知的关键字 %1").arg(w.plain[0]));
        }
    }
    return manager;
}

void TRvProject::open() {
    close();
    QFile file(ProjectFile);
    if (!QFileInfo::exists(ProjectFile))
        throw ReportError(
            QStringLiteral("The following reporting project does not exist:\n\"%1\"").arg(ProjectFile));
    if (!file.open(QIODevice::ReadOnly))
        throw ReportError(
            QStringLiteral("无法读取报表工程文件\"%1\"：%2").arg(ProjectFile, file.errorString()));
    const QByteArray bytes = file.readAll();
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter))
        throw ReportError(QStringLiteral("报表工程文件\"%1\"不是 UTF-8 文本。").arg(ProjectFile));
    m_manager = parseReportProject(text);
}

void TRvProject::close() {
    m_manager.reset();
}

bool TRvProject::ExecuteReport(const QString& name) {
    if (!m_manager) open();
    TRaveReport* report = m_manager->findReport(name);
    if (!report || report->Pages.empty())
        throw ReportError(QStringLiteral("报表工程中没有报表\"%1\"。").arg(name));
    if (!Engine) throw ReportError(QStringLiteral("报表工程没有指定报表引擎。"));
    return Engine->execute(*report->Pages.front());
}

}  // namespace hx
