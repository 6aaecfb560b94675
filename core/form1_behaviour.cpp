// Form1's handlers. Each reads the controls through the view, calls the
// catalogue, the conversion or a port, and writes the controls back.
#include "core/form1_behaviour.h"

#include "core/currency_catalogue.h"
#include "core/layout.h"

#include <utility>

namespace core
{

namespace
{

const std::u16string application(settingsApplication);
const std::u16string section(settingsSection);

} // namespace

Form1Behaviour::Form1Behaviour(Form1View &view, Form1World world)
    : m_view(view)
    , m_world(std::move(world))
{
}

Form1Behaviour::~Form1Behaviour()
{
    if (!m_unloaded)
        m_world.session.close();
}

void Form1Behaviour::windowShown()
{
    m_world.session.warmUp();
}

void Form1Behaviour::Form_Load()
{
    m_world.session.open();
    for (CurrencyList list : {CurrencyList::From, CurrencyList::To}) {
        for (const std::u16string &entry : currencyEntries())
            m_view.addEntry(list, entry);
    }
    m_view.centreOnScreen();
    m_hasMouseIcon = m_view.loadHandCursor();
    promoteHomePage(m_world.random, m_world.browser, m_world.host);
    restoreChoice(CurrencyList::From, std::u16string(fromCurrencyKey), defaultFromEntry());
    restoreChoice(CurrencyList::To, std::u16string(toCurrencyKey), defaultToEntry());
    m_view.setCaption(layout::caption);
    m_view.focusAmount();
    // The window is not shown yet: its first focus comes with the window's
    // activation, which does not select, so select here.
    Text1_GotFocus();
}

void Form1Behaviour::restoreChoice(
    CurrencyList list, const std::u16string &key, const std::u16string &fallback)
{
    const std::u16string stored = m_world.settings.getSetting(application, section, key);
    // A text that is none of the entries (the store was edited) gives the default.
    if (stored.empty() || !m_view.chooseEntry(list, stored))
        m_view.chooseEntry(list, fallback);
}

void Form1Behaviour::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_world.settings.saveSetting(application, section, std::u16string(fromCurrencyKey),
        m_view.chosenEntry(CurrencyList::From));
    m_world.settings.saveSetting(
        application, section, std::u16string(toCurrencyKey), m_view.chosenEntry(CurrencyList::To));
    m_view.processPendingEvents();
    m_world.session.close();
    m_view.endProcess();
}

void Form1Behaviour::Check2_Click()
{
    if (!m_view.isPressed(PushButton::Convert))
        return;
    m_view.setPressed(PushButton::Convert, false);
    setMousePointer(MousePointer::Busy);
    const std::u16string result
        = convertCurrency(m_view.amount(), m_view.chosenEntry(CurrencyList::From),
            m_view.chosenEntry(CurrencyList::To), m_world.session, m_world.host);
    m_view.showResult(result);
    setMousePointer(MousePointer::Default);
    // The result lands in a box without the focus; have it spoken where the user is.
    m_view.announce(result);
}

void Form1Behaviour::Check1_Click()
{
    if (!m_view.isPressed(PushButton::Copy))
        return;
    m_view.setPressed(PushButton::Copy, false);
    m_view.putOnClipboard(m_view.result());
}

void Form1Behaviour::Text1_GotFocus()
{
    m_view.selectWholeAmount();
}

void Form1Behaviour::amountFocused(FocusReason reason)
{
    // A closed popup or a re-activated window gives the focus back where it
    // was: the user's selection and caret stay.
    if (reason == FocusReason::Popup || reason == FocusReason::Activation)
        return;
    Text1_GotFocus();
    // The press that follows a focusing click puts the caret down and drops the
    // selection; select again once the button is released.
    m_selectAllOnRelease = reason == FocusReason::Mouse;
}

void Form1Behaviour::amountMouseReleased()
{
    if (!m_selectAllOnRelease)
        return;
    m_selectAllOnRelease = false;
    Text1_GotFocus();
}

void Form1Behaviour::amountEnterPressed()
{
    m_view.setPressed(PushButton::Convert, true);
}

void Form1Behaviour::buttonMouseMove()
{
    if (m_pointer != MousePointer::Busy)
        setMousePointer(MousePointer::Custom);
}

void Form1Behaviour::bareAreaMouseMove()
{
    if (m_pointer != MousePointer::Busy)
        setMousePointer(MousePointer::Default);
}

void Form1Behaviour::setMousePointer(MousePointer pointer)
{
    if (pointer == m_pointer)
        return;
    m_pointer = pointer;
    m_view.showPointer(pointer);
}

} // namespace core
