#pragma once
// A small scriptable object with one method for each kind of parameter and result, for the
// dispatch and activation tests.

#include <memory>

#include "platform/com/com_types.h"
#include "platform/com/script_method.h"

namespace marqen::test {

// {5C0E7C1A-3B6D-4F0E-9A51-2D7F4B8E6C01}
inline constexpr com::GUID CLSID_TestObject = {
    0x5C0E7C1A, 0x3B6D, 0x4F0E, {0x9A, 0x51, 0x2D, 0x7F, 0x4B, 0x8E, 0x6C, 0x01}};
// {5C0E7C1A-3B6D-4F0E-9A51-2D7F4B8E6C02}
inline constexpr com::GUID DIID_TestObject = {
    0x5C0E7C1A, 0x3B6D, 0x4F0E, {0x9A, 0x51, 0x2D, 0x7F, 0x4B, 0x8E, 0x6C, 0x02}};
inline constexpr const char* kTestProgId = "Marqen.ComTest.1";

// Methods (DISPID: name(parameters) -> result):
//   1: Echo(String) -> String          the text, or "<null>" for a null string
//   2: Add(Long, Long) -> Long
//   3: Days(Date) -> String            the date with three decimals
//   4: Mixed(String, Long, Date) -> String   "text|long|date", showing the order
//   5: Calls() -> Long                 calls made on this instance so far, this one included
//   6: Nothing() -> None
//   7: Binary() -> String              "a", U+0000, "b", U+00FF
//   8: IsPositive(Long) -> Bool
std::unique_ptr<com::ScriptObject> createTestObject();

}  // namespace marqen::test
