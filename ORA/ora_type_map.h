// Oracle column types, OCI data type codes and variant types.
#pragma once

#include "oci/oci_types.h"
#include "platform/oleauto.h"

#include <map>
#include <string>

class t_ftd;

// Oracle type names as the data dictionary spells them, with an OCI code
// each; only whether a name is present matters.
const std::map<std::wstring, ub2>& supported_type_map();

// The type name cut at its first "(" is a key of the map (exact case), so
// TIMESTAMP(6) WITH TIME ZONE reads as TIMESTAMP and INTERVAL types do not.
bool ora_is_supported_type(const std::wstring& type_name);

// The variant type of a NUMBER column, chosen so that every value the column
// holds fits: precision 1-2 VT_I1, 3-4 VT_I2, 5-9 VT_I4, 10-18 VT_I8, 19-38
// VT_DECIMAL; a fraction VT_DECIMAL; FLOAT (scale -127), no precision or
// more than 38 digits VT_DECIMAL of precision 0, whose values that a
// DECIMAL cannot hold stay the server's text. A negative scale -s widens
// the precision by s. The precision may be written back (widened, set to
// 0, or raised by one when it equals the scale).
VARTYPE get_refined_num_type(ub4& precision, int scale);

// Size 0 or above 2000 of a text or binary type: written as a LOB.
bool ora_is_large_object(VARTYPE vartype, int size);

// The column type of a field description for CREATE TABLE; `bare` leaves
// the sizes out.
std::wstring get_ora_native_type(const t_ftd* ftd, bool bare = false);
// The OCI bind type and bind length (bytes) of a field description.
ub2 get_ora_type(const t_ftd* ftd);
ub4 get_ora_len(const t_ftd* ftd);
