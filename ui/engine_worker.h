// The engine on a worker thread: the calls of one command, one after the
// other, on the window's run context, which the window leaves alone until
// the run has ended. The report's lines and the progress reach the window
// as queued signals; a disk prompt's questions are asked on the window's
// thread while the worker waits for the answer; a cancel stops the run at
// the engine's next safe point.
#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <string>
#include <vector>

#include "engine/run_context.h"
#include "ui/layout_view.h"

class EngineWorker : public QThread {
    Q_OBJECT
public:
    // Binds the run context's log, progress and cancel to this worker; the
    // disk prompt is the window's (ui/window_prompt.h).
    EngineWorker(RunContext* run, OutputLog* log, QObject* parent = nullptr);
    // A run still going is cancelled, its question answered with Cancel,
    // and waited for.
    ~EngineWorker() override;

    // Starts the engine calls (argument vectors, the command name first).
    // False, and nothing started, while a run goes.
    bool start_calls(const std::vector<std::vector<std::string>>& calls);
    // Asks the run to stop at its next safe point; any thread.
    void cancel();
    bool cancel_requested() const { return cancelled_.load(); }

    // The worker's side of a disk prompt: shows `text` on the window's
    // thread (with OK and Cancel when `with_cancel`, else OK alone) and
    // waits for the answer; false for Cancel, and at once when the run is
    // being abandoned.
    bool ask_window(const QString& text, bool with_cancel);
    // The window's answer to the question the worker waits on.
    void answer(bool ok);

    // Told by the progress callbacks, on the worker thread.
    void report_progress(uint32_t bytes, bool compressing);

    // Once the run has finished: whether every engine call returned 0, the
    // layouts it assigned and their medium.
    bool succeeded() const { return succeeded_; }
    const std::vector<ProductLayout>& layouts() const { return layouts_; }
    LayoutMedium medium() const { return medium_; }

signals:
    // A line of the report, line feeds only.
    void line(const QString& text);
    // The file being compressed or written, and how far it is (kilobytes).
    void progress(const QString& text, int value, int maximum);
    // A question of a disk prompt for the window to show; answer() replies.
    void question(const QString& text, bool with_cancel);

protected:
    void run() override;

private:
    RunContext* run_;
    std::vector<std::vector<std::string>> calls_;
    std::atomic<bool> cancelled_{false};
    bool succeeded_ = true;
    std::vector<ProductLayout> layouts_;
    LayoutMedium medium_;
    // The question pending, guarded by mutex_.
    QMutex mutex_;
    QWaitCondition answered_;
    bool waiting_ = false;
    bool answer_ = false;
    bool abandoned_ = false;
    // The progress shown last.
    std::string progress_key_;
    uint64_t progress_done_ = 0;
    QString progress_text_;
    int progress_value_ = -1;
    int progress_maximum_ = -1;
};
