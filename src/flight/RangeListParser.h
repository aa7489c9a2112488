#pragma once
#include <cstdint>

// Fills RangeList from a --samples argument: comma-separated begin-end pairs. Each item's
// begin is read like atol at the item; its end like atol just after the first '-' at or
// after the item, wherever that is in the rest of the argument. A pair is kept when
// begin >= 0, end >= 3 and end - begin >= 3; pairs beyond the list's capacity are ignored.
// Numbers beyond the int32 range are held at its limits.
// Returns the number of pairs kept (RangeList.count); with none, the list is left empty.
int32_t ParseRangeList(const char* list);

// The selection a --samples argument makes: its pairs, or, when none is kept, the whole flight
// (0-100000) as the replay falls back to it. False when it fell back.
bool SelectSamples(const char* list);

// The selection of every sample number from 1 up, for a program whose flight is bounded by
// memory alone and not by the replay's table (whose own selection stops at 99999).
void SelectEverySample();
