#include "ZorvaManagerApplication.h"

START_JUCE_APPLICATION (ZorvaManagerApplication)
