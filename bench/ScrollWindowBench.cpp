// The window while the user scrolls through a catalogue of 1,000 products with pictures: the
// real window in this process under a virtual display, its catalogue and product pages from the
// local HTTPS maker service, wheel events sent through the window's peer as the mouse sends
// them. Three passes: a fast one, a notch (150 pixels) every 16 ms from the top to the end; the
// same again from the top with no picture at all, for comparison; and a steady one, a notch
// every 100 ms back up from the end for 10 s. For each pass it prints the gaps between
// the frames the list painted from the first notch to the last (recorded by a transparent
// child that covers the list and so is painted right after it every time; between the steady
// pass's notches nothing moves, so its gaps follow the notches), how long each notch waited
// for the next frame, how many pictures were decoded and kept, and VmHWM, the process's peak
// resident memory.
//
//   ScrollWindowBench CATALOGUE_URL PRODUCTS
//
// bench/scroll_window makes the site and runs this under the service and a virtual display.

#include "MainWindow.h"
#include "ProductList.h"
#include "WindowBenchSupport.h"
#include "WindowCatalogue.h"
#include "ZorvaManagerComponent.h"
#include "products/CatalogueLoad.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace
{

using namespace zorvaplugins::zorvamanager;
using namespace windowbench;

// The loop in short slices: the gaps between frames are measured to the millisecond.
bool pumpFinely (const std::function<bool()>& condition, double timeoutMs)
{
    return pumpUntil (condition, timeoutMs, 5);
}

// Notes when the list is painted: the framework paints a component's children after it.
class FrameRecorder : public juce::Component
{
public:
    explicit FrameRecorder (juce::Component& list)
    {
        setInterceptsMouseClicks (false, false);
        setOpaque (false);
        list.addAndMakeVisible (this);
        setBounds (list.getLocalBounds());
    }

    void paint (juce::Graphics&) override { frames.push_back (nowMs()); }

    std::vector<double> frames;
};

// One notch of the wheel over the list, through the peer as the mouse sends it.
void wheel (ProductList& list, float deltaY)
{
    auto* peer = list.getPeer();
    juce::MouseWheelDetails details { 0.0f, deltaY, false, false, false };
    const auto at = peer->getComponent().getLocalPoint (&list, list.rowsArea().getCentre()).toFloat();
    peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse,
                            at,
                            {},
                            juce::MouseInputSource::defaultPressure,
                            juce::MouseInputSource::defaultOrientation,
                            juce::Time::currentTimeMillis());
    peer->handleMouseWheel (juce::MouseInputSource::InputSourceType::mouse, at, juce::Time::currentTimeMillis(), details);
}

// Nearest-rank percentile of sorted values.
double rank (const std::vector<double>& sorted, double p)
{
    return sorted.empty() ? 0.0 : sorted[std::min (sorted.size() - 1, static_cast<std::size_t> (p * static_cast<double> (sorted.size())))];
}

// Scrolls by a notch every `intervalMs` until `done`, then prints the gaps between the frames
// painted from the first notch on, and how long each notch waited for its frame.
void pass (
    const char* name, ProductList& list, ProductPictures& pictures, float deltaY, double intervalMs, const std::function<bool()>& done)
{
    FrameRecorder recorder (list);
    pumpFinely ([] { return false; }, 300.0); // the recorder's own first paint
    std::vector<double> notches;
    auto next = nowMs();

    while (! done())
    {
        notches.push_back (nowMs());
        wheel (list, deltaY);
        next += intervalMs;
        pumpFinely ([next] { return nowMs() >= next; }, intervalMs + 1000.0);
    }

    pumpFinely ([] { return false; }, 300.0);
    const auto& frames = recorder.frames;
    std::vector<double> gaps, waits;

    for (std::size_t i = 1; i < frames.size(); ++i)
        if (! notches.empty() && frames[i - 1] >= notches.front() && frames[i] <= notches.back() + intervalMs)
            gaps.push_back (frames[i] - frames[i - 1]);

    for (const auto notch : notches)
        if (const auto frame = std::lower_bound (frames.begin(), frames.end(), notch); frame != frames.end())
            waits.push_back (*frame - notch);

    std::sort (gaps.begin(), gaps.end());
    std::sort (waits.begin(), waits.end());
    std::printf ("%s: %zu notches in %.1f s; frame gaps: %zu, median %.1f ms, p99 %.1f ms, max %.1f ms, over 33 ms: %zu; "
                 "notch to frame: median %.1f ms, p99 %.1f ms, max %.1f ms; pictures cached %zu (%zu KiB), jobs left %zu; VmHWM %ld KiB\n",
                 name,
                 notches.size(),
                 notches.empty() ? 0.0 : (notches.back() - notches.front()) / 1000.0,
                 gaps.size(),
                 rank (gaps, 0.5),
                 rank (gaps, 0.99),
                 gaps.empty() ? 0.0 : gaps.back(),
                 static_cast<std::size_t> (std::count_if (gaps.begin(), gaps.end(), [] (double gap) { return gap > 33.0; })),
                 rank (waits, 0.5),
                 rank (waits, 0.99),
                 waits.empty() ? 0.0 : waits.back(),
                 pictures.cachedKeys().size(),
                 pictures.cachedBytes() / 1024,
                 pictures.jobKeys().size(),
                 statusKiB ("VmHWM:"));
}

int run (const std::string& catalogueUrl, std::size_t productCount)
{
    MainWindow window ("ZorvaManager",
                       [catalogueUrl] (const std::atomic<bool>* cancel) { return loadWindowCatalogue (catalogueUrl, cancel); });
    auto& content = *dynamic_cast<ZorvaManagerComponent*> (window.getContentComponent());
    auto& controller = content.getController();

    if (! pumpFinely ([&] { return controller.isCatalogueLoaded() && ! controller.isLoading(); }, 60000) ||
        controller.productList().rows().size() != productCount)
    {
        std::fprintf (stderr, "the catalogue did not load with %zu products\n", productCount);
        return 1;
    }

    auto* list = findDescendant<ProductList> (content);
    auto& pictures = controller.productPictures();
    const auto firstScreen = nowMs();
    pumpFinely ([&pictures] { return pictures.jobKeys().empty(); }, 60000);
    std::printf ("loaded: %zu products; the first screen's %zu pictures %.0f ms after the catalogue; VmHWM %ld KiB\n",
                 productCount,
                 pictures.cachedKeys().size(),
                 nowMs() - firstScreen,
                 statusKiB ("VmHWM:"));
    pumpFinely ([] { return false; }, 1000);

    const auto atTheEnd = [list] { return list->scrollPosition() >= list->maximumScrollPosition(); };
    pass ("fast, a notch every 16 ms to the end", *list, pictures, -1.0f, 16.0, atTheEnd);
    pumpFinely ([&pictures] { return pictures.jobKeys().empty(); }, 60000);

    // The same without any picture, for what the machine's other load does to the frames.
    list->setScrollPosition (0.0);
    pictures.setSources ({});
    pumpFinely ([] { return false; }, 1000);
    pass ("the same without pictures", *list, pictures, -1.0f, 16.0, atTheEnd);
    pictures.setSources (products::picturePagesByKey (*controller.catalogue()));
    pumpFinely ([] { return false; }, 1000);
    const auto steadyEnd = nowMs() + 10000.0;
    pass ("steady, a notch every 100 ms for 10 s", *list, pictures, 1.0f, 100.0, [steadyEnd] { return nowMs() >= steadyEnd; });
    pumpFinely ([&pictures] { return pictures.jobKeys().empty(); }, 60000);
    std::printf ("end: VmHWM %ld KiB\n", statusKiB ("VmHWM:"));
    return 0;
}

} // namespace

int main (int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf (stderr, "usage: ScrollWindowBench CATALOGUE_URL PRODUCTS\n");
        return 2;
    }

    // The framework installs its X error handlers only for a standalone application.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };

    int status = 1;
    {
        juce::ScopedJuceInitialiser_GUI framework;
        status = run (argv[1], static_cast<std::size_t> (std::stoul (argv[2])));
        juce::DeletedAtShutdown::deleteAll();
    }
    std::fflush (stdout);
    return status;
}
