#include "MenuText.h"

#include <vector>

namespace TestHost {

std::wstring DescribeMenu(HMENU menu)
{
    std::wstring text;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += L" | ";
        const UINT position = static_cast<UINT>(i);
        const UINT id = GetMenuItemID(menu, i);
        if (id == 0) {
            text += L"---";
            continue;
        }
        const int length = GetMenuStringW(menu, position, nullptr, 0, MF_BYPOSITION);
        std::vector<wchar_t> title(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        GetMenuStringW(menu, position, title.data(), length + 1, MF_BYPOSITION);
        if (id == static_cast<UINT>(-1)) {
            text += std::wstring(title.data()) + L"{" + DescribeMenu(GetSubMenu(menu, i)) + L"}";
            continue;
        }
        text += std::to_wstring(id) + L" " + title.data();
        if (GetMenuState(menu, position, MF_BYPOSITION) & MF_GRAYED)
            text += L" (greyed)";
    }
    return text;
}

} // namespace TestHost
