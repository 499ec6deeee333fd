#pragma once
// convert(type, value [, style]), the server's explicit conversion. The translator turns it into
// aseemu_convert('type', value [, style]), which SQLite runs with the rules of the server: texts
// cut to the type's length (char padded to it), integers and bits from numbers or numeric texts,
// a conversion that cannot be made an error (249), an unknown type an error (243).
#include <sqlite3.h>

#include <optional>
#include <string>

#include "sim/protocol/ServerTokens.h"
#include "sim/statements/Values.h"

namespace tvr::sim {

// The name SQLite knows the conversion by.
inline constexpr const char* kConvertFunction = "aseemu_convert";

void registerConvertFunction(sqlite3* db);

// The column a conversion to `type` ("varchar(30)", "int", "univarchar(3)") gives; nothing for
// a type the server does not know. A unichar or univarchar column is as wide as its characters
// in UTF-16, as the server describes it.
std::optional<Column> columnForConvertType(const std::string& type);

// The error text the conversion function raises, read back: the server message it stands for.
std::optional<ServerMessage> convertErrorMessage(const std::string& sqliteText);

}  // namespace tvr::sim
