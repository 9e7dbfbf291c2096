#pragma once
// The diagnosis as plain text: a "结论" block with each problem found and what to do about it,
// then the facts one a line. Pure functions of the facts, so any set of facts can be checked.
#include "diag/DiagnosisFacts.h"

#include <string>
#include <vector>

// The problems the facts show, each a plain-Chinese sentence with its remedy; empty: none.
std::vector<std::wstring> DiagnosisConclusions(const DiagnosisFacts& facts);
// The whole report, lines ending in CRLF (what an edit control and the clipboard expect), the
// player's name masked. Groups still being checked say so.
std::wstring BuildDiagnosisReport(const DiagnosisFacts& facts);
// text with the profile folder shown as %USERPROFILE% and any path part equal to userName as
// %USERNAME% (both compared without regard to case).
std::wstring MaskUserName(const std::wstring& text, const std::wstring& userProfile, const std::wstring& userName);

// What a FEATURE_BROWSER_EMULATION value means for pages ("未设置: 无 DOCTYPE ..." for none).
std::wstring EmulationMeaning(const RegistryDword& value);
// The value the engine uses: the first present source (they are in the engine's order).
RegistryDword EffectiveFeature(const std::vector<FeatureSource>& sources);
