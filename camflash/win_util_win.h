// Small Win32 helpers of camflash: the program's name and its message boxes, the remembered
// DRAM setting in the registry, dialog placement and string resources.
#pragma once

#include <windows.h>

#include "wide_string_win.h"

namespace camflash {

// Texts and paths are UTF-8 in camflash's portable code (camtools::Widen and Narrow convert
// them), so that a DRAM script in a folder named in any language opens.
using camtools::Narrow;
using camtools::Widen;
using camtools::WString;

// The base name of the program's executable ("camflash"): the caption of every message box
// and the last part of the registry settings key.
WString ProgramName();

// A modal message box with an OK button and the warning icon, captioned with ProgramName().
void ShowWarning(HWND owner, const WString& text);

// HKEY_CURRENT_USER\Software\Voreruvoru\<program name>\<section>
WString SettingsSectionKey(const wchar_t* section);
// The remembered path of the DRAM setting script; empty when none has been chosen.
WString ReadDramSetting();
void WriteDramSetting(const WString& path);

// Centres a dialog over its owner, or over the work area when it has none (or the owner is
// hidden), as dialogs placed at the template's origin are expected to appear.
void CenterDialog(HWND dialog);

// A string table entry of the program's resources.
WString LoadResourceString(UINT id);

}  // namespace camflash
