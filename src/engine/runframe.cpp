#include "engine/runframe.h"

#include "engine/rules.h"
#include "engine/runhost.h"
#include "platform/localdate.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace velquin {

namespace {

// Unlocks the window on every way out of the loop, an exception included.
class LockGuard {
public:
    explicit LockGuard(RunHost& host) : host_(host) { host_.setLocked(true); }
    ~LockGuard() { unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    void unlock() {
        if (locked_) {
            locked_ = false;
            host_.setLocked(false);
        }
    }

private:
    RunHost& host_;
    bool locked_ = true;
};

} // namespace

std::optional<QString> RunFrame::checkOutputFolder() {
    QString output = host_.outputFolderText();
    if (trimBlanks(output).isEmpty()) {
        host_.information(QStringLiteral("请选择分拣结果输出目录！"));
        host_.chooseOutputFolder();
        return std::nullopt;
    }
    // The field keeps the separator even when a later check fails.
    if (!endsWithSeparator(output)) {
        output += pathSeparator();
        host_.setOutputFolderText(output);
    }
    return output;
}

bool RunFrame::checkKeywords(const QString& keysText, QStringList& keywords) {
    if (trimBlanks(keysText).isEmpty())
        return fail(QStringLiteral("请输入匹配关键字!"), FocusTarget::EdtKeys);
    keywords = buildKeywordList(keysText);
    return true;
}

bool RunFrame::fail(const QString& message, FocusTarget focus) {
    host_.information(message);
    if (focus != FocusTarget::None)
        host_.focusField(focus);
    return false;
}

bool RunFrame::checkNameRange(const QString& beginText, const QString& endText, int& begin, int& end) {
    const QString message = QStringLiteral("请输入整数序号!");
    const std::optional<qint32> first = parseInt32(beginText);
    if (!first)
        return fail(message, FocusTarget::EdtPartNameBegin);
    const std::optional<qint32> last = parseInt32(endText);
    if (!last)
        return fail(message, FocusTarget::EdtPartNameEnd);
    begin = *first;
    end = *last;
    if (end < begin)
        std::swap(begin, end);
    end = qMin(end, kRangeEndCap);
    return true;
}

RunEnd RunFrame::run(qsizetype count, DiskActions& actions, const std::function<Step(qsizetype)>& item) {
    bool stopped = false;
    qsizetype sorted = 0;
    {
        LockGuard lock(host_);
        for (qsizetype i = 0; i < count; ++i) {
            if (host_.stopRequested()) {
                stopped = true;
                break;
            }
            actions.itemStarted(i, count);
            sorted = i + 1;
            if (item(i) == Step::Progress)
                host_.setProgress(int(qint64(i) * 100 / qint64(count)));
        }
        // A stop asked for during the last item may have cut that item short; it is not counted
        // among those sorted.
        stopped = stopped || actions.sawStop();
        if (actions.sawStop())
            sorted = qMax<qsizetype>(0, sorted - 1);
        host_.setProgress(100);
        host_.progressText(QString());
    }
    const bool journalLost = actions.finishJournal();
    const QList<RunFailure>& failures = actions.failures();
    QStringList lines;
    if (stopped)
        lines.append(stoppedLine(sorted, count));
    if (!failures.isEmpty())
        lines.append(failureLine(failures.size()));
    if (journalLost)
        lines.append(journalLostLine());
    host_.closingMessage(stopped ? QStringLiteral("分拣已停止！") : QStringLiteral("分拣工作完成！"),
                         lines.join(QLatin1Char('\n')), failureDetails(failures));
    host_.setProgress(0);
    return stopped ? RunEnd::Stopped : RunEnd::Completed;
}

SortRun::~SortRun() = default;

RunEnd SortRun::start(RunHost& host, const FileOps& fs) {
    if (!check())
        return RunEnd::CheckFailed;
    DiskActions actions(fs, host);
    prepare(actions);
    return RunFrame(host).run(itemCount(), actions, [&](qsizetype i) { return sortOne(actions, i); });
}

void SortRun::sortAll(RunActions& actions) {
    const qsizetype count = itemCount();
    for (qsizetype i = 0; i < count && !actions.stopping(); ++i) {
        actions.itemStarted(i, count);
        sortOne(actions, i);
    }
}

QString failureLine(qsizetype count) {
    return QStringLiteral("有 %1 个项目未能分拣。").arg(count);
}

QString stoppedLine(qsizetype sorted, qsizetype count) {
    return QStringLiteral("已分拣 %1 个，共 %2 个。").arg(sorted).arg(count);
}

QString journalLostLine() {
    return QStringLiteral("撤销记录不完整，此次分拣无法完全撤销。");
}

QString failureDetails(const QList<RunFailure>& failures) {
    QStringList lines;
    lines.reserve(failures.size());
    for (const RunFailure& f : failures)
        lines.append(f.source + QStringLiteral(" → ") + f.target + QStringLiteral("：") + f.reason);
    return lines.join(QLatin1Char('\n'));
}

QString dateFolderName(const QDate& date, bool replaceSeparators) {
    QString name = shortDateText(date);
    if (replaceSeparators) {
        name.replace(QLatin1Char('/'), QLatin1Char('-'));
        name.replace(QLatin1Char('\\'), QLatin1Char('-'));
    }
    return name;
}

} // namespace velquin
