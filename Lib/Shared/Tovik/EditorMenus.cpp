#include "EditorMenus.h"

#include "../Polvane/Globals.h"
#include "../Polvane/MsgBox.h"
#include "../Polvane/TextConversion.h"
#include "Boundary.h"
#include "Exports.h"
#include "SDK.h"
#include "json/json.h"

#include <cstdint>
#include <cstring>

namespace {

// Built with the state object and kept for the life of the process; the host only ever sees copies.
HMENU actionMenu = nullptr;
HMENU conditionMenu = nullptr;
HMENU expressionMenu = nullptr;

constexpr UINT SeparatorFlags = MF_SEPARATOR | MF_BYPOSITION;
constexpr UINT PopupFlags = MF_POPUP | MF_BYPOSITION;
constexpr UINT ItemFlags = MF_STRING | MF_BYPOSITION;

// Every level of submenus costs a menu handle and a frame of the builder. Windows refuses a menu nested
// about 30 deep, and the host puts ours inside menus of its own: half that is room enough for authors.
constexpr int MaxMenuDepth = 16;

// Each element of a menu array is a separator text, a submenu (a title text, then its entries), or an
// item [id, text, greyed].
bool IsSeparator(const json_value& element)
{
    const char* text = element;
    return _stricmp(text, "Separator") == 0 || std::strcmp(text, "---") == 0;
}

bool IsSubmenu(const json_value& element)
{
    return element[0].type == json_string && element[1].type == json_array;
}

void AppendWithText(HMENU menu, UINT flags, UINT_PTR id, const char* text)
{
    wchar_t* wide = Tovik::UTF8ToWideAlloc(text);
    // Out of memory: the entry keeps its place, without its text.
    AppendMenuW(menu, flags, id, wide != nullptr ? wide : L"");
    Tovik::FreeWideAlloc(wide);
}

// A submenu's title is its element 0: its entries start at element 1, so that a title spelled like a
// separator does not put a separator at the top of its own submenu. depth is the menu's own level of
// nesting; answers whether submenus deeper than the limit were left out.
bool AppendEntries(HMENU menu, int base, const json_value& array, std::uint32_t first, int depth)
{
    if (array.type != json_array)
        return false;
    bool cut = false;
    for (std::uint32_t i = first; i < array.u.array.length; ++i) {
        const json_value& element = array[static_cast<int>(i)];
        if (element.type == json_string) {
            if (IsSeparator(element))
                AppendMenuW(menu, SeparatorFlags, 0, nullptr);
        } else if (element.type == json_array) {
            if (IsSubmenu(element)) {
                if (depth == MaxMenuDepth) {
                    cut = true;
                    continue;
                }
                HMENU popup = CreatePopupMenu();
                cut = AppendEntries(popup, base, element, 1, depth + 1) || cut;
                AppendWithText(menu, PopupFlags, reinterpret_cast<UINT_PTR>(popup), element[0]);
            } else {
                const auto id = static_cast<UINT_PTR>(static_cast<json_int_t>(element[0]) + base);
                const bool greyed = static_cast<bool>(element[2]);
                AppendWithText(menu, greyed ? ItemFlags | MF_GRAYED : ItemFlags, id, element[1]);
            }
        }
    }
    return cut;
}

// What the host gets: a new popup holding a copy of a prebuilt menu.
HMENU CopyForHost(HMENU prebuilt)
{
    HMENU menu = CreatePopupMenu();
    Tovik::CopyMenu(menu, prebuilt);
    return menu;
}

} // namespace

namespace Tovik {

HMENU BuildMenuFromJSON(int base, const json_value& array, HMENU menu)
{
    if (menu == nullptr)
        menu = CreateMenu();
    if (AppendEntries(menu, base, array, 0, 0))
        Polvane::MsgBox::Error(
            L"Error reading menu JSON",
            L"A menu of %s's JSON nests submenus more than %d levels deep; the deeper ones "
            L"are left out.",
            Polvane::ProjectName.c_str(), MaxMenuDepth);
    return menu;
}

void CopyMenu(HMENU destination, HMENU source)
{
    // 80 characters with the terminator: longer texts reach the host cut to 79.
    wchar_t text[80];
    const int count = GetMenuItemCount(source);
    for (int i = 0; i < count; ++i) {
        const UINT id = GetMenuItemID(source, i);
        if (id == 0) {
            AppendMenuW(destination, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        text[0] = L'\0';
        GetMenuStringW(source, static_cast<UINT>(i), text, 80, MF_BYPOSITION);
        if (id == static_cast<UINT>(-1)) {
            HMENU popup = CreatePopupMenu();
            AppendMenuW(destination, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), text);
            CopyMenu(popup, GetSubMenu(source, i));
        } else {
            AppendMenuW(destination, GetMenuState(source, static_cast<UINT>(i), MF_BYPOSITION), id, text);
        }
    }
}

void BuildEditorMenus(const json_value& lang)
{
    actionMenu = BuildMenuFromJSON(ActionID(0), lang["ActionMenu"]);
    conditionMenu = BuildMenuFromJSON(ConditionID(0), lang["ConditionMenu"]);
    expressionMenu = BuildMenuFromJSON(ExpressionID(0), lang["ExpressionMenu"]);
}

} // namespace Tovik

HOST_EXPORT HMENU HOST_STDCALL GetActionMenu(::mV*, std::int32_t, std::int32_t)
{
    return Tovik::Guard("GetActionMenu", nullptr, [&] { return CopyForHost(actionMenu); });
}

HOST_EXPORT HMENU HOST_STDCALL GetConditionMenu(::mV*, std::int32_t, std::int32_t)
{
    return Tovik::Guard("GetConditionMenu", nullptr, [&] { return CopyForHost(conditionMenu); });
}

HOST_EXPORT HMENU HOST_STDCALL GetExpressionMenu(::mV*, std::int32_t, std::int32_t)
{
    return Tovik::Guard("GetExpressionMenu", nullptr, [&] { return CopyForHost(expressionMenu); });
}
