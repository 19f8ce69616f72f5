// Checks of security bytes that come from the directory, before anything reads or copies
// them: every offset, ACL, ACE and SID must lie within the length the directory gave.
// Pure functions over any bytes.
#pragma once
#include <cstddef>
#include <cstdint>

// A SID that fills exactly `length` bytes.
bool isWholeSid(const uint8_t* bytes, size_t length);

// A self-relative security descriptor (revision 1, SE_SELF_RELATIVE set) whose owner, group,
// DACL and SACL, each ACL's entries and every SID in them lie within `length` bytes.
bool isSoundSelfRelativeDescriptor(const uint8_t* bytes, size_t length);
