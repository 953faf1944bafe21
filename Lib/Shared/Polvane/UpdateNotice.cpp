#include "UpdateNotice.h"

#include "../Host/Seam.h"
#include "../Host/SurfaceLibrary.h"
#include "../Tovik/SDK.h"
#include "Globals.h"
#include "MsgBox.h"
#include "Settings.h"
#include "TextConversion.h"
#include "UpdateCheck.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

namespace Polvane {
namespace {

// The badges are laid out for an icon of this width, with alpha rows of as many bytes.
constexpr LONG IconWidth = 32;

struct BadgeLine {
    const char* text; // null: no such line
    LONG left;
    LONG top;
};

// How each kind of update is announced: its badge (rectangles right and bottom exclusive, colours
// 0x00BBGGRR) and its box, an information box without an address, a Yes/No box with one.
struct UpdateKind {
    UpdateOutcome state;
    RECT filled;
    COLORREF fillColour;
    COLORREF textColour;
    BadgeLine lines[3];
    const wchar_t* infoTitle;
    const wchar_t* infoFormat; // the project's name, then the announcement
    const wchar_t* yesNoLead;  // followed by the project's name
    const wchar_t* yesNoTitleEnd;
    UINT yesNoStyle;
};

const UpdateKind UpdateKinds[] = {
    {UpdateOutcome::MajorUpdate,
     {1, 8, 30, 27},
     0x505050,
     0x0000F0,
     {{"MAJOR", 2, 7}, {"UPDATE", 1, 13}, {"NEEDED", 2, 19}},
     L"Update notice",
     L"Major update for %s:\n%ls",
     L"Major update for ",
     L" update notice",
     MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2},
    {UpdateOutcome::MinorUpdate,
     {1, 18, 31, 31},
     0x3C3C3C,
     0xB4B400,
     {{"UPDATE", 1, 17}, {"NEEDED", 2, 23}, {}},
     L"update notice",
     L"Minor update for %s:\n%ls",
     L"Minor update for ",
     L" update notice ",
     MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2},
    {UpdateOutcome::ReinstallNeeded,
     {1, 18, 31, 31},
     0x3C3C3C,
     0x0000B4,
     {{"REINSTL", 1, 17}, {"NEEDED", 2, 23}, {}},
     L"Reinstall needed",
     L"Reinstalled needed for %s:\n%ls",
     L"Reinstall needed for ",
     L" error",
     MB_YESNO | MB_ICONERROR},
};

// The framework's boxes format their text into 4096 characters and show a formatting error instead of
// anything longer: a long log or announcement is cut, leaving room for the line before it. The notice's
// own Yes/No boxes are cut alike, to stay readable.
constexpr std::size_t BoxTextRoom = 3900;

std::wstring FitForBox(std::wstring text) { return MsgBox::FitText(std::move(text), BoxTextRoom); }

// The address comes from the network: only a web page of a sane length is handed to the shell.
bool AddressToOffer(const std::wstring& address)
{
    return address.size() <= 2048 && (_wcsnicmp(address.c_str(), L"https://", 8) == 0 ||
                                      _wcsnicmp(address.c_str(), L"http://", 7) == 0);
}

// The worker stores its outcome a little before it ends: it still gives back its sockets and leaves
// through this library's code. Until it has ended, its handle stays for Free to wait on.
void ReleaseEndedWorker()
{
    if (UpdateThreadHandle != nullptr && WaitForSingleObject(UpdateThreadHandle, 0) == WAIT_OBJECT_0) {
        CloseHandle(UpdateThreadHandle);
        UpdateThreadHandle = nullptr;
    }
}

void FillIconRect(HostSurface& icon, LONG iconHeight, const RECT& area, COLORREF colour)
{
    if (icon.HasAlpha()) {
        if (std::uint8_t* alpha = icon.LockAlpha()) {
            // A short icon has no alpha rows below its height.
            const LONG bottom = std::min(area.bottom, iconHeight);
            for (LONG row = area.top; row < bottom; ++row)
                for (LONG column = area.left; column < area.right; ++column)
                    alpha[row * IconWidth + column] = 0xFF;
            icon.UnlockAlpha();
        }
    }
    icon.Fill(area.left, area.top, area.right - area.left, area.bottom - area.top, colour);
}

void PaintBadge(HostSurface& icon, LONG iconHeight, const UpdateKind& kind)
{
    if (!Host::CanDrawBadge())
        return;
    HFONT font =
        CreateFontA(8, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_MODERN, "Small Fonts");
    FillIconRect(icon, iconHeight, kind.filled, kind.fillColour);
    for (const BadgeLine& line : kind.lines) {
        if (line.text == nullptr)
            continue;
        RECT place = {line.left, line.top, IconWidth, IconWidth};
        // No prefix: an ampersand is drawn, not taken as an accelerator mark.
        icon.DrawText(line.text, static_cast<std::uint32_t>(std::strlen(line.text)), place, DT_NOPREFIX,
                      kind.textColour, font, 1, 0, 0, 1, 0, 0, 8);
    }
    if (font != nullptr)
        DeleteObject(font);
}

bool BoxWanted(UpdateOutcome state)
{
    switch (state) {
    case UpdateOutcome::MajorUpdate:
        return GetIniSetting("MsgBoxForMajorUpdate") != "false";
    case UpdateOutcome::MinorUpdate:
        return GetIniSetting("MsgBoxForMinorUpdate") == "true";
    default:
        // A reinstall notice without a reason is told by its badge alone.
        return UpdateText.size() > 3;
    }
}

void ShowUpdateBox(const UpdateKind& kind)
{
    if (!BoxWanted(kind.state))
        return;
    if (!AddressToOffer(UpdateURL)) {
        MsgBox::Info(kind.infoTitle, kind.infoFormat, ProjectName.c_str(), FitForBox(UpdateText).c_str());
        return;
    }
    const std::wstring text = kind.yesNoLead + ProjectName + L":\n" + FitForBox(UpdateText);
    const std::wstring title = ProjectName + kind.yesNoTitleEnd;
    if (Host::Seam.MessageBoxW(nullptr, text.c_str(), title.c_str(), kind.yesNoStyle) == IDYES)
        Host::Seam.ShellExecuteW(nullptr, L"open", UpdateURL.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void AnnounceUpdate(const UpdateKind& kind)
{
    HostSurface& icon = *::SDK->Icon;
    if (icon.GetWidth() != IconWidth) {
        MsgBox::Error(L"Polvane error", L"%s's icon width is not 32. Contact the extension developer.",
                      ProjectName.c_str());
        return;
    }
    PaintBadge(icon, icon.GetHeight(), kind);
    ShowUpdateBox(kind);
}

} // namespace

void ShowUpdateNotice()
{
    if (UpdateNoticeShown)
        return;
    AcquireUpdateLock();
    const UpdateOutcome state = UpdateState;
    ReleaseUpdateLock();
    if (state == UpdateOutcome::Running)
        return;
    // The worker stores nothing more once its outcome is out, so the rest is read without the lock.
    UpdateNoticeShown = true;
    ReleaseEndedWorker();

    switch (state) {
    case UpdateOutcome::Error:
        MsgBox::Error(L"Update check error", L"Error occurred while checking for extension updates:\n%ls",
                      FitForBox(UTF8ToWide(UpdateLog.str())).c_str());
        return;
    case UpdateOutcome::ExtDevError:
        MsgBox::Error(L"Update check error",
                      L"Extension developer error occurred while checking for extension updates:\n%ls",
                      FitForBox(UpdateText).c_str());
        return;
    case UpdateOutcome::SDKUpdate:
        MsgBox::WarningOK(L"SDK update notice", L"SDK update for %s:\n%ls", ProjectName.c_str(),
                          FitForBox(UpdateText).c_str());
        return;
    default:
        for (const UpdateKind& kind : UpdateKinds)
            if (kind.state == state)
                AnnounceUpdate(kind);
        return;
    }
}

} // namespace Polvane
