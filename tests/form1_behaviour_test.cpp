// Form1's behaviour on a fake view with no toolkit at all, as both builds run
// it: the load and unload steps in their order, the restored choices, the
// push-style buttons, select-on-focus, the pointer rules and Enter.
#include "core/currency_catalogue.h"
#include "core/form1_behaviour.h"
#include "fake_ports.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{

using core::CurrencyList;
using core::FocusReason;
using core::MousePointer;
using core::PushButton;

using fakes::Log;

class FakeView : public core::Form1View
{
public:
    explicit FakeView(Log &log)
        : m_log(log)
    {
    }
    core::Form1Behaviour *behaviour = nullptr;
    std::vector<std::u16string> lists[2];
    std::u16string chosen[2];
    std::u16string amountText = u"1.00";
    std::u16string resultText, clipboard, caption;
    bool pressed[2] = {false, false};
    bool handCursor = true;
    int selections = 0;
    std::vector<MousePointer> pointers;

    void addEntry(CurrencyList list, const std::u16string &entry) override
    {
        if (lists[0].empty() && lists[1].empty())
            m_log.steps.push_back("fill");
        lists[int(list)].push_back(entry);
    }
    bool chooseEntry(CurrencyList list, std::u16string_view text) override
    {
        for (const std::u16string &entry : lists[int(list)]) {
            if (entry == text) {
                chosen[int(list)] = entry;
                return true;
            }
        }
        return false;
    }
    std::u16string chosenEntry(CurrencyList list) const override { return chosen[int(list)]; }
    std::u16string amount() const override { return amountText; }
    void focusAmount() override { m_log.steps.push_back("focus"); }
    void selectWholeAmount() override { ++selections; }
    void showResult(const std::u16string &text) override { resultText = text; }
    std::u16string result() const override { return resultText; }
    bool isPressed(PushButton button) const override { return pressed[int(button)]; }
    void setPressed(PushButton button, bool value) override
    {
        if (pressed[int(button)] == value)
            return;
        pressed[int(button)] = value;
        // The Click event fires for the program's own change too, nested.
        if (button == PushButton::Convert)
            behaviour->Check2_Click();
        else
            behaviour->Check1_Click();
    }
    void setCaption(std::u16string_view text) override
    {
        m_log.steps.push_back("caption");
        caption = text;
    }
    void centreOnScreen() override { m_log.steps.push_back("centre"); }
    bool loadHandCursor() override
    {
        m_log.steps.push_back("cursor");
        return handCursor;
    }
    void showPointer(MousePointer pointer) override { pointers.push_back(pointer); }
    void putOnClipboard(const std::u16string &text) override
    {
        m_log.steps.push_back("clipboard");
        clipboard = text;
    }
    void announce(const std::u16string &) override { }
    void processPendingEvents() override { m_log.steps.push_back("events"); }
    void endProcess() override { m_log.steps.push_back("end"); }

private:
    Log &m_log;
};

struct Rig {
    Log log;
    FakeView view {log};
    fakes::Session session {&log};
    fakes::Settings settings {&log};
    fakes::Browser browser {&log};
    fakes::FixedDraw random;
    core::Form1Behaviour form {view, {session, settings, browser, random, u"h:1"}};
    std::vector<MousePointer> pointerDuringDownload;
    Rig()
    {
        view.behaviour = &form;
        session.duringDownload = [this] { pointerDuringDownload.push_back(view.pointers.back()); };
    }
};

TEST(Form1Behaviour, LoadAndUnloadRunTheirStepsInOrder)
{
    Rig rig;
    rig.random.value = 0.06; // Int(6) + 1 = 7: the home page
    rig.form.Form_Load();
    EXPECT_EQ(rig.log.steps,
        (std::vector<std::string> {
            "open", "fill", "centre", "cursor", "browser", "get", "get", "caption", "focus"}));
    // The service is warmed up only once the window is on screen.
    rig.form.windowShown();
    EXPECT_EQ(rig.log.steps.back(), "warm up");
    EXPECT_EQ(rig.browser.opened, std::vector<std::u16string> {u"http://h:1/"});
    EXPECT_EQ(rig.view.lists[0], core::currencyEntries());
    EXPECT_EQ(rig.view.lists[1], core::currencyEntries());
    EXPECT_EQ(rig.view.caption, u"Korvalux");
    EXPECT_EQ(rig.view.selections, 1);
    EXPECT_TRUE(rig.form.hasMouseIcon());

    rig.log.steps.clear();
    rig.form.Form_Unload();
    rig.form.Form_Unload();
    EXPECT_EQ(rig.log.steps, (std::vector<std::string> {"save", "save", "events", "close", "end"}));
    EXPECT_EQ(rig.settings.values[u"FromCurrency"], u"United States Dollar (USD)");
    EXPECT_EQ(rig.settings.values[u"ToCurrency"], u"Euro (EUR)");
    EXPECT_EQ(rig.settings.places, std::set<std::u16string> {u"Vantoril/Korvalux"});
}

TEST(Form1Behaviour, HomePageOnlyOnADrawOfSeven)
{
    const struct {
        double draw;
        bool opens;
    } rows[] = {{0.06, true}, {0.0699, true}, {0.07, false}, {0.05999, false}, {0.0, false},
        {0.999, false}, {1.0, false}, {-0.94, false},
        {std::numeric_limits<double>::quiet_NaN(), false}};
    for (const auto &row : rows) {
        Rig rig;
        rig.random.value = row.draw;
        rig.form.Form_Load();
        EXPECT_EQ(rig.browser.opened.size(), row.opens ? 1u : 0u) << row.draw;
    }
}

TEST(Form1Behaviour, SeededDrawStaysInTheUnitRangeAndRepeats)
{
    // Milliseconds since midnight, and seeds no clock gives.
    for (const std::uint32_t seed : {0u, 1u, 43'200'000u, 86'399'999u, 0xFFFF'FFFFu}) {
        const double r = core::drawSeededWith(seed);
        EXPECT_GE(r, 0.0) << seed;
        EXPECT_LT(r, 1.0) << seed;
        EXPECT_EQ(core::drawSeededWith(seed), r) << seed;
    }
}

TEST(Form1Behaviour, RestoresStoredChoicesOrFallsBack)
{
    const struct {
        std::u16string storedFrom, storedTo, shownFrom, shownTo;
    } rows[] = {
        {u"", u"", u"United States Dollar (USD)", u"Euro (EUR)"},
        {u"Japanese Yen (JPY)", u"British Pound (GBP)", u"Japanese Yen (JPY)",
            u"British Pound (GBP)"},
        {u"Klingon Darsek (KDK)", u"euro (eur)", u"United States Dollar (USD)", u"Euro (EUR)"},
    };
    for (const auto &row : rows) {
        Rig rig;
        rig.settings.values[u"FromCurrency"] = row.storedFrom;
        rig.settings.values[u"ToCurrency"] = row.storedTo;
        rig.form.Form_Load();
        EXPECT_EQ(rig.view.chosen[0], row.shownFrom);
        EXPECT_EQ(rig.view.chosen[1], row.shownTo);
    }
}

TEST(Form1Behaviour, EachPressActsOnceAndTheButtonSpringsBack)
{
    Rig rig;
    rig.form.Form_Load();
    rig.view.amountText = u"250";
    rig.view.setPressed(PushButton::Convert, true); // a user's click
    EXPECT_FALSE(rig.view.pressed[int(PushButton::Convert)]);
    ASSERT_EQ(rig.session.asked.size(), 1u);
    EXPECT_EQ(rig.session.asked[0], u"http://h:1/finance/converter?a=250&from=USD&to=EUR");
    EXPECT_EQ(rig.view.resultText, u"1.00 USD = 0.86 EUR");
    EXPECT_EQ(rig.pointerDuringDownload, std::vector<MousePointer> {MousePointer::Busy});
    EXPECT_EQ(rig.form.mousePointer(), MousePointer::Default);

    rig.form.amountEnterPressed();
    EXPECT_EQ(rig.session.asked.size(), 2u);
    EXPECT_FALSE(rig.view.pressed[int(PushButton::Convert)]);

    rig.session.page = u"";
    rig.view.setPressed(PushButton::Convert, true);
    EXPECT_EQ(rig.view.resultText, core::noAnswerText());

    rig.log.steps.clear();
    rig.view.setPressed(PushButton::Copy, true);
    EXPECT_FALSE(rig.view.pressed[int(PushButton::Copy)]);
    EXPECT_EQ(rig.log.steps, std::vector<std::string> {"clipboard"});
    EXPECT_EQ(rig.view.clipboard, core::noAnswerText());
}

TEST(Form1Behaviour, OnlyARealFocusMoveSelectsTheAmount)
{
    const struct {
        FocusReason reason;
        int selectsOnFocus;
        int selectsAfterRelease;
    } rows[] = {
        {FocusReason::Keyboard, 1, 1},
        {FocusReason::Mouse, 1, 2},
        {FocusReason::Program, 1, 1},
        {FocusReason::Popup, 0, 0},
        {FocusReason::Activation, 0, 0},
    };
    for (const auto &row : rows) {
        Rig rig;
        rig.form.amountFocused(row.reason);
        EXPECT_EQ(rig.view.selections, row.selectsOnFocus) << int(row.reason);
        rig.form.amountMouseReleased();
        rig.form.amountMouseReleased(); // a later click inside keeps the caret
        EXPECT_EQ(rig.view.selections, row.selectsAfterRelease) << int(row.reason);
    }
}

TEST(Form1Behaviour, PointerFollowsTheHoverRulesButNeverOverridesBusy)
{
    Rig rig;
    rig.form.buttonMouseMove();
    EXPECT_EQ(rig.form.mousePointer(), MousePointer::Custom);
    rig.form.buttonMouseMove();
    rig.form.bareAreaMouseMove();
    EXPECT_EQ(rig.form.mousePointer(), MousePointer::Default);
    EXPECT_EQ(rig.view.pointers,
        (std::vector<MousePointer> {MousePointer::Custom, MousePointer::Default}));

    // Moves handled while a download runs leave the pointer busy.
    rig.view.pointers.clear();
    rig.session.duringDownload = [&rig] {
        rig.pointerDuringDownload.push_back(rig.view.pointers.back());
        rig.form.buttonMouseMove();
        rig.form.bareAreaMouseMove();
    };
    rig.view.setPressed(PushButton::Convert, true);
    EXPECT_EQ(rig.pointerDuringDownload, std::vector<MousePointer> {MousePointer::Busy});
    EXPECT_EQ(
        rig.view.pointers, (std::vector<MousePointer> {MousePointer::Busy, MousePointer::Default}));
}

} // namespace
