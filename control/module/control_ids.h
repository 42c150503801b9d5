#pragma once
// The identifiers of the control, fixed once: pages name the control by its CLSID or ProgID,
// so none of these may ever change.

#include <string_view>

#include "platform/com/com_types.h"

namespace marqen::control {

// {69B33218-AB10-4227-AF02-925B4141CAFD}
inline constexpr com::GUID CLSID_MarqenCtrl = {
    0x69B33218, 0xAB10, 0x4227, {0xAF, 0x02, 0x92, 0x5B, 0x41, 0x41, 0xCA, 0xFD}};
// {D50BF198-A0C4-4E29-9F6C-3DE444C58CF1}
inline constexpr com::GUID CLSID_MarqenPropPage = {
    0xD50BF198, 0xA0C4, 0x4E29, {0x9F, 0x6C, 0x3D, 0xE4, 0x44, 0xC5, 0x8C, 0xF1}};
// {54CA6E6E-CA3A-4034-985F-6FF02BB3980C}
inline constexpr com::GUID LIBID_MARQENILib = {
    0x54CA6E6E, 0xCA3A, 0x4034, {0x98, 0x5F, 0x6F, 0xF0, 0x2B, 0xB3, 0x98, 0x0C}};
// {A97C1F64-01C4-4229-9BC5-1543CD44561A}
inline constexpr com::GUID DIID__DMarqenI = {
    0xA97C1F64, 0x01C4, 0x4229, {0x9B, 0xC5, 0x15, 0x43, 0xCD, 0x44, 0x56, 0x1A}};
// {90E24005-3F31-4AF4-9DA7-ACF790D99BE7}
inline constexpr com::GUID DIID__DMarqenIEvents = {
    0x90E24005, 0x3F31, 0x4AF4, {0x9D, 0xA7, 0xAC, 0xF7, 0x90, 0xD9, 0x9B, 0xE7}};
// The property page's dispatch interface.
// {96C6F9E0-48E6-4B0E-8263-AF9B6174B896}
inline constexpr com::GUID DIID__DMarqenPropPage = {
    0x96C6F9E0, 0x48E6, 0x4B0E, {0x82, 0x63, 0xAF, 0x9B, 0x61, 0x74, 0xB8, 0x96}};

inline constexpr std::string_view kControlProgId = "MARQENI.MarqenICtrl.1";
inline constexpr std::string_view kPropPageProgId = "MARQEN.MarqenPropPage.1";
inline constexpr std::string_view kControlTypeName = "MarqenI Control";
inline constexpr std::string_view kPropPageTypeName = "MarqenI Property Page";
inline constexpr std::string_view kTypeLibName = "MARQENILib";
inline constexpr std::string_view kTypeLibVersion = "6.1";
inline constexpr std::string_view kControlVersion = "6.1";
// The control's miscellaneous status, 0x30591.
inline constexpr std::string_view kControlMiscStatus = "198033";

}  // namespace marqen::control
