#pragma once

#include "engine/runactions.h"
#include "engine/types.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace velquin {

class RunHost;

// The highest last position of a name range.
inline constexpr int kRangeEndCap = 254;

// How a run ended.
enum class RunEnd { CheckFailed, Completed, Stopped };

// What the file run and the folder run have in common: the checks both make, the lock held on
// every way out, the loop with its progress steps and its dropped items, stop, the tally of what
// failed and the closing box. Each run keeps its own checks and its rule for one item.
class RunFrame {
public:
    explicit RunFrame(RunHost& host) : host_(host) {}

    // A failed check: the message in the information box, then the focus on `focus`; false.
    bool fail(const QString& message, FocusTarget focus = FocusTarget::None);
    // The output field: blank shows "请选择分拣结果输出目录！" and opens the chooser (nullopt);
    // otherwise the separator is appended in the field when it lacks one, and that is the folder.
    std::optional<QString> checkOutputFolder();
    // The keyword field: blank shows "请输入匹配关键字!" with the focus on EdtKeys (false);
    // otherwise `keywords` is the list built from the text as typed.
    bool checkKeywords(const QString& keysText, QStringList& keywords);
    // Both range fields must be integers ("请输入整数序号!" and the focus on the field at fault);
    // a reversed range is exchanged and its end held at kRangeEndCap.
    bool checkNameRange(const QString& beginText, const QString& endText, int& begin, int& end);

    // What one item asks of the loop: its progress step, or none (a dropped item).
    enum class Step { Progress, NoProgress };
    // Locks the window, runs `item` for index 0 to count - 1 with the bar at index × 100 / count
    // after each item that asks for it, ends after the item in flight when the user stops,
    // unlocks, and closes with "分拣工作完成！" or "分拣已停止！", how far a stopped run got and
    // what failed.
    RunEnd run(qsizetype count, DiskActions& actions, const std::function<Step(qsizetype)>& item);

private:
    RunHost& host_;
};

// What each run has of its own: its checks, what it makes before the loop, and its rule for
// one listed item, every transfer going through the actions it is given (the disk or a preview).
class SortRun {
public:
    virtual ~SortRun();
    // The start button's checks with their messages and focus; true when they all passed.
    virtual bool check() = 0;
    // What the run makes once its checks have passed, before the loop.
    virtual void prepare(RunActions& actions) = 0;
    virtual qsizetype itemCount() const = 0;
    virtual RunFrame::Step sortOne(RunActions& actions, qsizetype index) = 0;

    // The start button: the checks, the preparation, then the frame's loop on the disk.
    RunEnd start(RunHost& host, const FileOps& fs);
    // Every item through `actions`, until they say stop.
    void sortAll(RunActions& actions);
};

// The closing box's line for `count` failed transfers: "有 N 个项目未能分拣。".
QString failureLine(qsizetype count);
// The closing box's line for a stopped run, above the failure line: how many of the `count`
// listed items had their whole turn before the stop (one the stop cut short is not among them,
// a failed one is): "已分拣 N 个，共 M 个。".
QString stoppedLine(qsizetype sorted, qsizetype count);
// The closing box's line for a run whose journal misses transfers (or that has none at all):
// "撤销记录不完整，此次分拣无法完全撤销。", under the failure line.
QString journalLostLine();
// One line per failure: source, target, reason.
QString failureDetails(const QList<RunFailure>& failures);

// The name of a date folder: the short date; with `replaceSeparators`, every "/" and then every
// "\" replaced by "-", so that the date names one folder instead of nesting several.
QString dateFolderName(const QDate& date, bool replaceSeparators);

} // namespace velquin
