// The editor's requests to the host through mV's CallFunction entry.
#pragma once

#include "HostRecords.h"

class Prop;

// Hands the host the property table to show for the object, with the two placement words the host
// reads after it; nothing is sent without a table.
void mvInsertProps(::mV* mV, EDITDATA* edPtr, const void* table, std::int32_t place, std::int32_t after);
// Asks the host to show the object's properties again.
void mvCallFunction18(::mV* mV, EDITDATA* edPtr);
// Asks the host for the record at newSize bytes: the resized record, or null when the host refuses.
// The host keeps the contents up to the smaller size and sets the header's total size.
EDITDATA* mvReAllocEditData(::mV* mV, EDITDATA* edPtr, std::uint32_t newSize);
// Asks the host for the value of one of its own properties of the object: a value object that the
// caller releases through Delete, or null.
Prop* mvGetPropValue(::mV* mV, EDITDATA* edPtr, std::int32_t id);
