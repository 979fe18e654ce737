// The little JSON the program writes for other programs: one flat object of texts,
// whole numbers and nulls.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zevlon {

// The text as a JSON string, quotes included; it must be UTF-8.
std::string JsonText(std::string_view text);

// The members of a flat JSON object: a text unescaped, a whole number as written; a null
// keeps no value. Nothing for anything else (nested values, a name given twice, trailing
// bytes, bad escapes).
std::optional<std::map<std::string, std::string>> CistPlochyJson(std::string_view json);

}  // namespace zevlon
