// Windows menus read back as one line of text, so that a test compares a whole menu at once and a
// failure shows what the menu holds.
#pragma once

#include <windows.h>

#include <string>

namespace TestHost {

// Items in order, joined by " | ": "25003 Text" for an item (" (greyed)" added when it is greyed),
// "---" for a separator, "Title{...}" for a submenu. Texts are read in full.
std::wstring DescribeMenu(HMENU menu);

} // namespace TestHost
