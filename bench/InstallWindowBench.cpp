// How the real window keeps drawing, and how much memory the program holds, while it installs
// several large packages at once. Opens the program's window in this process (as the
// application tests do), loads the catalogue from the local HTTPS maker service, clicks
// "Install / Update All" through the window's peer, and while the jobs run records:
//
// - every paint of the product list, through a transparent child that covers the list and so
//   is painted right after it each time the list is (the product code is not changed): the
//   gaps between these frames while the spinners run are what a user sees as stutter;
// - the message thread's responsiveness: a thread posts a message every 5 ms with the time it
//   was posted, and the message thread notes how late it ran;
// - the process's resident memory: VmRSS every 10 ms, and VmHWM before and after;
// - how much the message thread ran and how long it waited for a processor (schedstat);
// - how long each completion took on the message thread, and the fsync() calls in it.
//
// Before the installs, the same figures for ten seconds of the spinners alone (every row shows
// an activity but no job runs): on a shared machine, that is what its other load does.
//
//   InstallWindowBench CATALOGUE_URL PRODUCTS [WORKER_NICE]
//
// CATALOGUE_URL: the release catalogue on the service; PRODUCTS: how many products it lists,
// all to be installed. WORKER_NICE: a nice value given to the worker pool's threads before the
// installs start (default 0, as the program runs them), to see what a lower processor
// priority for the jobs does to the frames. Run it under tests/service/with_service and a
// display (bench/measure_install_window does both, and makes the packages). Prints one
// "name: values" line per figure, then the longest gaps with the steps the rows changed to
// around them. Exit status 0 when every product was installed.

#include "MainWindow.h"
#include "ProductList.h"
#include "WindowBenchSupport.h"
#include "WindowCatalogue.h"
#include "ZorvaManagerComponent.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The time the message thread spends in fsync(): the library is linked statically into this
// program, so its calls reach this definition, which times the system's own and hands on.
namespace fsyncWatch
{
std::atomic<bool> watching { false };
std::thread::id messageThread;
std::vector<double> messageThreadCalls; // ms; written on the message thread only
} // namespace fsyncWatch

extern "C" int fsync (int descriptor)
{
    using Fsync = int (*) (int);
    static const auto system = reinterpret_cast<Fsync> (::dlsym (RTLD_NEXT, "fsync"));

    if (! fsyncWatch::watching || std::this_thread::get_id() != fsyncWatch::messageThread)
        return system (descriptor);

    const auto start = juce::Time::getMillisecondCounterHiRes();
    const auto result = system (descriptor);
    fsyncWatch::messageThreadCalls.push_back (juce::Time::getMillisecondCounterHiRes() - start);
    return result;
}

namespace
{

using namespace zorvaplugins::zorvamanager;
using namespace windowbench;

constexpr int idleSeconds = 10;

// This thread's time on a processor and time spent waiting for one (run queue), in ms, from
// /proc/thread-self/schedstat.
std::pair<double, double> threadSchedule()
{
    std::ifstream schedstat ("/proc/thread-self/schedstat");
    double running = 0, waiting = 0;
    schedstat >> running >> waiting;
    return { running / 1.0e6, waiting / 1.0e6 };
}

// The ids of this process's threads with this name (the worker pool's are "Pool").
std::vector<int> threadsNamed (const std::string& name)
{
    std::vector<int> ids;

    for (const auto& task : std::filesystem::directory_iterator ("/proc/self/task"))
    {
        std::ifstream comm (task.path() / "comm");
        std::string text;
        std::getline (comm, text);

        if (text == name)
            ids.push_back (std::stoi (task.path().filename().string()));
    }

    return ids;
}

// Time on a processor and time waiting for one, in ms, summed over these threads.
std::pair<double, double> threadsSchedule (const std::vector<int>& ids)
{
    double running = 0, waiting = 0;

    for (const auto id : ids)
    {
        std::ifstream schedstat ("/proc/self/task/" + std::to_string (id) + "/schedstat");
        double r = 0, w = 0;
        schedstat >> r >> w;
        running += r / 1.0e6;
        waiting += w / 1.0e6;
    }

    return { running, waiting };
}

struct Distribution
{
    double median = 0, p99 = 0, max = 0;
    std::size_t count = 0;
};

// Nearest-rank percentiles.
Distribution distributionOf (std::vector<double> values)
{
    Distribution d;
    d.count = values.size();

    if (values.empty())
        return d;

    std::sort (values.begin(), values.end());
    const auto rank = [&values] (double p) {
        return values[std::min (values.size() - 1, static_cast<std::size_t> (p * static_cast<double> (values.size())))];
    };
    d.median = rank (0.5);
    d.p99 = rank (0.99);
    d.max = values.back();
    return d;
}

// Covers the product list without taking its clicks, and notes when it is painted: the
// framework paints a component's children after the component, for every area of it
// that it repaints.
class FrameRecorder : public juce::Component, private juce::ComponentListener
{
public:
    explicit FrameRecorder (juce::Component& watchedList)
        : list (watchedList)
    {
        setInterceptsMouseClicks (false, false);
        setOpaque (false);
        list.addAndMakeVisible (this);
        list.addComponentListener (this);
        setBounds (list.getLocalBounds());
    }

    ~FrameRecorder() override { list.removeComponentListener (this); }

    void paint (juce::Graphics&) override { frames.push_back (nowMs()); }

    std::vector<double> frames;

private:
    void componentMovedOrResized (juce::Component&, bool, bool) override { setBounds (list.getLocalBounds()); }

    juce::Component& list;
};

// Every change of a row's step ("Downloading", "Verifying", "Installing", or nothing), with
// its time.
struct StepLog : ProductListModel::Listener
{
    explicit StepLog (ProductListModel& watched)
        : model (watched)
    {
        model.addListener (this);
    }

    ~StepLog() override { model.removeListener (this); }

    void productListChanged (ProductListModel::Change change) override
    {
        const auto now = nowMs();

        // A completion clears the row's activity first and rebuilds the rows after the rescan;
        // in between, on the message thread, it writes the receipt and logs.
        if (change == ProductListModel::Change::rows || change == ProductListModel::Change::content)
        {
            for (const auto cleared : pendingCompletions)
                completionMs.push_back (now - cleared);

            pendingCompletions.clear();
        }

        for (const auto& row : model.rows())
        {
            const auto step = row.activity.substr (0, row.activity.find ("..."));
            auto& last = current[row.slug];

            if (step != last)
            {
                last = step;
                entries.push_back ({ now, row.slug, step.empty() ? std::string ("done") : step });

                if (step.empty() && change == ProductListModel::Change::activity)
                    pendingCompletions.push_back (now);
            }
        }
    }

    struct Entry
    {
        double time;
        std::string slug, step;
    };

    ProductListModel& model;
    std::map<std::string, std::string> current;
    std::vector<Entry> entries;
    std::vector<double> pendingCompletions;
    std::vector<double> completionMs; // from a row's activity clearing to the rows' rebuild
};

// Posts a message every 5 ms and notes, on the message thread, how late each one ran.
class LatencyProbe
{
public:
    LatencyProbe()
        : thread ([this] {
            while (! stopping)
            {
                const auto posted = nowMs();
                juce::MessageManager::callAsync ([latencies = latencies, posted] { latencies->push_back (nowMs() - posted); });
                std::this_thread::sleep_for (std::chrono::milliseconds (5));
            }
        })
    {}

    ~LatencyProbe() { stop(); }

    void stop()
    {
        stopping = true;

        if (thread.joinable())
            thread.join();
    }

    // Message thread only.
    std::shared_ptr<std::vector<double>> latencies = std::make_shared<std::vector<double>>();

private:
    std::atomic<bool> stopping { false };
    std::thread thread;
};

// VmRSS every 10 ms: the highest value, and when it was seen.
class MemorySampler
{
public:
    MemorySampler()
        : thread ([this] {
            while (! stopping)
            {
                const auto rss = statusKiB ("VmRSS:");
                const std::lock_guard<std::mutex> lock (mutex);
                samples.push_back ({ nowMs(), rss });
                std::this_thread::sleep_for (std::chrono::milliseconds (10));
            }
        })
    {}

    ~MemorySampler() { stop(); }

    void stop()
    {
        stopping = true;

        if (thread.joinable())
            thread.join();
    }

    std::vector<std::pair<double, long>> samples; // read after stop()

private:
    std::mutex mutex;
    std::atomic<bool> stopping { false };
    std::thread thread;
};

// A left click through the peer, so the framework's own hit testing decides who receives it.
void clickAt (juce::Component& component, juce::Point<int> position)
{
    auto* peer = component.getPeer();
    const auto inPeer = peer->getComponent().getLocalPoint (&component, position).toFloat();

    for (const auto modifiers : { juce::ModifierKeys(), juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier), juce::ModifierKeys() })
        peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse,
                                inPeer,
                                modifiers,
                                juce::MouseInputSource::defaultPressure,
                                juce::MouseInputSource::defaultOrientation,
                                juce::Time::currentTimeMillis());
}

// The gaps between the frames painted from `from` to `to`: their lengths, and the time of the
// frame that ended each.
std::vector<std::pair<double, double>> frameGaps (const std::vector<double>& frames, double from, double to)
{
    std::vector<double> inside;
    std::copy_if (frames.begin(), frames.end(), std::back_inserter (inside), [&] (double t) { return t >= from && t <= to; });
    std::vector<std::pair<double, double>> gaps;

    for (std::size_t i = 1; i < inside.size(); ++i)
        gaps.push_back ({ inside[i] - inside[i - 1], inside[i] });

    return gaps;
}

std::vector<double> lengthsOf (const std::vector<std::pair<double, double>>& gaps)
{
    std::vector<double> lengths;

    for (const auto& gap : gaps)
        lengths.push_back (gap.first);

    return lengths;
}

void printDistribution (const char* name, const Distribution& d)
{
    std::printf ("%s: count %zu, median %.1f ms, p99 %.1f ms, max %.1f ms\n", name, d.count, d.median, d.p99, d.max);
}

int run (const std::string& catalogueUrl, std::size_t productCount, int workerNice)
{
    MainWindow window ("ZorvaManager",
                       [catalogueUrl] (const std::atomic<bool>* cancel) { return loadWindowCatalogue (catalogueUrl, cancel); });
    auto& content = *dynamic_cast<ZorvaManagerComponent*> (window.getContentComponent());
    auto& controller = content.getController();

    juce::StringArray log;
    controller.onLog = [previous = controller.onLog, &log] (LogLevel level, const juce::String& message) {
        log.add (logLevelText (level) + " " + message);

        if (previous)
            previous (level, message);
    };

    if (! pumpUntil ([&] { return controller.isCatalogueLoaded() && ! controller.isLoading(); }, 60000) ||
        controller.productList().rows().size() != productCount)
    {
        std::fprintf (stderr, "the catalogue did not load with %zu products:\n%s\n", productCount, log.joinIntoString ("\n").toRawUTF8());
        return 1;
    }

    auto* list = findDescendant<ProductList> (content);
    auto* installAll = findDescendant<juce::Button> (content, [] (juce::Button& b) { return b.getButtonText() == "Install / Update All"; });

    if (list == nullptr || installAll == nullptr)
    {
        std::fprintf (stderr, "the product list or the Install / Update All button is missing\n");
        return 1;
    }

    FrameRecorder recorder (*list);
    StepLog steps (controller.productList());

    // Settle: the first paints after the catalogue arrives are not part of the measurement.
    pumpUntil ([] { return false; }, 1000);

    // For comparison, the spinners alone for a while: every row shows an activity, as during
    // the installs, but no job runs. What the machine's other load does to the frames shows here.
    auto& model = controller.productList();
    const auto idleStart = nowMs();
    const auto idleSchedule = threadSchedule();
    auto idleProbe = std::make_unique<LatencyProbe>();

    for (const auto& row : std::vector<products::ProductRow> (model.rows()))
        model.setActivity (row.slug, "Downloading...");

    pumpUntil ([] { return false; }, idleSeconds * 1000.0);

    for (const auto& row : std::vector<products::ProductRow> (model.rows()))
        model.setActivity (row.slug, {});

    const auto idleEnd = nowMs();
    const auto idleScheduleEnd = threadSchedule();
    idleProbe->stop();
    pumpUntil ([] { return false; }, 500);
    const auto idleLatencies = *idleProbe->latencies;

    const auto hwmBefore = statusKiB ("VmHWM:");
    const auto rssBefore = statusKiB ("VmRSS:");

    // The spinners' end above was no completion.
    steps.pendingCompletions.clear();
    steps.completionMs.clear();
    fsyncWatch::messageThread = std::this_thread::get_id();
    fsyncWatch::watching = true;

    // The worker pool's threads exist from the start; a nice value set on them now stays for
    // the jobs they run (and is inherited by the threads they start).
    const auto workers = threadsNamed ("Pool");

    if (workerNice != 0)
        for (const auto id : workers)
            if (::setpriority (PRIO_PROCESS, static_cast<id_t> (id), workerNice) != 0)
                std::fprintf (stderr, "cannot set the nice value of thread %d\n", id);

    const auto workersSchedule = threadsSchedule (workers);
    MemorySampler memory;
    LatencyProbe probe;
    const auto start = nowMs();
    const auto schedule = threadSchedule();
    clickAt (*installAll, installAll->getLocalBounds().getCentre());

    const auto started = pumpUntil ([&] { return controller.activities().size() == productCount; }, 5000);
    const auto finished = started && pumpUntil ([&] { return controller.runningJobs() == 0 && controller.activities().empty(); }, 900000);
    const auto end = nowMs();
    const auto scheduleEnd = threadSchedule();
    const auto workersScheduleEnd = threadsSchedule (workers);
    fsyncWatch::watching = false;

    probe.stop();
    pumpUntil ([] { return false; }, 300);
    memory.stop();
    const auto hwmAfter = statusKiB ("VmHWM:");

    if (! finished)
    {
        std::fprintf (stderr, "the installs did not %s:\n%s\n", started ? "finish" : "start", log.joinIntoString ("\n").toRawUTF8());
        return 1;
    }

    // Frames while the spinners ran: from the click to the moment the last activity cleared.
    auto gaps = frameGaps (recorder.frames, start, end);
    const auto gapLengths = lengthsOf (gaps);

    auto peakRss = std::make_pair (0.0, 0L);

    for (const auto& sample : memory.samples)
        if (sample.second > peakRss.second)
            peakRss = sample;

    const auto seconds = (end - start) / 1000.0;
    const auto failures = log.joinIntoString ("\n").contains ("ERROR");
    std::printf (
        "installs: %zu in %.2f s%s; worker threads at nice %d\n", productCount, seconds, failures ? " (with errors)" : "", workerNice);
    printDistribution ("frame gaps", distributionOf (gapLengths));
    printDistribution ("message latency", distributionOf (*probe.latencies));
    printDistribution ("spinners alone, frame gaps", distributionOf (lengthsOf (frameGaps (recorder.frames, idleStart, idleEnd))));
    printDistribution ("spinners alone, message latency", distributionOf (idleLatencies));

    // How long the message thread waited for a processor while it had work: the share of the
    // machine it got, with and without the jobs.
    const auto idleSecondsTaken = (idleEnd - idleStart) / 1000.0;
    std::printf ("message thread: ran %.0f ms/s and waited for a processor %.0f ms/s during the installs;"
                 " ran %.0f ms/s and waited %.0f ms/s with the spinners alone\n",
                 (scheduleEnd.first - schedule.first) / seconds,
                 (scheduleEnd.second - schedule.second) / seconds,
                 (idleScheduleEnd.first - idleSchedule.first) / idleSecondsTaken,
                 (idleScheduleEnd.second - idleSchedule.second) / idleSecondsTaken);
    std::printf ("worker threads (%zu): ran %.0f ms/s and waited for a processor %.0f ms/s during the installs\n",
                 workers.size(),
                 (workersScheduleEnd.first - workersSchedule.first) / seconds,
                 (workersScheduleEnd.second - workersSchedule.second) / seconds);
    std::printf ("memory: VmRSS before %ld KiB, VmHWM before %ld KiB, VmHWM after %ld KiB, highest VmRSS sample %ld KiB at %.1f s\n",
                 rssBefore,
                 hwmBefore,
                 hwmAfter,
                 peakRss.second,
                 (peakRss.first - start) / 1000.0);

    std::printf ("completions on the message thread (activity cleared to rows rebuilt):");

    for (const auto ms : steps.completionMs)
        std::printf (" %.1f ms", ms);

    std::printf ("\n");
    std::printf ("fsync on the message thread:");

    for (const auto ms : fsyncWatch::messageThreadCalls)
        std::printf (" %.1f ms", ms);

    std::printf ("\n");

    // What each row did when: the steps of the jobs.
    std::printf ("steps (s after the click):");

    for (const auto& entry : steps.entries)
        if (entry.time >= start)
            std::printf (" %s %s %.1f;", entry.slug.c_str(), entry.step.c_str(), (entry.time - start) / 1000.0);

    std::printf ("\n");

    // The longest gaps and the steps that changed around them.
    std::sort (gaps.begin(), gaps.end(), [] (const auto& a, const auto& b) { return a.first > b.first; });

    for (std::size_t i = 0; i < std::min<std::size_t> (5, gaps.size()); ++i)
    {
        const auto [length, at] = gaps[i];
        std::printf ("long gap: %.1f ms ending at %.2f s;", length, (at - start) / 1000.0);

        for (const auto& entry : steps.entries)
            if (entry.time >= at - length - 50 && entry.time <= at + 50)
                std::printf (" %s %s at %.2f s;", entry.slug.c_str(), entry.step.c_str(), (entry.time - start) / 1000.0);

        std::printf ("\n");
    }

    // VmRSS over time, once a second, to show what holds memory when.
    std::printf ("VmRSS per second (MiB):");

    for (double next = start; next <= end; next += 1000.0)
    {
        const auto sample = std::find_if (memory.samples.begin(), memory.samples.end(), [next] (const auto& s) { return s.first >= next; });

        if (sample != memory.samples.end())
            std::printf (" %ld", sample->second / 1024);
    }

    std::printf ("\n");

    if (failures)
        std::fprintf (stderr, "%s\n", log.joinIntoString ("\n").toRawUTF8());

    return failures ? 1 : 0;
}

} // namespace

int main (int argc, char** argv)
{
    if (argc != 3 && argc != 4)
    {
        std::fprintf (stderr, "usage: InstallWindowBench CATALOGUE_URL PRODUCTS [WORKER_NICE]\n");
        return 2;
    }

    // The framework installs its X error handlers only for a standalone application; without
    // them the first harmless X error (a window-manager atom a bare X server lacks) would end
    // the process. No application object is ever created from this factory.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };

    int status = 1;
    {
        juce::ScopedJuceInitialiser_GUI framework;
        status = run (argv[1], static_cast<std::size_t> (std::stoul (argv[2])), argc == 4 ? std::stoi (argv[3]) : 0);
        juce::DeletedAtShutdown::deleteAll();
    }
    std::fflush (stdout);
    return status;
}
