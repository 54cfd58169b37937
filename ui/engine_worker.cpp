// The engine's worker thread.
#include "ui/engine_worker.h"

#include <algorithm>

#include "engine/engine_main.h"
#include "ui/window_prompt.h"

namespace {

EngineWorker* worker_of(void* user) {
    RunContext* run = static_cast<RunContext*>(user);
    PromptUser* bound = run ? static_cast<PromptUser*>(run->front_end.disk_prompt_user) : nullptr;
    return bound ? bound->worker : nullptr;
}

void disk_progress(void* user, uint32_t bytes) {
    if (EngineWorker* worker = worker_of(user)) worker->report_progress(bytes, false);
}

void compress_progress(void* user, uint32_t bytes) {
    if (EngineWorker* worker = worker_of(user)) worker->report_progress(bytes, true);
}

ResultCode cancel_asked(void* user) {
    EngineWorker* worker = worker_of(user);
    return worker && worker->cancel_requested() ? RC_USER_CANCELLED : RC_OK;
}

// A line of the report as the pane shows it: the engine ends its lines
// with CR LF; its bytes are host paths and texts in UTF-8.
QString pane_text(const std::string& line) {
    std::string text;
    text.reserve(line.size());
    for (char c : line)
        if (c != '\r') text += c;
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

EngineWorker::EngineWorker(RunContext* run, OutputLog* log, QObject* parent)
    : QThread(parent), run_(run) {
    log->publish = [this](const std::string& text) { emit line(pane_text(text)); };
    run->front_end.disk_progress = disk_progress;
    run->front_end.compress_progress = compress_progress;
    run->front_end.cancel = cancel_asked;
    // As many jobs as the machine runs threads at once: the scan asks a slow
    // file server for several entries' status together.
    run->front_end.jobs = unsigned(std::max(1, QThread::idealThreadCount()));
}

EngineWorker::~EngineWorker() {
    cancel();
    {
        QMutexLocker lock(&mutex_);
        abandoned_ = true;
        answered_.wakeAll();
    }
    wait();
}

bool EngineWorker::start_calls(const std::vector<std::vector<std::string>>& calls) {
    if (isRunning()) return false;
    calls_ = calls;
    cancelled_ = false;
    succeeded_ = true;
    layouts_.clear();
    progress_key_.clear();
    progress_value_ = progress_maximum_ = -1;
    start();
    return true;
}

void EngineWorker::cancel() {
    cancelled_ = true;
}

void EngineWorker::run() {
    for (const std::vector<std::string>& call : calls_) {
        std::vector<const char*> argv;
        for (const std::string& word : call) argv.push_back(word.c_str());
        ResultCode code = engine_main(run_, int(argv.size()), argv.data());
        if (code != RC_OK) succeeded_ = false;
        layouts_.insert(layouts_.end(), run_->layouts.begin(), run_->layouts.end());
        const RunOptions& options = run_->options;
        medium_ = LayoutMedium{options.media_capacity, options.cluster_size, options.slop};
        // A cancelled call has told so; one that ended before the cancel
        // came is followed by the next, which tells it at its first check.
        if (code == RC_USER_CANCELLED && cancel_requested()) break;
    }
}

bool EngineWorker::ask_window(const QString& text, bool with_cancel) {
    QMutexLocker lock(&mutex_);
    if (abandoned_) return false;
    waiting_ = true;
    emit question(text, with_cancel);
    while (waiting_ && !abandoned_) answered_.wait(&mutex_);
    bool ok = !waiting_ && answer_;
    waiting_ = false;
    return ok;
}

void EngineWorker::answer(bool ok) {
    QMutexLocker lock(&mutex_);
    if (!waiting_) return;
    answer_ = ok;
    waiting_ = false;
    answered_.wakeAll();
}

void EngineWorker::report_progress(uint32_t bytes, bool compressing) {
    const std::string& file = compressing ? run_->compressing : run_->disk_writing;
    uint64_t total = 0;
    if (compressing) {
        total = run_->compressing_size;
    } else if (!run_->layouts.empty()) {
        for (const LayoutDisk& disk : run_->layouts.back().disks) total += disk.bytes_used;
    }
    // A compression counts one file; the writing of disks counts the set.
    std::string key =
        compressing ? "c:" + file
                    : "w:" + (run_->layouts.empty() ? std::string() : run_->layouts.back().product);
    if (key != progress_key_) {
        progress_key_ = key;
        progress_done_ = 0;
    }
    progress_done_ += bytes;
    int maximum = int(std::max<uint64_t>(total / 1024, 1));
    int value = int(std::min<uint64_t>(progress_done_ / 1024, uint64_t(maximum)));
    QString name = QString::fromUtf8(file.data(), qsizetype(file.size()));
    QString text = compressing ? tr("Compressing %1").arg(name) : tr("Writing %1").arg(name);
    if (text == progress_text_ && value == progress_value_ && maximum == progress_maximum_) return;
    progress_text_ = text;
    progress_value_ = value;
    progress_maximum_ = maximum;
    emit progress(text, value, maximum);
}
