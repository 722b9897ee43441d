#include "AppFixtures.h"
#include "ComponentProbe.h"
#include "MainWindow.h"
#include "MakerServiceFixture.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace
{

using namespace zorvaplugins::zorvamanager;
using products::RowButton;

// A catalogue load that waits until the test lets it finish, so the loading view stays up.
class GatedCatalogue
{
public:
    explicit GatedCatalogue (std::shared_ptr<const WindowCatalogue> result)
        : load (std::move (result))
    {}

    ~GatedCatalogue() { open(); }

    void open()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        released = true;
        condition.notify_all();
    }

    ManagerController::CatalogueLoader loader()
    {
        return [this] (const std::atomic<bool>* cancel) {
            std::unique_lock<std::mutex> lock (mutex);

            while (! released && ! cancel->load())
                condition.wait_for (lock, std::chrono::milliseconds (20));

            return load;
        };
    }

private:
    std::shared_ptr<const WindowCatalogue> load;
    std::mutex mutex;
    std::condition_variable condition;
    bool released = false;
};

// Twelve products: the first installed and current, the second with an update, the rest new.
std::vector<api::ProductReleaseInfo> twelveProducts()
{
    std::vector<api::ProductReleaseInfo> products;

    for (int i = 0; i < 12; ++i)
        products.push_back (apptest::product ("p" + std::to_string (i), "Product " + std::to_string (i)));

    return products;
}

class ListView : public ::testing::Test
{
protected:
    void open (std::shared_ptr<const WindowCatalogue> load, bool waitForLoad = true)
    {
        gate = std::make_unique<GatedCatalogue> (std::move (load));

        if (waitForLoad)
            gate->open();

        window = std::make_unique<MainWindow> ("ZorvaManager", gate->loader());
        probe = std::make_unique<ZorvaManagerComponentProbe> (*dynamic_cast<ZorvaManagerComponent*> (window->getContentComponent()));

        if (waitForLoad)
        {
            ASSERT_TRUE (pumpUntil ([this] { return ! probe->loading(); }, 10000));
        }
    }

    void TearDown() override
    {
        probe.reset();
        window.reset();
        gate.reset();
        pumpFor (30);
    }

    ProductList& list() { return probe->list(); }
    ProductListModel& model() { return probe->controller().productList(); }

    void scrollTo (double position)
    {
        // The wheel moves 150 pixels per unit: step there as a user would.
        for (int i = 0; i < 100 && std::abs (list().scrollPosition() - position) > 0.5; ++i)
            uidriver::wheelAt (list(),
                               list().rowsArea().getCentre(),
                               static_cast<float> (juce::jlimit (-1.0, 1.0, (list().scrollPosition() - position) / 150.0)));
    }

    apptest::ScopedHome home;
    std::unique_ptr<GatedCatalogue> gate;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ZorvaManagerComponentProbe> probe;
};

TEST_F (ListView, ClicksSelectOnlyTheCardUnderThePointerAtAnyScrollOffset)
{
    open (apptest::loaded (twelveProducts()));
    ASSERT_GT (list().maximumScrollPosition(), 300.0);

    for (const auto offset : { 0.0, 150.0, list().maximumScrollPosition() })
    {
        scrollTo (offset);
        ASSERT_NEAR (list().scrollPosition(), offset, 0.5);

        // The header and the information line select nothing, whatever lies scrolled beneath them.
        model().select (-1);

        for (const auto y : { 5, 30, 60, list().rowsArea().getY() - 1 })
            uidriver::clickAt (list(), { 200, y });

        EXPECT_EQ (model().selectedIndex(), -1) << "offset " << offset;

        // A click in a card selects that card, the one drawn there.
        for (int index = 0; index < 12; ++index)
        {
            const auto card = list().cardBounds (index).getIntersection (list().rowsArea());

            if (card.getHeight() < 20)
                continue;

            uidriver::clickAt (list(), { card.getX() + 100, card.getCentreY() });
            EXPECT_EQ (model().selectedIndex(), index) << "offset " << offset;
        }
    }
}

TEST_F (ListView, OnlyButtonsThatActStartAJob)
{
    apptest::installVst3 (home.vst3(), "Product 0", "1.2.0");
    apptest::installVst3 (home.vst3(), "Product 2", "1.0.0");
    open (apptest::loaded (twelveProducts()));

    EXPECT_EQ (model().buttonFor (model().rows()[0]), RowButton::upToDate);
    EXPECT_EQ (model().buttonFor (model().rows()[1]), RowButton::installNew);
    EXPECT_EQ (model().buttonFor (model().rows()[2]), RowButton::update);

    // Up to date: a click only selects.
    const auto before = probe->messages().size();
    uidriver::clickAt (list(), list().buttonBounds (0).getCentre());
    EXPECT_EQ (probe->messages().size(), before);
    EXPECT_EQ (model().selectedIndex(), 0);

    // Outside the button, on an actionable card: only selects.
    uidriver::clickAt (list(), { list().cardBounds (1).getX() + 120, list().cardBounds (1).getCentreY() });
    EXPECT_EQ (probe->messages().size(), before);
    EXPECT_EQ (model().selectedIndex(), 1);

    // On the button: the install starts (and fails, the fake artifact lives nowhere).
    uidriver::clickAt (list(), list().buttonBounds (1).getCentre());
    ASSERT_GT (probe->messages().size(), before);
    EXPECT_EQ (probe->messages()[before], "Installing Product 1");
    ASSERT_TRUE (pumpUntil ([this] { return probe->controller().activities().empty() && probe->controller().runningJobs() == 0; }, 30000));

    // Remove mode: installed rows act, the others say "Not installed" and do nothing.
    probe->button ("removeModeToggle").triggerClick();
    pumpFor (30);
    EXPECT_EQ (model().buttonFor (model().rows()[1]), RowButton::notInstalled);
    EXPECT_EQ (model().buttonFor (model().rows()[0]), RowButton::remove);
    const auto later = probe->messages().size();
    uidriver::clickAt (list(), list().buttonBounds (1).getCentre());
    EXPECT_EQ (probe->messages().size(), later);
}

TEST_F (ListView, TheWheelStaysWithinTheContentAndTheRangeMatchesTheRowsArea)
{
    open (apptest::loaded (twelveProducts()));

    uidriver::wheelAt (list(), list().rowsArea().getCentre(), 3.0f);
    EXPECT_EQ (list().scrollPosition(), 0.0);

    for (int i = 0; i < 30; ++i)
        uidriver::wheelAt (list(), list().rowsArea().getCentre(), -1.0f);

    EXPECT_EQ (list().scrollPosition(), list().maximumScrollPosition());

    // At the end the last card ends as far above the rows area's bottom as the first card
    // starts below its top at the beginning.
    const auto area = list().rowsArea();
    EXPECT_EQ (area.getBottom() - list().cardBounds (11).getBottom(), 5);
    scrollTo (0.0);
    EXPECT_EQ (list().cardBounds (0).getY() - area.getY(), 5);
}

TEST_F (ListView, AFilterChangeBringsTheSelectionIntoViewAndAShortResultDoesNotScroll)
{
    apptest::installVst3 (home.vst3(), "Product 7", "1.2.0");
    apptest::installVst3 (home.vst3(), "Product 9", "1.2.0");
    open (apptest::loaded (twelveProducts()));
    scrollTo (list().maximumScrollPosition());

    probe->button ("myProductsToggle").triggerClick();
    pumpFor (30);

    // Two cards fit the rows area: nothing scrolls, and the first of them is selected and seen.
    EXPECT_EQ (model().visibleRows().size(), 2u);
    EXPECT_EQ (model().selectedIndex(), 7);
    EXPECT_EQ (list().scrollPosition(), 0.0);
    EXPECT_FALSE (list().isScrollBarShown());
    EXPECT_TRUE (list().rowsArea().contains (list().cardBounds (7)));
    EXPECT_TRUE (list().rowsArea().contains (list().cardBounds (9)));

    probe->button ("allProductsToggle").triggerClick();
    pumpFor (30);
    EXPECT_EQ (model().selectedIndex(), 0);

    probe->control<juce::TextEditor> ("searchEditor").setText ("", true);
    pumpFor (30);
    EXPECT_TRUE (list().isScrollBarShown());
    EXPECT_EQ (list().scrollPosition(), 0.0);
}

TEST_F (ListView, LoadingEmptyAndFailedViewsHaveNoCardsAndNoScrollBar)
{
    open (apptest::loaded (twelveProducts()), false);
    pumpFor (100);

    EXPECT_TRUE (model().isLoading());
    EXPECT_FALSE (list().isScrollBarShown());
    EXPECT_TRUE (list().isAnimating());
    EXPECT_TRUE (list().cardBounds (0).isEmpty());
    gate->open();
    ASSERT_TRUE (pumpUntil ([this] { return ! probe->loading(); }, 10000));
    EXPECT_TRUE (list().isScrollBarShown());

    probe->control<juce::TextEditor> ("searchEditor").setText ("no such product", true);
    pumpFor (30);
    EXPECT_FALSE (list().isScrollBarShown());
    EXPECT_EQ (model().selectedIndex(), -1);

    // A first load that failed says so in the list, with its reason.
    window.reset();
    open (apptest::failed ("Catalogue fetch failed: Couldn't connect to server"));
    EXPECT_EQ (model().failure(), "Catalogue fetch failed: Couldn't connect to server");
    EXPECT_FALSE (list().isScrollBarShown());
    EXPECT_FALSE (probe->installAllEnabled());
}

TEST_F (ListView, TheWindowKeepsEveryControlWholeAtItsSmallestSize)
{
    open (apptest::loaded (twelveProducts()));

    // The window refuses to be made smaller, as a user would try by dragging its corner.
    auto& component = *window->getContentComponent();
    window->setBoundsConstrained (window->getBounds().withSize (600, 400));
    EXPECT_EQ (component.getWidth(), ZorvaManagerComponent::minimumWidth);
    EXPECT_EQ (component.getHeight(), ZorvaManagerComponent::minimumHeight);

    for (const auto& [name, control] : probe->controls())
    {
        const auto bounds = probe->boundsOf (name);
        EXPECT_GE (bounds.getHeight(), 18) << name;
        EXPECT_GE (bounds.getWidth(), 92) << name;
        EXPECT_TRUE (component.getLocalBounds().contains (bounds)) << name;
    }

    // The top panel's first row is whole: "Reset paths" keeps its 120 pixels.
    EXPECT_EQ (probe->boundsOf ("resetPathsButton").getWidth(), 120);
    EXPECT_EQ (probe->boundsOf ("myUpdatesToggle").getHeight(), 22);
}

} // namespace

// An idle window lets its frame timer rest; whatever is to be drawn brings the full rate back
// at once (any repaint in the window, a part of it exposed by the X server, input), and while
// the loading view's spinner turns the timer never rests.
TEST_F (ListView, TheFrameTimerRestsOnlyWhileNothingMoves)
{
    open (apptest::loaded (twelveProducts()), false);
    const auto& pacer = window->getFramePacer();
    const auto fullInterval = pacer.frameInterval();

    if (fullInterval == 0)
        GTEST_SKIP() << "this window system paints without a frame timer";

    // Loading: the spinner animates for as long as the load runs.
    pumpFor (1500);
    EXPECT_TRUE (probe->loading());
    EXPECT_FALSE (pacer.isResting());
    EXPECT_EQ (pacer.frameInterval(), fullInterval);

    gate->open();
    ASSERT_TRUE (pumpUntil ([this] { return ! probe->loading(); }, 10000));
    ASSERT_TRUE (pumpUntil ([&pacer] { return pacer.isResting(); }, 10000));
    EXPECT_EQ (pacer.frameInterval(), FramePacer::restingIntervalMs);

    const std::pair<const char*, std::function<void()>> wakers[] = {
        { "a wheel over the list", [this] { uidriver::wheelAt (list(), list().rowsArea().getCentre(), -0.2f); } },
        { "a row selected", [this] { model().select (static_cast<int> (model().visibleRows()[3])); } },
        { "a log line", [this] { probe->component.log (LogLevel::info, "something happened"); } },
        { "the list repainted alone, as when a picture arrives", [this] { list().repaint(); } },
        { "a key in the search box", [this] { window->getPeer()->handleKeyPress (juce::KeyPress ('a')); } },
    };

    // Keys reach the focused control first; the search box takes them all.
    probe->control<juce::TextEditor> ("searchEditor").grabKeyboardFocus();

    for (const auto& [what, wake] : wakers)
    {
        SCOPED_TRACE (what);
        ASSERT_TRUE (pumpUntil ([&pacer] { return pacer.isResting(); }, 10000));
        wake();
        EXPECT_FALSE (pacer.isResting());
        EXPECT_EQ (pacer.frameInterval(), fullInterval);
    }

    // Another window over a corner of this one goes away: the X server asks for the uncovered
    // part to be drawn, which only the exposure brings. The cover takes no keys and is hidden,
    // not removed (a window leaving the desktop announces a focus change), and the pointer is
    // outside the window (hiding a window moves the pointer over what is under it, in effect).
    // The search box gives its focus up first: its blinking caret is drawn, and so it wakes.
    probe->component.unfocusAllComponents();
    const auto screen = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->totalArea;
    ASSERT_FALSE (window->getScreenBounds().contains (screen.getTopLeft()));
    juce::Desktop::setMousePosition (screen.getTopLeft());
    const auto coverBounds =
        juce::Rectangle<int> (160, 120).withPosition (window->getScreenBounds().getTopLeft() + juce::Point<int> (20, 40));

    juce::Component cover;
    cover.setOpaque (true);
    cover.setBounds (coverBounds);
    cover.addToDesktop (juce::ComponentPeer::windowIgnoresKeyPresses);
    cover.setVisible (true);
    pumpFor (300);

    ASSERT_TRUE (pumpUntil ([&pacer] { return pacer.isResting(); }, 10000));
    cover.setVisible (false);
    EXPECT_TRUE (pumpUntil ([&pacer] { return ! pacer.isResting(); }, 10000));
    EXPECT_EQ (pacer.frameInterval(), fullInterval);
}

// The keyboard in the real window: the list's keys move the selection and keep it in view,
// Enter acts on the selected card, Ctrl+F and Escape work the search box, F5 refreshes, and
// Tab walks the controls in their visual order with a ring on the one that has the focus.
TEST_F (ListView, TheWindowWorksFromTheKeyboard)
{
    open (apptest::loaded (twelveProducts()));
    auto& component = probe->component;
    const auto selectedSlug = [this] { return model().rows()[static_cast<std::size_t> (model().selectedIndex())].slug; };
    const auto selectedInView = [this] {
        const auto card = list().cardBounds (model().selectedIndex());
        return ! card.isEmpty() && list().rowsArea().contains (card.withTrimmedTop (3));
    };

    // A click on a card gives the list the keys, without the ring (the mouse is in use).
    uidriver::clickAt (list(), list().cardBounds (static_cast<int> (model().visibleRows()[0])).getCentre().withX (60));
    ASSERT_TRUE (list().hasKeyboardFocus (false));
    EXPECT_FALSE (list().showsFocusRing());

    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE (uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::downKey)));

    EXPECT_EQ (selectedSlug(), "p5");
    EXPECT_TRUE (selectedInView());
    EXPECT_TRUE (list().showsFocusRing()) << "a key shows that the keyboard is in use";

    uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::endKey));
    EXPECT_EQ (selectedSlug(), "p11");
    EXPECT_TRUE (selectedInView());
    EXPECT_DOUBLE_EQ (list().scrollPosition(), list().maximumScrollPosition());

    uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::pageUpKey));
    EXPECT_TRUE (selectedInView());
    EXPECT_LT (model().selectedIndex(), 11);

    uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::homeKey));
    EXPECT_EQ (selectedSlug(), "p0");
    EXPECT_DOUBLE_EQ (list().scrollPosition(), 0.0);

    // Enter on a card whose button acts starts its job, as a click on the button does.
    uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::downKey));
    uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::downKey));
    const auto slug = selectedSlug();
    ASSERT_TRUE (products::buttonActs (model().buttonFor (model().rows()[static_cast<std::size_t> (model().selectedIndex())])));
    EXPECT_TRUE (uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_TRUE (probe->hasLineStartingWith ("Installing Product 2")) << slug;
    ASSERT_TRUE (pumpUntil ([this] { return probe->controller().activities().empty() && probe->controller().runningJobs() == 0; }, 30000));

    // Ctrl+F, then typing searches; Escape clears the search.
    auto& search = probe->control<juce::TextEditor> ("searchEditor");
    EXPECT_TRUE (uidriver::pressKey (component, juce::KeyPress ('f', juce::ModifierKeys::commandModifier, 0)));
    ASSERT_TRUE (search.hasKeyboardFocus (false));
    uidriver::pressKey (component, juce::KeyPress ('7', {}, '7'));
    EXPECT_EQ (search.getText(), "7");
    EXPECT_EQ (model().visibleRows().size(), 1u);
    uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::escapeKey));
    EXPECT_EQ (search.getText(), "");
    EXPECT_EQ (model().visibleRows().size(), 12u);

    // F5 from the search box refreshes.
    const auto loads = probe->countLines ("Loading products...");
    EXPECT_TRUE (uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::F5Key)));
    EXPECT_EQ (probe->countLines ("Loading products..."), loads + 1);
    ASSERT_TRUE (pumpUntil ([this] { return ! probe->loading(); }, 10000));

    // Tab from the search box walks on in the visual order: the top panel row by row, the
    // list, the log, then round to the sidebar at the left; the ring follows.
    const char* expected[] = { "refreshButton",    "scanButton",         "resetPathsButton", "vst3PathButton", "clapPathButton",
                               "installAllButton", "uninstallAllButton", "removeSelfButton", "productList" };
    search.grabKeyboardFocus();
    pumpFor (20);

    for (const auto* name : expected)
    {
        uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::tabKey));
        auto* focused = juce::Component::getCurrentlyFocusedComponent();
        EXPECT_EQ (focused, probe->controls().at (name))
            << name << " expected, " << (focused != nullptr ? focused->getName() : juce::String ("nothing")) << " focused";
    }

    EXPECT_TRUE (list().showsFocusRing());

    for (const auto* name : { "logEditor", "installModeToggle", "removeModeToggle", "vst3Toggle" })
    {
        uidriver::pressKey (component, juce::KeyPress (juce::KeyPress::tabKey));
        EXPECT_EQ (juce::Component::getCurrentlyFocusedComponent(), probe->controls().at (name)) << name;
    }

    EXPECT_TRUE (probe->controls().at ("vst3Toggle")->hasFocusOutline());
}
