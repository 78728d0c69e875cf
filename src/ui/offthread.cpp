#include "ui/offthread.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <type_traits>

namespace velquin {

namespace {

// Held by the run under way; the other window's run waits for it, as two runs writing into
// one output folder at once could each find a name free and take it.
std::mutex& turn() {
    static std::mutex m;
    return m;
}

const QString kWaiting = QStringLiteral("正在等待另一个窗口的分拣结束");

// What the work reads of the window without asking it each time.
struct Options {
    ClashPolicy clash = ClashPolicy::Skip;
    TransferMode mode = TransferMode::Copy;
    TypeFilter filter;
    QStringList pictures;
    bool stop = false;
};

template <class Base> class Relay : public Base {
public:
    // Made on the window's thread: what stays the same through the work is asked once here.
    explicit Relay(Base& window)
        : window_(window), keeper_(window.replaceKeeper()), journalPath_(window.journalPath()) {
        refresh();
    }

    // On the window's thread: the options and the stop as its controls stand now.
    void refresh() {
        Options now;
        now.clash = window_.clashPolicy();
        if constexpr (std::is_same_v<Base, FileRunHost>) {
            now.mode = window_.transferMode();
            now.filter = window_.typeFilter();
            now.pictures = window_.pictureTypes();
        }
        now.stop = window_.stopRequested();
        const std::lock_guard lock(mutex_);
        options_ = std::move(now);
    }

    // Runs `f` on the window's thread and waits for its answer.
    template <class F> auto onWindow(F f) {
        using R = std::invoke_result_t<F>;
        if constexpr (std::is_void_v<R>) {
            QMetaObject::invokeMethod(
                qApp,
                [&] {
                    f();
                    refresh();
                },
                Qt::BlockingQueuedConnection);
        } else {
            R result{};
            QMetaObject::invokeMethod(
                qApp,
                [&] {
                    result = f();
                    refresh();
                },
                Qt::BlockingQueuedConnection);
            return result;
        }
    }

    // Runs `f` on the window's thread later, in the order posted.
    template <class F> void post(F f) { QMetaObject::invokeMethod(qApp, std::move(f), Qt::QueuedConnection); }

    QString outputFolderText() override {
        return onWindow([this] { return window_.outputFolderText(); });
    }
    void setOutputFolderText(const QString& text) override {
        onWindow([&] { window_.setOutputFolderText(text); });
    }
    void information(const QString& text) override {
        onWindow([&] { window_.information(text); });
    }
    void focusField(FocusTarget target) override {
        onWindow([&] { window_.focusField(target); });
    }
    void chooseOutputFolder() override {
        onWindow([&] { window_.chooseOutputFolder(); });
    }
    void setLocked(bool locked) override {
        onWindow([&] { window_.setLocked(locked); });
    }
    bool askOverwrite(const QString& target) override {
        return onWindow([&] { return window_.askOverwrite(target); });
    }
    bool askReplaceUnkept(const QString& reason) override {
        return onWindow([&] { return window_.askReplaceUnkept(reason); });
    }
    void closingMessage(const QString& text, const QString& line, const QString& details) override {
        onWindow([&] { window_.closingMessage(text, line, details); });
    }
    ReplaceKeeper* replaceKeeper() override { return keeper_; }
    QString journalPath() override { return journalPath_; }

    // Only a value the bar does not show yet is posted: a run over many small files asks for
    // the same value thousands of times, and each post would wake the window.
    void setProgress(int position) override {
        if (position == bar_)
            return;
        bar_ = position;
        post([this, position] { window_.setProgress(position); });
    }
    void partialProgress(int position) override {
        if (position < 0 || position == bar_)
            return;
        bar_ = position;
        post([this, position] { window_.partialProgress(position); });
    }
    void progressText(const QString& text) override {
        post([this, text] { window_.progressText(text); });
    }

    ClashPolicy clashPolicy() override { return options().clash; }
    bool stopRequested() override { return options().stop; }

protected:
    Options options() {
        const std::lock_guard lock(mutex_);
        return options_;
    }

private:
    Base& window_;
    ReplaceKeeper* const keeper_;
    const QString journalPath_;
    int bar_ = -1; // the value last posted to the bar, on the worker's side
    std::mutex mutex_;
    Options options_;
};

class FileRelay final : public Relay<FileRunHost> {
public:
    using Relay::Relay;
    TransferMode transferMode() override { return options().mode; }
    TypeFilter typeFilter() override { return options().filter; }
    QStringList pictureTypes() override { return options().pictures; }
};

// Swallows the mouse and key input of one window (and a close, which waits like the input).
class InputHold : public QObject {
public:
    explicit InputHold(QWidget* window) : window_(window) {
        if (window_)
            qApp->installEventFilter(this);
    }
    ~InputHold() override {
        if (window_)
            qApp->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::Close:
            break;
        default:
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != window_)
            return false;
        event->ignore();
        return true;
    }

private:
    QPointer<QWidget> window_;
};

template <class R, class Base>
void runWithRelay(Base& host, const std::function<void(Base&)>& work, QWidget* holdInput) {
    const InputHold hold(holdInput);
    R relay(host);
    runAway(
        [&] {
            std::unique_lock lock(turn(), std::try_to_lock);
            const bool waited = !lock.owns_lock();
            if (waited) {
                relay.progressText(kWaiting);
                lock.lock();
            }
            work(relay);
            if (waited)
                relay.progressText(QString());
        },
        [&] { relay.refresh(); });
}

} // namespace

void runAway(const std::function<void()>& work, const std::function<void()>& afterEvents) {
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Last in the queue: everything the work posted before it has reached the window.
        QMetaObject::invokeMethod(
            qApp, [&done] { done = true; }, Qt::QueuedConnection);
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (afterEvents)
            afterEvents();
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

void onWindowThread(const std::function<void()>& f) {
    QMetaObject::invokeMethod(qApp, f, Qt::BlockingQueuedConnection);
}

void runOffThread(RunHost& host, const std::function<void(RunHost&)>& work, QWidget* holdInput) {
    runWithRelay<Relay<RunHost>, RunHost>(host, work, holdInput);
}

void runOffThread(FileRunHost& host, const std::function<void(FileRunHost&)>& work, QWidget* holdInput) {
    runWithRelay<FileRelay, FileRunHost>(host, work, holdInput);
}

} // namespace velquin
