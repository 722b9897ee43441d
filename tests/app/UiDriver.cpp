#include "UiDriver.h"

#include "MakerServiceFixture.h"

namespace uidriver
{

namespace
{
void sendMouse (juce::Component& component, juce::Point<int> position, juce::ModifierKeys modifiers)
{
    auto* peer = component.getPeer();
    jassert (peer != nullptr);

    if (peer == nullptr)
        return;

    const auto inPeer = peer->getComponent().getLocalPoint (&component, position).toFloat();
    peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse,
                            inPeer,
                            modifiers,
                            juce::MouseInputSource::defaultPressure,
                            juce::MouseInputSource::defaultOrientation,
                            juce::Time::currentTimeMillis());
}
} // namespace

void clickAt (juce::Component& component, juce::Point<int> position)
{
    sendMouse (component, position, {});
    sendMouse (component, position, juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier));
    sendMouse (component, position, {});
    pumpFor (20);
}

void moveTo (juce::Component& component, juce::Point<int> position)
{
    sendMouse (component, position, {});
    pumpFor (20);
}

bool pressKey (juce::Component& component, const juce::KeyPress& key)
{
    auto* peer = component.getPeer();

    if (peer == nullptr)
        return false;

    const auto used = peer->handleKeyPress (key);
    pumpFor (20);
    return used;
}

void wheelAt (juce::Component& component, juce::Point<int> position, float deltaY)
{
    auto* peer = component.getPeer();

    if (peer == nullptr)
        return;

    juce::MouseWheelDetails wheel;
    wheel.deltaX = 0.0f;
    wheel.deltaY = deltaY;
    wheel.isReversed = false;
    wheel.isSmooth = false;
    wheel.isInertial = false;

    const auto inPeer = peer->getComponent().getLocalPoint (&component, position).toFloat();
    sendMouse (component, position, {});
    peer->handleMouseWheel (juce::MouseInputSource::InputSourceType::mouse, inPeer, juce::Time::currentTimeMillis(), wheel);
    pumpFor (20);
}

juce::AlertWindow* currentAlert()
{
    auto* manager = juce::ModalComponentManager::getInstance();

    for (int i = manager->getNumModalComponents(); --i >= 0;)
        if (auto* alert = dynamic_cast<juce::AlertWindow*> (manager->getModalComponent (i)))
            return alert;

    return nullptr;
}

juce::String alertTitle()
{
    auto* alert = currentAlert();
    return alert != nullptr ? alert->getName() : juce::String();
}

juce::String alertMessage()
{
    auto* alert = currentAlert();
    return alert != nullptr ? alert->getProperties()["message"].toString() : juce::String();
}

bool clickAlertButton (const juce::String& text)
{
    auto* alert = currentAlert();

    if (alert == nullptr)
        return false;

    for (auto* child : alert->getChildren())
    {
        if (auto* button = dynamic_cast<juce::TextButton*> (child); button != nullptr && button->getButtonText() == text)
        {
            // A real click on the button, through the peer of the message box.
            clickAt (*button, button->getLocalBounds().getCentre());
            pumpFor (50);
            return true;
        }
    }

    return false;
}

bool waitForAlert (const juce::String& title, int timeoutMs)
{
    return pumpUntil ([&title] { return alertTitle() == title; }, timeoutMs);
}

void screenshot (juce::Component& component, const juce::String& name, float scale)
{
    const auto folder = juce::SystemStats::getEnvironmentVariable ("ZORVAMANAGER_SCREENSHOT_DIR", {});

    if (folder.isEmpty())
        return;

    const auto image = component.createComponentSnapshot (component.getLocalBounds(), true, scale);
    juce::File file (folder + "/" + name + ".png");
    file.deleteFile();
    juce::FileOutputStream stream (file);
    juce::PNGImageFormat().writeImageToStream (image, stream);
}

} // namespace uidriver
