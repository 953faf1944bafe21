// The property sheet's side of the library: the editor hands the property table out, reads and writes
// values and check boxes, and opens the image editors, all on records kept in the author's project.
// Those records are not trusted: every read and write is kept inside the record's own size.
#pragma once

#include "Properties.h"

#include <windows.h>

#include <cstdint>

struct json_value;

// Hands the property table to the host and asks it to show the properties again.
BOOL DLL_GetProperties(::mV* mV, EDITDATA* edPtr, BOOL masterItem);

namespace Polvane {

// A new value object that the host then owns, or null.
Prop* DLL_GetPropValue(::mV* mV, EDITDATA* edPtr, std::uint32_t id);
// Stores the value of the host's value object; the host keeps the object.
void DLL_SetPropValue(::mV* mV, EDITDATA* edPtr, std::uint32_t id, Prop* value);
// Opens the host's image editor for an Image List property: the editor's result, or FALSE.
BOOL DLL_EditProp(::mV* mV, EDITDATA* edPtr, std::uint32_t id);

// The definition of property i when i is a valid index (Properties is an array longer than i), else
// null.
const json_value* PropertyDefinition(std::uint32_t i);
// The block at record offset 20, and the record's bytes from there on (0 for none), which no read of
// the block goes past.
Properties* StoredBlock(EDITDATA* edPtr);
std::uint32_t StoredBlockBytes(const EDITDATA* edPtr);
// Internal_DataAt(i), once every entry up to i is known to lie in the block's first blockBytes bytes;
// null when one does not.
Properties::Data* DataWithin(Properties& block, std::uint32_t blockBytes, std::uint32_t i);
// Shown when a stored entry cannot be read: the object's data is damaged.
void CorruptPropertiesWarning();

} // namespace Polvane
