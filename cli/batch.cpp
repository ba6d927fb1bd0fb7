#include "batch.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace vellora::cli {

namespace {

std::atomic<bool> gStop{false};

using Clock = std::chrono::steady_clock;

struct Finished {
    size_t task;
    Outcome outcome;
};

bool stderrIsTerminal() {
    if (!::isatty(STDERR_FILENO)) return false;
    const char *term = std::getenv("TERM");
    return !(term && std::strcmp(term, "dumb") == 0);
}

int terminalColumns() {
    struct winsize ws;
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) return ws.ws_col;
    return 80;
}

std::string clockText(double seconds) {
    const long s = long(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

class Reporter {
public:
    Reporter(size_t total, bool quiet)
        : total_(total), single_(total == 1), tty_(stderrIsTerminal()), quiet_(quiet),
          start_(Clock::now()) {}

    void file(const Task &task, const Outcome &o, const Summary &s) {
        Task t = task;
        if (t.input == "-") t.input = "standard input";
        const bool printed = o.kind == Outcome::Failed || (o.kind == Outcome::Skipped && single_) ||
                             !o.notice.empty();
        if (printed) clearBar();
        // Even --quiet keeps these: the picture is not what was asked for.
        if (!o.notice.empty())
            std::fprintf(stderr, "vellora: %s: %s\n", t.input.c_str(), o.notice.c_str());
        switch (o.kind) {
        case Outcome::Failed:
            std::fprintf(stderr, "vellora: %s: %s\n", t.input.c_str(), o.reason.c_str());
            break;
        case Outcome::Skipped:
            if (single_ || (!tty_ && !quiet_))
                std::fprintf(stderr, "vellora: %s: skipped: %s\n", t.input.c_str(),
                             o.reason.c_str());
            break;
        case Outcome::Rendered:
            if (!single_ && !tty_ && !quiet_)
                std::fprintf(stderr, "vellora: %s -> %s (%d x %d)\n", t.input.c_str(), t.output.c_str(),
                             o.width, o.height);
            break;
        }
        bar(s, printed);
    }

    // Redraws at most ten times a second, unless `now`.
    void bar(const Summary &s, bool now = false) {
        if (single_ || !tty_ || quiet_) return;
        const Clock::time_point t = Clock::now();
        if (shown_ && !now && t - drawn_ < std::chrono::milliseconds(100)) return;
        drawn_ = t;
        const size_t done = s.rendered + s.failed + s.skipped;
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        std::string tail = " " + std::to_string(done) + "/" + std::to_string(total_);
        if (s.failed) tail += "  " + std::to_string(s.failed) + " failed";
        if (done > 0 && done < total_)
            tail += "  " + clockText(elapsed / double(done) * double(total_ - done)) + " left";
        const int cols = terminalColumns();
        const int width = std::max(10, std::min(40, cols - int(tail.size()) - 3));
        const int filled = int(double(width) * double(done) / double(total_));
        std::string line = "[";
        line.append(size_t(filled), '#');
        line.append(size_t(width - filled), '.');
        line += "]" + tail;
        if (int(line.size()) >= cols) line.resize(size_t(cols - 1));
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
        shown_ = true;
    }

    void summary(const Summary &s) {
        clearBar();
        if (single_ || quiet_) return;
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        std::fprintf(stderr, "vellora: rendered %zu, failed %zu, skipped %zu", s.rendered, s.failed,
                     s.skipped);
        if (s.notStarted) std::fprintf(stderr, ", interrupted before %zu", s.notStarted);
        std::fprintf(stderr, " (%.1f s)\n", elapsed);
    }

private:
    void clearBar() {
        if (shown_) std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

    size_t total_;
    bool single_, tty_, quiet_;
    bool shown_ = false;
    Clock::time_point start_, drawn_;
};

// One worker's second thread: it encodes and writes the picture the worker
// drew last while the worker draws the next one. The two take turns with two
// pictures' memory, which the batch reuses from file to file.
class Writer {
public:
    using Done = std::function<void(Finished)>;
    explicit Writer(Done done) : done_(std::move(done)) {}
    ~Writer() { stop(); }

    // False when no thread could be started: the worker then writes itself.
    bool start() {
        try {
            thread_ = std::thread([this] { run(); });
            return true;
        } catch (const std::system_error &) {
            return false;
        }
    }

    // The picture to draw into next: one the writer is not busy with.
    DrawnPicture *free() { return &slots_[next_]; }

    // Hands over a finished task, written first when its picture is pending.
    // Waits while the writer still writes the one before, so that reports
    // keep the order the files were drawn in.
    void hand(size_t task, Outcome outcome) {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [this] { return !job_; });
        job_ = Job{task, std::move(outcome), &slots_[next_]};
        next_ = 1 - next_;
        wake_.notify_one();
    }

    // Waits for the last picture to be written, then ends the thread.
    void stop() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
            wake_.notify_one();
        }
        thread_.join();
    }

private:
    struct Job {
        size_t task;
        Outcome outcome;
        DrawnPicture *picture;
    };

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return job_ || closing_; });
            if (!job_) return;
            Job job = std::move(*job_);
            lock.unlock();
            if (job.picture->pending) {
                try {
                    writeDrawn(*job.picture, &job.outcome);
                } catch (const std::exception &e) {
                    job.outcome = Outcome{Outcome::Failed, std::string("out of memory: ") + e.what(), {}};
                }
                // A batch keeps the memory of pictures up to 16 M pixels, and
                // clears all of it here, off the thread that draws: the next
                // picture, larger or smaller, finds it zero.
                std::vector<uint32_t> &pixels = job.picture->pixels;
                if (pixels.capacity() > (size_t(16) << 20))
                    std::vector<uint32_t>().swap(pixels);
                std::fill(pixels.begin(), pixels.end(), 0u);
                pixels.resize(pixels.capacity());
                job.picture->cleared = true;
            }
            done_(Finished{job.task, std::move(job.outcome)});
            lock.lock();
            job_.reset();
            idle_.notify_one();
        }
    }

    Done done_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::optional<Job> job_;
    bool closing_ = false;
    DrawnPicture slots_[2];
    int next_ = 0;
};

}  // namespace

void requestStop() { gStop.store(true); }

Summary runBatch(const std::vector<Task> &tasks, const RenderOptions &options,
                 const std::set<FileId> &inputs, unsigned jobs, bool quiet) {
    Summary summary;
    Reporter reporter(tasks.size(), quiet);
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Finished> finished;
    std::atomic<size_t> next{0};
    size_t running = 0;

    auto report = [&](Finished f) {
        std::lock_guard<std::mutex> lock(mutex);
        finished.push_back(std::move(f));
        wake.notify_one();
    };
    // Each worker draws its files one after another; with more than one file
    // a second thread writes each PNG while the worker draws the next file,
    // and the file after it is read, checked and converted on a thread of
    // its own meanwhile.
    const auto prepare = [&](size_t i) -> Prepared {
        if (!tasks[i].failure.empty()) return nullptr;
        return prepareFile(tasks[i].input, tasks[i].output, options, inputs);
    };
    const auto ahead = [&](size_t i) -> std::future<Prepared> {
        if (tasks.size() < 2 || i >= tasks.size()) return {};
        try {
            return std::async(std::launch::async, prepare, i);
        } catch (const std::system_error &) {
            return {};  // no thread: the worker reads it itself
        }
    };
    auto worker = [&]() {
        std::optional<Writer> writer;
        if (tasks.size() > 1) {
            writer.emplace(report);
            if (!writer->start()) writer.reset();
        }
        size_t i = next.fetch_add(1);
        std::future<Prepared> pending = ahead(i);
        for (;;) {
            // An interrupt leaves the file read ahead undrawn.
            if (i >= tasks.size() || gStop.load()) break;
            Finished f{i, {}};
            Prepared p;
            std::string error;
            try {
                p = pending.valid() ? pending.get() : prepare(i);
            } catch (const std::exception &e) {
                error = std::string("out of memory: ") + e.what();
            }
            const size_t following = next.fetch_add(1);
            pending = ahead(following);
            DrawnPicture *later = writer ? writer->free() : nullptr;
            if (later) later->pending = false;
            if (!error.empty()) {
                f.outcome.reason = error;
            } else if (!p) {
                f.outcome.reason = tasks[i].failure;
            } else {
                try {
                    f.outcome = drawPrepared(*p, options, later);
                } catch (const std::exception &e) {
                    if (later) later->pending = false;
                    f.outcome = Outcome{Outcome::Failed, std::string("out of memory: ") + e.what(), {}};
                }
            }
            p.reset();
            if (writer)
                writer->hand(f.task, std::move(f.outcome));
            else
                report(std::move(f));
            i = following;
        }
        if (writer) writer->stop();
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        wake.notify_one();
    };

    jobs = std::max(1u, std::min<unsigned>(jobs, unsigned(std::min<size_t>(tasks.size(), 4096))));
    std::vector<std::thread> threads;
    running = jobs;
    for (unsigned j = 0; j < jobs; ++j) threads.emplace_back(worker);

    reporter.bar(summary);
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait_for(lock, std::chrono::milliseconds(250),
                      [&] { return !finished.empty() || running == 0; });
        std::deque<Finished> batch;
        batch.swap(finished);
        const bool over = running == 0;
        lock.unlock();
        for (const Finished &f : batch) {
            switch (f.outcome.kind) {
            case Outcome::Rendered: ++summary.rendered; break;
            case Outcome::Failed: ++summary.failed; break;
            case Outcome::Skipped: ++summary.skipped; break;
            }
            reporter.file(tasks[f.task], f.outcome, summary);
        }
        if (batch.empty()) reporter.bar(summary);  // keeps the estimate moving
        lock.lock();
        if (over && finished.empty()) break;
    }
    lock.unlock();
    for (std::thread &t : threads) t.join();
    summary.notStarted = tasks.size() - summary.rendered - summary.failed - summary.skipped;
    reporter.summary(summary);
    return summary;
}

}  // namespace vellora::cli
