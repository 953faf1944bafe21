// The editor's action, condition and expression menus: built once from the definition's menu arrays,
// and copied afresh for the host each time it asks, since the host owns and destroys what it gets.
#pragma once

#include <windows.h>

struct json_value;

namespace Tovik {

// Appends the entries of a definition menu array to menu (a new menu when null), item ids being the
// definition's ids plus base. Returns the menu.
HMENU BuildMenuFromJSON(int base, const json_value& array, HMENU menu = nullptr);
// Appends a copy of every item of source, submenus included, to destination. Texts are cut to 79
// characters.
void CopyMenu(HMENU destination, HMENU source);
// Builds the three process-wide menus from the ActionMenu, ConditionMenu and ExpressionMenu arrays of
// a language.
void BuildEditorMenus(const json_value& lang);

} // namespace Tovik
