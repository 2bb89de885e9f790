#pragma once
// The pre-scan (prescanXml) and the decoding of references
// (decodeReferencesAt) as they were first written, one byte or reference
// at a time: what the fast ones must give, byte for byte.
#include <string>
#include <string_view>

#include "feed/xml_prescan.h"

namespace korvo::test {

// prescanXml with the default limits, into shape.
XmlPrescanResult oraclePrescan(std::string_view text, XmlShape& shape);

// decodeReferencesAt.
void oracleDecode(std::string& document, const XmlShape& shape, bool utf8);

}  // namespace korvo::test
