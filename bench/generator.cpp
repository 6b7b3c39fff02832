#include "generator.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "core/data/connection.h"
#include "core/data/money.h"
#include "core/data/schema.h"

namespace hxbench {

namespace {

using hx::Money;

// The kinds of work in a garment factory; each class group does one kind, each process is of one kind.
enum Category { Cut, Sew, Finish, Pack, CategoryCount };

struct CategoryInfo {
    const char* groupPrefix;
    double share;  // of the workers
    int rateLo;    // piece rate range, ten-thousandths of a yuan
    int rateHi;
    int qtyLo;  // pieces of one bundle
    int qtyHi;
    int levelLo;  // normal-capability wage range, yuan
    int levelHi;
    int allowance;  // 岗位津贴 of an ordinary member, yuan
    QStringList ops;
};

const std::array<CategoryInfo, CategoryCount>& categories() {
    static const std::array<CategoryInfo, CategoryCount> info = {{
        {"裁剪",
         0.10,
         200,
         1500,
         60,
         300,
         4200,
         5200,
         80,
         {QStringLiteral("裁剪"), QStringLiteral("验片"), QStringLiteral("编号"), QStringLiteral("粘衬")}},
        {"车缝",
         0.65,
         800,
         12000,
         10,
         50,
         4500,
         6500,
         0,
         {QStringLiteral("合肩缝"), QStringLiteral("上领"), QStringLiteral("绱袖"), QStringLiteral("合侧缝"),
          QStringLiteral("卷下摆"), QStringLiteral("上拉链"), QStringLiteral("做口袋"),
          QStringLiteral("钉商标"), QStringLiteral("压明线"), QStringLiteral("上袖口"),
          QStringLiteral("做门襟"), QStringLiteral("缝腰头"), QStringLiteral("做袖衩"),
          QStringLiteral("打枣"), QStringLiteral("拼前片"), QStringLiteral("做领")}},
        {"后整",
         0.15,
         500,
         4000,
         20,
         100,
         3800,
         5000,
         50,
         {QStringLiteral("锁眼"), QStringLiteral("钉扣"), QStringLiteral("剪线头"), QStringLiteral("整烫"),
          QStringLiteral("查衫")}},
        {"包装",
         0.10,
         300,
         3000,
         20,
         120,
         3600,
         4600,
         0,
         {QStringLiteral("折衫"), QStringLiteral("挂吊牌"), QStringLiteral("包装"), QStringLiteral("装箱")}},
    }};
    return info;
}

const QStringList& surnames() {
    static const QStringList list =
        QStringLiteral(
            "王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 "
            "韩 冯 邓 曹 彭 曾 肖 田 董 袁 潘 于 蒋 蔡 余 杜 叶 程 苏 魏 吕 丁 任 沈 姚 卢 "
            "姜 崔 钟 谭 陆 汪 范 金 石 廖 贾 夏 韦 付 方 白 邹 孟 熊 秦 邱 江 尹 薛 闫 段 "
            "雷 侯 龙 史 陶 黎 贺 顾 毛 郝 龚 邵 万 钱 严 覃 武 戴 莫 孔 向 汤")
            .split(QLatin1Char(' '));
    return list;
}

const QStringList& doubleSurnames() {
    static const QStringList list = {QStringLiteral("欧阳"), QStringLiteral("司马"), QStringLiteral("诸葛"),
                                     QStringLiteral("上官")};
    return list;
}

const QString& givenChars() {
    static const QString chars = QStringLiteral(
        "秀英华玉兰芳丽霞红梅娟敏静燕艳萍琴云莉凤洁玲慧婷雪月春桂金美翠珍平丹晶颖彩小海建国明强伟军勇峰涛斌波"
        "辉"
        "林永志成杰文宏新佳欣雨琳爱香巧");
    return chars;
}

const QStringList& garments() {
    static const QStringList list = {
        QStringLiteral("衬衫"),   QStringLiteral("T恤"),    QStringLiteral("夹克"),
        QStringLiteral("西裤"),   QStringLiteral("连衣裙"), QStringLiteral("卫衣"),
        QStringLiteral("牛仔裤"), QStringLiteral("风衣"),   QStringLiteral("童装套装")};
    return list;
}

const QStringList& processNotes() {
    static const QStringList list = {QStringLiteral("注意对条对格"),     QStringLiteral("双针压线"),
                                     QStringLiteral("线迹密度12针/3cm"), QStringLiteral("按样衣工艺"),
                                     QStringLiteral("返工不计件"),       QStringLiteral("注意左右对称")};
    return list;
}

QString chineseNumber(int n) {
    static const QString digits = QStringLiteral("零一二三四五六七八九");
    if (n <= 0 || n > 999) return QString::number(n);
    QString text;
    const int hundreds = n / 100, tens = n / 10 % 10, ones = n % 10;
    if (hundreds > 0) {
        text += digits[hundreds] + QStringLiteral("百");
        if (tens == 0 && ones != 0) text += digits[0];
    }
    if (tens > 0) {
        if (!(tens == 1 && hundreds == 0)) text += digits[tens];
        text += QStringLiteral("十");
    }
    if (ones > 0) text += digits[ones];
    return text;
}

struct Worker {
    QString code;
    QString name;
    QString group;  // empty: no class group
    int category = -1;
    qint64 levelSalary = 0;
    int salaryDay = 15;
    bool dismissed = false;
    int firstDay = 0;               // calendar day index of the first working day in the range
    int endDay = 0;                 // first day index no longer worked
    std::array<qint64, 7> fixed{};  // A02 .. A08, ten-thousandths of a yuan
    qint64 id = 0;
};

struct Process {
    QString code;
    QString description;
    QString style;
    int category = Sew;
    qint64 price = 0;  // ten-thousandths of a yuan
    int firstDay = 0;
    int lastDay = 0;  // inclusive
    bool finished = false;
    qint64 id = 0;
};

// A statement prepared once and run many times with bound values.
class Prepared {
  public:
    Prepared(hx::Connection& cn, const QString& sql) : m_statement(cn, sql) {}
    void run(const QVariantList& values) {
        m_statement.bindAll(values);
        m_statement.run();
    }

  private:
    hx::PreparedStatement m_statement;
};

QVariant money(qint64 units) {
    return QVariant::fromValue(Money::fromUnits(units));
}

void validate(const GeneratorOptions& o) {
    auto fail = [](const QString& why) { throw hx::Error(why); };
    if (o.workers < 1 || o.workers > 1000000) fail(QStringLiteral("workers must be 1 to 1000000"));
    if (o.processes < 1 || o.processes > 1000000) fail(QStringLiteral("processes must be 1 to 1000000"));
    if (o.months < 1 || o.months > 240) fail(QStringLiteral("months must be 1 to 240"));
    if (o.startMonth < 1 || o.startMonth > 12) fail(QStringLiteral("the start month must be 1 to 12"));
    // The salary items of a generated month are copied from the base item month, so the range lies after it.
    if (12 * o.startYear + o.startMonth <= 12 * 2003 + 11 || o.startYear > 9000)
        fail(QStringLiteral("the start month must lie after 2003-11"));
    if (o.recordsPerWorkerMonth < 0 || o.recordsPerWorkerMonth > 3000)
        fail(QStringLiteral("records per worker and month must be 0 to 3000"));
}

class Generator {
  public:
    Generator(const GeneratorOptions& options) : o(options), rng(options.seed) {}

    GeneratorResult write(hx::Connection& cn);

  private:
    void planCalendar();
    void planWorkers();
    void planProcesses();
    void insertWorkers(hx::Connection& cn);
    void insertProcesses(hx::Connection& cn);
    qint64 insertRecords(hx::Connection& cn);
    void writeSalaryItems(hx::Connection& cn);

    const GeneratorOptions& o;
    SplitMix64 rng;
    std::vector<QDate> days;           // every calendar day of the range
    std::vector<QByteArray> dayTexts;  // the same as stored, YYYY-MM-DD
    std::vector<Worker> workers;
    std::vector<Process> processes;
};

void Generator::planCalendar() {
    const QDate first(o.startYear, o.startMonth, 1);
    const QDate end = first.addMonths(o.months);
    for (QDate d = first; d < end; d = d.addDays(1)) {
        days.push_back(d);
        dayTexts.push_back(d.toString(Qt::ISODate).toLatin1());
    }
}

void Generator::planWorkers() {
    const auto& cats = categories();
    const int n = o.workers;
    const int range = int(days.size());

    // Class groups of about 25 workers; each group is paid on one day, a few workers on a day of their own.
    struct Group {
        QString name;
        int category;
        int salaryDay;
        bool hasLeader = false;
    };
    std::vector<Group> groups;
    std::array<std::vector<int>, CategoryCount> groupsOf;
    for (int c = 0; c < CategoryCount; ++c) {
        const int count = std::max(1, int(std::lround(n * cats[c].share / 25.0)));
        for (int g = 1; g <= count; ++g) {
            const int r = rng.below(100);
            const int day = r < 50 ? 15 : r < 85 ? 10 : 5;
            groupsOf[c].push_back(int(groups.size()));
            groups.push_back(
                {QString::fromUtf8(cats[c].groupPrefix) + chineseNumber(g) + QStringLiteral("组"), c, day});
        }
    }

    int width = 4;
    for (int limit = 10000; n >= limit && width < 10; limit *= 10) ++width;

    const int hires = n >= 10 ? int(std::lround(n * 0.08)) : 0;
    workers.resize(n);
    for (int i = 0; i < n; ++i) {
        Worker& w = workers[i];
        w.code = QStringLiteral("%1").arg(i + 1, width, 10, QLatin1Char('0'));
        const QString surname = rng.below(50) == 0 ? doubleSurnames()[rng.below(doubleSurnames().size())]
                                                   : surnames()[rng.below(surnames().size())];
        QString given = givenChars()[rng.below(givenChars().size())];
        if (rng.below(10) < 7) given += givenChars()[rng.below(givenChars().size())];
        w.name = surname + given;

        if (rng.below(100) == 0) {
            // An odd-job worker without a class group does whatever work there is.
            w.category = -1;
            w.salaryDay = 15;
            w.levelSalary = Money::fromYuan(4000).units();
        } else {
            const int r = rng.below(1000);
            int c = 0;
            for (int acc = 0; c < CategoryCount - 1; ++c) {
                acc += int(cats[c].share * 1000);
                if (r < acc) break;
            }
            Group& g = groups[groupsOf[c][rng.below(int(groupsOf[c].size()))]];
            w.category = c;
            w.group = g.name;
            w.salaryDay = rng.below(25) == 0 ? 25 : g.salaryDay;
            w.levelSalary =
                Money::fromYuan(100 * rng.between(cats[c].levelLo / 100, cats[c].levelHi / 100)).units();
            qint64 allowance = cats[c].allowance;
            if (!g.hasLeader) {
                g.hasLeader = true;  // 组长
                allowance = 300;
            } else if (rng.below(10) == 0) {
                allowance += 30;  // 技术津贴
            }
            w.fixed[0] = Money::fromYuan(allowance).units();
        }
        const bool newHire = i >= n - hires;
        w.fixed[1] = Money::fromYuan(newHire ? 0 : 30 * rng.between(0, 10)).units();  // 工龄工资
        w.fixed[2] = rng.below(100) < 45 ? Money::fromYuan(150).units() : 0;          // 住房补贴
        w.fixed[3] = rng.below(100) < 80 ? Money::fromYuan(260).units() : 0;          // 伙食补贴
        w.fixed[4] = rng.below(100) < 30 ? 455000 : 0;                                // 交通补贴 45.5
        w.firstDay = 0;
        w.endDay = range;
        if (newHire)
            w.firstDay = std::min(range - 1, (i - (n - hires)) * range / std::max(1, hires) + rng.below(7));
    }

    // A few workers left during the range; they keep their records and are marked dismissed.
    const int dismissals = n >= 2 ? std::max(1, int(std::lround(n * 0.05))) : 0;
    int candidates = n - hires;
    std::vector<int> order(candidates);
    for (int i = 0; i < candidates; ++i) order[i] = i;
    for (int i = candidates - 1; i > 0; --i) std::swap(order[i], order[rng.below(i + 1)]);
    for (int i = 0; i < std::min(dismissals, candidates); ++i) {
        Worker& w = workers[order[i]];
        w.dismissed = true;
        w.endDay = std::max(1, range / 10 + rng.below(std::max(1, range - range / 10)));
    }
}

void Generator::planProcesses() {
    const auto& cats = categories();
    const int total = o.processes;
    const int range = int(days.size());
    const int common = total >= 10 ? std::max(1, total / 25) : 0;

    // Processes common to every style: finishing and packing work done the same way on any garment.
    static const std::array<std::pair<int, const char*>, 6> commonOps = {{{Finish, "整烫"},
                                                                          {Finish, "剪线头"},
                                                                          {Finish, "查衫"},
                                                                          {Pack, "包装"},
                                                                          {Pack, "装箱"},
                                                                          {Finish, "锁眼"}}};
    for (int i = 0; i < common; ++i) {
        Process p;
        const auto& op = commonOps[i % commonOps.size()];
        p.category = op.first;
        p.code = QStringLiteral("TY-%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        p.description = QString::fromUtf8(op.second) + QStringLiteral("（通用）");
        p.firstDay = 0;
        p.lastDay = range - 1;
        processes.push_back(p);
    }

    // Styles follow one another through the range, each produced for one to three months.
    std::vector<int> sizes;
    for (int left = total - common; left > 0;) {
        int size = std::min(left, rng.between(12, 24));
        if (left - size > 0 && left - size < 6) size = left;
        sizes.push_back(size);
        left -= size;
    }
    const int styles = int(sizes.size());
    std::vector<int> perYear;  // styles numbered per year of their start
    for (int s = 0; s < styles; ++s) {
        // Each style overlaps the next, so that some style is in production on every day of the range.
        const int spacing = (range + 15) / std::max(1, styles);
        const int start = -30 + s * spacing + rng.between(-5, 5);
        const int length = std::max(rng.between(30, 100), spacing + 12);
        int first = std::max(0, start), last = std::min(range - 1, start + length);
        const QDate startDate = days.front().addDays(start);
        const int yearIndex = startDate.year() - o.startYear + 1;
        if (yearIndex >= int(perYear.size())) perYear.resize(yearIndex + 1, 0);
        const QString style =
            QStringLiteral("K%1-%2").arg(startDate.year()).arg(++perYear[yearIndex], 2, 10, QLatin1Char('0'));
        // A style that ended well before the range's end is usually marked finished; now and then the
        // clerk forgets.
        const bool styleFinished = start + length < range - 7 && rng.below(100) < 85;
        const QString garment = garments()[rng.below(garments().size())];

        const int size = sizes[s];
        std::array<int, CategoryCount> counts{};
        counts[Cut] = int(std::lround(size * 0.12));
        counts[Finish] = int(std::lround(size * 0.18));
        counts[Pack] = int(std::lround(size * 0.08));
        counts[Sew] = size - counts[Cut] - counts[Finish] - counts[Pack];
        int index = 0;
        for (int c : {Cut, Sew, Finish, Pack}) {
            const QStringList& ops = cats[c].ops;
            const int offset = rng.below(ops.size());
            for (int k = 0; k < counts[c]; ++k) {
                Process p;
                p.category = c;
                p.style = style;
                p.code = style + QStringLiteral("-%1").arg(++index, 2, 10, QLatin1Char('0'));
                QString op = ops[(offset + k) % ops.size()];
                if (k >= ops.size()) op += QStringLiteral("（%1）").arg(chineseNumber(k / ops.size() + 1));
                p.description = garment + op;
                if (rng.below(10) < 3) p.description += QStringLiteral("，") + processNotes()[rng.below(6)];
                p.firstDay = first;
                p.lastDay = last;
                p.finished = styleFinished;
                if (!styleFinished && rng.below(100) < 3) {
                    // A process dropped from a running style: finished before the style is.
                    p.finished = true;
                    p.lastDay = first + rng.below(std::max(1, last - first + 1));
                }
                processes.push_back(p);
            }
        }
    }
    bool anyFinished = false;
    for (const Process& p : processes) anyFinished = anyFinished || p.finished;
    if (!anyFinished && processes.size() >= 2) {
        Process& p = processes.back();
        p.finished = true;
        p.lastDay = p.firstDay + (p.lastDay - p.firstDay) / 2;
    }

    for (Process& p : processes) {
        const CategoryInfo& c = cats[p.category];
        // Rates are set in steps of half a fen's tenth (0.0005), so most carry four decimals: 0.1250, 0.0835.
        p.price = 5 * rng.between(c.rateLo / 5, c.rateHi / 5);
    }
}

void Generator::insertWorkers(hx::Connection& cn) {
    hx::Transaction tx(cn);
    const QString insert = QStringLiteral(
        "insert into staff (StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, "
        "Firedd, A02, A03, A04, A05, A06, A07, A08) "
        "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (Worker& w : workers) {
        QVariantList values = {
            w.code,      w.name,     w.group.isEmpty() ? QVariant() : QVariant(w.group), money(w.levelSalary),
            w.salaryDay, w.dismissed};
        for (qint64 amount : w.fixed) values << money(amount);
        w.id = cn.insert(insert, values, QStringLiteral("staffID"));
    }
    tx.commit();
}

void Generator::insertProcesses(hx::Connection& cn) {
    hx::Transaction tx(cn);
    const QString insert = QStringLiteral(
        "insert into job (JobCode, Description, StyleGroup, UnitPrice, stopp) values (?, ?, ?, ?, ?)");
    for (Process& p : processes) {
        p.id = cn.insert(insert,
                         {p.code, p.description, p.style.isEmpty() ? QVariant() : QVariant(p.style),
                          money(p.price), p.finished},
                         QStringLiteral("JobID"));
    }
    tx.commit();
}

qint64 Generator::insertRecords(hx::Connection& cn) {
    const auto& cats = categories();
    const int range = int(days.size());

    // A worker is absent now and then; the daily count makes up for it so that a full working month
    // holds recordsPerWorkerMonth records on average (a year has 313 days from Monday to Saturday).
    const double absence = 0.04;
    const double perDay = o.recordsPerWorkerMonth * 12.0 / 313.0 / (1.0 - absence);
    const int base = int(perDay);
    const double fraction = perDay - base;

    hx::Transaction tx(cn);
    // The indexes of the table are built once over the finished table, from their own definitions in the
    // schema: faster than keeping them up to date row by row, and they come out compact.
    QStringList names, indexes;
    {
        hx::PreparedStatement q =
            cn.query(QStringLiteral("select name, sql from sqlite_master where type = 'index' and "
                                    "tbl_name = 'JobData' and sql is not null"));
        while (q.next()) {
            names << q.value(0).toString();
            indexes << q.value(1).toString();
        }
    }
    for (const QString& name : names) cn.execScript(QStringLiteral("drop index \"%1\"").arg(name));
    hx::PreparedStatement insert(
        cn, QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values (?1, ?2, ?3, ?4)"));

    qint64 count = 0;
    std::array<std::vector<int>, CategoryCount> active;
    std::vector<int> activeAll;
    std::vector<int> chosen;
    std::vector<std::pair<int, int>> used;
    for (int d = 0; d < range; ++d) {
        if (days[d].dayOfWeek() == Qt::Sunday) continue;
        for (auto& list : active) list.clear();
        activeAll.clear();
        for (int i = 0; i < int(processes.size()); ++i) {
            const Process& p = processes[i];
            if (p.firstDay <= d && d <= p.lastDay) {
                active[p.category].push_back(i);
                activeAll.push_back(i);
            }
        }
        const QByteArray& date = dayTexts[d];
        for (const Worker& w : workers) {
            if (d < w.firstDay || d >= w.endDay) continue;
            if (rng.chance(absence)) continue;
            const std::vector<int>& pool =
                (w.category >= 0 && !active[w.category].empty()) ? active[w.category] : activeAll;
            if (pool.empty()) continue;
            int n = base + (rng.chance(fraction) ? 1 : 0);
            if (n > 3) n += rng.between(-3, 3);
            if (n <= 0) continue;
            const int k = std::min({n, rng.between(2, 5), int(pool.size())});
            chosen.clear();
            while (int(chosen.size()) < k) {
                const int candidate = pool[rng.below(int(pool.size()))];
                if (std::find(chosen.begin(), chosen.end(), candidate) == chosen.end())
                    chosen.push_back(candidate);
            }
            used.clear();
            for (int r = 0; r < n; ++r) {
                const int pi = r < k ? chosen[r] : chosen[rng.below(k)];
                const CategoryInfo& c = cats[processes[pi].category];
                // Two bundles of the same process on one day must differ in size: the table keeps
                // (day, worker, process, pieces) unique.
                int qty = 0;
                for (int attempt = 0; attempt < 8 && qty == 0; ++attempt) {
                    const int q = rng.between(c.qtyLo, c.qtyHi);
                    if (std::find(used.begin(), used.end(), std::make_pair(pi, q)) == used.end()) qty = q;
                }
                if (qty == 0) continue;
                used.emplace_back(pi, qty);
                insert.bindUtf8(1, date);
                insert.bind(2, w.id);
                insert.bind(3, processes[pi].id);
                insert.bind(4, qty);
                insert.run();
                ++count;
            }
        }
    }
    for (const QString& sql : indexes) cn.execScript(sql);
    tx.commit();
    return count;
}

int workingDays(const QDate& first) {
    int n = 0;
    for (QDate d = first; d.month() == first.month(); d = d.addDays(1))
        if (d.dayOfWeek() != Qt::Sunday) ++n;
    return n;
}

struct Item {
    const char* code;
    QString name;
    QString expression;
    int width;
};

// One month's items: every formula feature the accountant may use appears somewhere (constants, + - * /,
// parentheses, comparisons, and/or/not, iif, round, int), each formula reading only earlier codes.
std::vector<Item> monthItems(const QDate& month) {
    const QString days = QString::number(workingDays(month));
    const QString social = month.month() >= 7 ? QStringLiteral("192.3") : QStringLiteral("186.5");
    auto s = [](const char* text) { return QString::fromUtf8(text); };
    return {
        {"B01", s("出勤天数"), days, 10},
        {"B02", s("加班小时"), s("0"), 10},
        {"B03", s("请假天数"), s("0"), 10},
        {"B04", s("工龄年数"), s("int(A03/30)"), 0},
        {"B05", s("计件系数"), s("iif(A01>=6000, 1.05, iif(A01>=4500, 1.02, 1))"), 0},
        {"B06", QString(), QString(), 0},
        {"B07", QString(), QString(), 0},
        {"C01", s("加班费"), s("round(B02*12.5, 2)"), 10},
        {"C02", s("全勤奖"), s("iif(B03=0 and B01>=24, 100, 0)"), 10},
        {"C03", s("超产奖"), s("iif(B05>1 or A01>7000, round(A01*(B05-1), 1), 0)"), 10},
        {"C04", s("保底补差"), s("iif(A01<2200 and not (B03>5), 2200-A01, 0)"), 10},
        {"C05", s("请假扣款"), s("iif(B03<>0, round(B03*A02/B01, 2), 0)"), 10},
        {"C06", s("罚款"), s("0"), 10},
        {"C07", s("应发工资"), s("A01+A02+A03+A04+A05+A06+C01+C02+C03+C04-C05-C06"), 14},
        {"C08", s("社保"), social, 10},
        {"C09", s("个税"), s("iif(C07-C08<=5000, 0, round((C07-C08-5000)*0.03, 2))"), 10},
        {"C10", s("实发工资"), s("C07-C08-C09"), 14},
        {"C11", s("实发整数"), s("int(C10)"), 0},
        {"C12", s("零钱"), s("round(C10-C11, 2)"), 0},
        {"C13", QString(), QString(), 0},
        {"C14", QString(), QString(), 0},
        {"C15", QString(), QString(), 0},
        {"T01", s("备注"), QString(), 16},
        {"T02", s("签收"), s("本人已核对无误"), 0},
        {"T03", s("说明"), QStringLiteral("%1年%2月计件按当月工价计算").arg(month.year()).arg(month.month()),
         0},
        {"T04", QString(), QString(), 0},
        {"T05", QString(), QString(), 0},
    };
}

void Generator::writeSalaryItems(hx::Connection& cn) {
    hx::Transaction tx(cn);
    // The staff register names a fixed item in every month at once, the base item month included.
    Prepared name(
        cn, QStringLiteral("update salary set ItemName=?, expression=?, printWidth=? where ItemCode=?"));
    const QString marker = QStringLiteral("*********系统提供*********");
    const std::array<std::pair<const char*, const char*>, 4> fixedNames = {
        {{"A03", "工龄工资"}, {"A04", "住房补贴"}, {"A05", "伙食补贴"}, {"A06", "交通补贴"}}};
    for (const auto& [code, itemName] : fixedNames)
        name.run({QString::fromUtf8(itemName), marker, 10, QString::fromLatin1(code)});

    Prepared copy(
        cn, QStringLiteral("insert into salary (year, month, ItemCode, ItemName, expression, printWidth) "
                           "select ?, ?, ItemCode, ItemName, expression, printWidth from salary "
                           "where year=? and month=?"));
    Prepared edit(cn, QStringLiteral("update salary set ItemName=?, expression=?, printWidth=? "
                                     "where year=? and month=? and ItemCode=?"));
    for (int m = 0; m < o.months; ++m) {
        const QDate month = QDate(o.startYear, o.startMonth, 1).addMonths(m);
        copy.run({month.year(), month.month(), 2003, 11});
        for (const Item& item : monthItems(month)) {
            const bool named = !item.name.isEmpty();
            // A text item's default may be the empty text; an unnamed item has no formula at all.
            const QVariant expression =
                named ? QVariant(item.expression.isNull() ? QStringLiteral("") : item.expression)
                      : QVariant();
            edit.run({named ? QVariant(item.name) : QVariant(), expression, named ? item.width : 0,
                      month.year(), month.month(), QString::fromLatin1(item.code)});
        }
    }
    tx.commit();
}

GeneratorResult Generator::write(hx::Connection& cn) {
    planCalendar();
    planWorkers();
    planProcesses();
    insertWorkers(cn);
    insertProcesses(cn);
    GeneratorResult result;
    result.records = insertRecords(cn);
    writeSalaryItems(cn);
    result.workers = int(workers.size());
    result.processes = int(processes.size());
    for (const Worker& w : workers) result.dismissed += w.dismissed ? 1 : 0;
    for (const Process& p : processes) result.finished += p.finished ? 1 : 0;
    result.salaryMonths = o.months;
    return result;
}

}  // namespace

QStringList presetNames() {
    return {QStringLiteral("small"), QStringLiteral("year"), QStringLiteral("wide"),
            QStringLiteral("history")};
}

bool presetOptions(const QString& name, GeneratorOptions* options) {
    if (name == QLatin1String("small")) {
        options->workers = 60;
        options->processes = 120;
        options->months = 3;
    } else if (name == QLatin1String("year")) {
        options->workers = 1000;
        options->processes = 800;
        options->months = 12;
    } else if (name == QLatin1String("wide")) {
        options->workers = 5000;
        options->processes = 2000;
        options->months = 1;
    } else if (name == QLatin1String("history")) {
        // Five years of the year preset's factory, ending with the same year: as many processes a year,
        // about 17 M piece-work records.
        options->workers = 1000;
        options->processes = 4000;
        options->months = 60;
        options->startYear = 2021;
        options->startMonth = 1;
    } else {
        return false;
    }
    return true;
}

GeneratorResult generateAccountSet(const QString& path, const GeneratorOptions& options) {
    validate(options);
    QElapsedTimer timer;
    timer.start();
    if (QFileInfo::exists(path))
        throw hx::FileError(QStringLiteral("文件“%1”已经存在，不能覆盖。").arg(path));

    // Written under another name and renamed when complete, so that an interrupted run never leaves
    // something that looks like an account set.
    const QString part = path + QStringLiteral(".generating");
    QFile::remove(part);
    GeneratorResult result;
    try {
        if (options.templatePath.isEmpty()) {
            hx::createAccountSetTemplate(part);
        } else {
            if (!QFile::copy(options.templatePath, part))
                throw hx::FileError(QStringLiteral("无法复制模板“%1”。").arg(options.templatePath));
            QFile::setPermissions(part,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        hx::Connection cn;
        cn.open(part);
        for (const char* table : {"staff", "job", "JobData", "salaryData"}) {
            if (cn.scalar(QStringLiteral("select count(*) from ") + QLatin1String(table)).toLongLong() != 0)
                throw hx::Error(QStringLiteral("the template is not empty"));
        }
        // Bulk writing: the file is not yet in use, and a failed run is thrown away whole.
        cn.execScript(
            QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-131072; "
                           "PRAGMA temp_store=MEMORY;"));
        Generator generator(options);
        result = generator.write(cn);
        cn.execScript(QStringLiteral("PRAGMA journal_mode=DELETE;"));
        cn.close();
        if (!QFile::rename(part, path)) throw hx::FileError(QStringLiteral("无法创建文件“%1”。").arg(path));
    } catch (...) {
        QFile::remove(part);
        throw;
    }
    result.seconds = timer.nsecsElapsed() / 1e9;
    return result;
}

}  // namespace hxbench
